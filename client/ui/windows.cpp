#include "client/ui/windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vk::ui {

namespace {

template <typename W>
W* Named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QAction* Item(Binder& b, QMenu* menu, const char* name, MenuItem& m, Handler click) {
    QAction* a = Named(menu->addAction(Q(m.caption)), name);
    b.menuItem(a, m, std::move(click));
    return a;
}

QPlainTextEdit* MemoWidget(Binder& b, QWidget* parent, const char* name, const Memo& m) {
    auto* w = Named(new QPlainTextEdit(parent), name);
    w->setLineWrapMode(QPlainTextEdit::NoWrap);
    b.memo(w, m);
    return w;
}

// A memo window with its "Clear" button: the three report windows share this shape.
QWidget* MemoWindow(Binder& b, const char* name, std::string& caption, bool& visible, const char* memoName,
                    const Memo& memo, Button* clear, Handler onClear) {
    auto* w = Named(new QWidget, name);
    auto* v = new QVBoxLayout(w);
    v->addWidget(MemoWidget(b, w, memoName, memo));
    if (clear) {
        auto* row = new QHBoxLayout;
        row->addStretch();
        auto* button = Named(new QPushButton(w), "Button1");
        b.button(button, *clear, std::move(onClear));
        row->addWidget(button);
        v->addLayout(row);
    }
    w->resize(560, 360);
    b.window(w, caption, visible);
    return w;
}

}  // namespace

QMainWindow* BuildMainWindow(Binder& b, MainForm& f, const MainEvents& ev) {
    auto* win = Named(new QMainWindow, "Form1");
    auto* central = new QWidget(win);
    win->setCentralWidget(central);

    // Menus.
    QMenuBar* bar = win->menuBar();
    QMenu* file = Named(bar->addMenu(QStringLiteral("&File")), "File1");
    file->setToolTipsVisible(true);
    Item(b, file, "Mfmswitch", f.Mfmswitch, {});
    Item(b, file, "Mxpsound", f.Mxpsound, {});
    Item(b, file, "Meta_toggle", f.Meta_toggle, {});
    Item(b, file, "Manualeditmplayerini1", f.Manualeditmplayerini1, {});
    Item(b, file, "Mupdmplyr", f.Mupdmplyr, {});
    Item(b, file, "Mselftest", f.Mselftest, {});
    Item(b, file, "Mblockedservers", f.Mblockedservers, ev.blockfakeClick);
    Item(b, file, "Maboutme", f.Maboutme, {});
    file->addSeparator();
    Item(b, file, "Mquit", f.Mquit, ev.QuitClick);
    QMenu* conn = Named(bar->addMenu(QStringLiteral("&Connection")), "Connection1");
    conn->setToolTipsVisible(true);
    Item(b, conn, "Mlisten", f.Mlisten, ev.ListenClick);
    Item(b, conn, "Mclose", f.Mclose, ev.CloseClick);
    Item(b, conn, "MCancellisten", f.MCancellisten, ev.CancelListenClick);
    QMenu* info = Named(bar->addMenu(QStringLiteral("&WDN - VK Config info")), "WDNVKConfiginfo1");
    info->setToolTipsVisible(true);
    Item(b, info, "Mshowconfig", f.Mshowconfig, ev.Showcfg);
    Item(b, info, "Mshowerrors", f.Mshowerrors, ev.Showerrlist);
    Item(b, info, "MServerinfo", f.MServerinfo, ev.getservinfClick);
    // A top-level item that acts when clicked, as the window definition has it.
    QAction* about = Named(bar->addAction(QStringLiteral("&About WDN player")), "mabout");
    QObject::connect(about, &QAction::triggered, about, [&b, h = ev.AboutClick] { b.invoke(h); });

    auto* v = new QVBoxLayout(central);

    auto* status = Named(new QLabel(central), "cfgstatus");
    QFont big = status->font();
    big.setPointSize(16);
    big.setBold(true);
    status->setFont(big);
    status->setAlignment(Qt::AlignCenter);
    status->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status->setMinimumHeight(44);
    b.label(status, f.cfgstatus);
    v->addWidget(status);

    auto* top = new QHBoxLayout;
    v->addLayout(top);

    auto* grid = new QGridLayout;
    top->addLayout(grid, 3);
    auto* portLabel = new QLabel(QStringLiteral("Port:"), central);
    auto* port = Named(new QLineEdit(central), "Port");
    port->setMaximumWidth(90);
    b.edit(port, f.Port);
    auto* ipLabel = new QLabel(QStringLiteral("Local IP:"), central);
    auto* ip = Named(new QLineEdit(central), "IPAddr");
    b.edit(ip, f.IPAddr);
    grid->addWidget(portLabel, 0, 0);
    grid->addWidget(port, 0, 1);
    grid->addWidget(ipLabel, 0, 2);
    grid->addWidget(ip, 0, 3);
    auto* urip = Named(new QLabel(central), "URIP");
    b.label(urip, f.URIP);
    grid->addWidget(urip, 1, 0, 1, 4);
    auto* fm = Named(new QLabel(central), "instldfm");
    fm->setFrameStyle(QFrame::Panel | QFrame::Raised);
    fm->setAlignment(Qt::AlignCenter);
    fm->setMinimumHeight(28);
    b.panel(fm, f.instldfm, ev.instldfmDblClick);
    grid->addWidget(fm, 2, 0, 1, 4);
    auto* cant = Named(new QCheckBox(central), "cantforward");
    b.checkBox(cant, f.cantforward, ev.cantforwardClick);
    grid->addWidget(cant, 3, 0, 1, 2);
    auto* kick = Named(new QPushButton(central), "getmetas");
    b.button(kick, f.getmetas, ev.getmetasClick);
    grid->addWidget(kick, 3, 2, 1, 2);

    auto* side = new QVBoxLayout;
    top->addLayout(side, 2);
    auto* prio = Named(new QComboBox(central), "priolist");
    b.comboBox(prio, f.priolist, ev.priolistChange);
    side->addWidget(prio);
    auto* boost = Named(new QRadioButton(central), "prboost");
    boost->setAutoExclusive(false);
    b.checkBox(boost, f.prboost);
    side->addWidget(boost);
    auto* bg = Named(new QCheckBox(central), "bgcheck");
    b.checkBox(bg, f.bgcheck, ev.bgcheckClick);
    side->addWidget(bg);
    auto* group = Named(new QGroupBox(central), "pgroup");
    auto* gl = new QHBoxLayout(group);
    std::vector<std::pair<QAbstractButton*, RadioButton*>> set;
    for (auto [name, model] : {std::pair{"pnormal", &f.pnormal}, std::pair{"plower", &f.plower},
                               std::pair{"plowest", &f.plowest}, std::pair{"pidle", &f.pidle}}) {
        auto* r = Named(new QRadioButton(group), name);
        gl->addWidget(r);
        set.emplace_back(r, model);
    }
    b.radios(set);
    b.group(group, f.pgroup);
    side->addWidget(group);
    auto* mtiks = Named(new QLineEdit(central), "mtiks");
    b.edit(mtiks, f.mtiks);
    side->addWidget(mtiks);
    side->addStretch();

    auto* log = MemoWidget(b, central, "Memo1", f.Memo1);
    log->setMinimumHeight(240);
    v->addWidget(log, 1);

    auto* row = new QHBoxLayout;
    auto* servinf = Named(new QPushButton(central), "getservinf");
    b.button(servinf, f.getservinf, ev.getservinfClick);
    row->addWidget(servinf);
    row->addStretch();
    auto* clear = Named(new QPushButton(central), "Button4");
    b.button(clear, f.Button4, ev.Button4Click);
    row->addWidget(clear);
    v->addLayout(row);

    win->resize(720, 580);
    b.window(win, f.Caption, f.visible,
             WindowHooks{ev.FormCloseQuery, ev.closed, ev.FormActivate});
    return win;
}

QWidget* BuildAboutBox(Binder& b, TAboutBox& f, Handler ok) {
    auto* w = Named(new QWidget, "AboutBox");
    auto* v = new QVBoxLayout(w);
    auto add = [&](const char* name, const Label& m, int size, bool bold) {
        auto* l = Named(new QLabel(w), name);
        QFont font = l->font();
        if (size) font.setPointSize(size);
        font.setBold(bold);
        l->setFont(font);
        b.label(l, m);
        v->addWidget(l);
    };
    add("ProductName", f.ProductName, 14, true);
    add("Version", f.Version, 0, false);
    add("FileVersion", f.FileVersion, 0, false);
    add("InstalledIn", f.InstalledIn, 0, false);
    add("VolkarFound", f.VolkarFound, 0, false);
    add("VolkarVersion", f.VolkarVersion, 0, false);
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* button = Named(new QPushButton(w), "OKButton");
    b.button(button, f.OKButton, std::move(ok));
    row->addWidget(button);
    v->addLayout(row);
    b.window(w, f.Caption, f.visible);
    return w;
}

QWidget* BuildRelConfig(Binder& b, Trelconfigfiles& f, Handler clear) {
    return MemoWindow(b, "relconfigfiles", f.Caption, f.visible, "Memo1", f.Memo1, &f.Button1, std::move(clear));
}

QWidget* BuildLastError(Binder& b, TForm3& f, Handler clear) {
    return MemoWindow(b, "Form3", f.Caption, f.visible, "cfgerrors", f.cfgerrors, &f.Button1, std::move(clear));
}

QWidget* BuildServerInfo(Binder& b, Tserverinf& f, Handler clear) {
    return MemoWindow(b, "serverinf", f.Caption, f.visible, "servinfo", f.servinfo, &f.Button1, std::move(clear));
}

QWidget* BuildHidden(Binder& b, TForm6& f) {
    return MemoWindow(b, "Form6", f.Caption, f.visible, "hidlist", f.hidlist, nullptr, {});
}

QWidget* BuildSelfTest(Binder& b, Tselftest& f) {
    return MemoWindow(b, "selftest", f.Caption, f.visible, "Memo", f.Memo, nullptr, {});
}

QWidget* BuildBlockedIPs(Binder& b, TblockedIPs& f, Handler toggleip, Handler unblock) {
    auto* w = Named(new QWidget, "blockedIPs");
    auto* v = new QVBoxLayout(w);
    v->addWidget(new QLabel(QStringLiteral("IP of last server"), w));
    auto* servip = Named(new QLineEdit(w), "servip");
    b.edit(servip, f.servip);
    v->addWidget(servip);
    v->addWidget(new QLabel(QStringLiteral("Blocked (bogus?) Server IP's"), w));
    auto* list = Named(new QListWidget(w), "srvlist");
    b.listBox(list, f.srvlist);
    v->addWidget(list, 1);
    auto* row = new QHBoxLayout;
    auto* toggle = Named(new QPushButton(w), "blockserv");
    b.button(toggle, f.blockserv, std::move(toggleip));
    row->addWidget(toggle);
    auto* un = Named(new QPushButton(w), "Unblockip");
    b.button(un, f.Unblockip, std::move(unblock));
    row->addWidget(un);
    v->addLayout(row);
    w->resize(300, 360);
    b.window(w, f.Caption, f.visible);
    return w;
}

QWidget* BuildGetUrl(Binder& b, Tgeturl& f, Handler ok, Handler cancel) {
    auto* w = Named(new QWidget, "geturl");
    auto* v = new QVBoxLayout(w);
    auto* dload = Named(new QLabel(w), "dload");
    dload->setWordWrap(true);
    b.label(dload, f.dload);
    v->addWidget(dload);
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* okButton = Named(new QPushButton(w), "BitBtn1");
    b.button(okButton, f.BitBtn1, std::move(ok));
    row->addWidget(okButton);
    auto* cancelButton = Named(new QPushButton(w), "BitBtn2");
    b.button(cancelButton, f.BitBtn2, std::move(cancel));
    row->addWidget(cancelButton);
    v->addLayout(row);
    w->resize(420, 140);
    b.window(w, f.Caption, f.visible);
    return w;
}

QWidget* BuildPlainWindow(Binder& b, const char* name, std::string& caption, bool& visible) {
    auto* w = Named(new QWidget, name);
    w->resize(400, 300);
    b.window(w, caption, visible);
    return w;
}

}  // namespace vk::ui
