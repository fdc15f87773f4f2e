#include "client/ui/front_end.h"

#include <QApplication>
#include <QMainWindow>
#include <QSocketNotifier>
#include <QWidget>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <exception>

#include "client/ui/windows.h"

namespace vk::ui {

QtFrontEnd::QtFrontEnd(TForm1& app, QtReactor& reactor, QtDialogs& dialogs)
    : app_(app), reactor_(reactor), dialogs_(dialogs) {
    reactor.setAfterDispatch([this] { binder_.refresh(); });
    dialogs_.beforeShow = [this] { binder_.refresh(); };
    binder_.afterRefresh = [this] {
        if (app_.terminated && onTerminated) onTerminated();
    };
    binder_.onError = [this](const std::string& what) {
        dialogs_.show(BoxRequest{BoxKind::Error, app_.Title, what, {BoxButton::Ok}, BoxButton::Ok});
    };
}

QtFrontEnd::~QtFrontEnd() {
    dialogs_.beforeShow = nullptr;
    reactor_.setAfterDispatch(nullptr);
    binder_.afterRefresh = nullptr;
    // Last created, first destroyed.
    for (auto it = order_.rbegin(); it != order_.rend(); ++it) delete windows_[static_cast<size_t>(*it)];
}

void QtFrontEnd::created(FormId id) {
    if (!window(id)) {
        build(id);
        order_.push_back(id);
    }
    binder_.refresh();
}

void QtFrontEnd::build(FormId id) {
    TForm1& a = app_;
    auto h = [&a](void (TForm1::*fn)()) { return Handler([&a, fn] { (a.*fn)(); }); };
    QWidget* w = nullptr;
    switch (id) {
    case FormId::Main: {
        MainEvents ev;
        ev.ListenClick = h(&TForm1::ListenClick);
        ev.CloseClick = h(&TForm1::CloseClick);
        ev.CancelListenClick = h(&TForm1::CancelListenClick);
        ev.QuitClick = h(&TForm1::QuitClick);
        ev.AboutClick = h(&TForm1::AboutClick);
        ev.Button4Click = h(&TForm1::Button4Click);
        ev.bgcheckClick = h(&TForm1::bgcheckClick);
        ev.priolistChange = h(&TForm1::priolistChange);
        ev.instldfmDblClick = h(&TForm1::instldfmDblClick);
        ev.blockfakeClick = h(&TForm1::blockfakeClick);
        ev.Showcfg = h(&TForm1::Showcfg);
        ev.Showerrlist = h(&TForm1::Showerrlist);
        ev.getservinfClick = h(&TForm1::getservinfClick);
        ev.FormActivate = h(&TForm1::FormActivate);
        ev.FormCloseQuery = [&a] { return a.FormCloseQuery(); };
        // Closing the main window ends the program.
        ev.closed = [&a] { a.terminated = true; };
        w = BuildMainWindow(binder_, a.Form1, ev);
        break;
    }
    case FormId::About:
        w = BuildAboutBox(binder_, a.AboutBox, [&a] { a.AboutBox.visible = false; });
        break;
    case FormId::RelConfig: w = BuildRelConfig(binder_, a.relconfigfiles, h(&TForm1::relconfigfilesButton1Click)); break;
    case FormId::LastError: w = BuildLastError(binder_, a.Form3, h(&TForm1::Form3Button1Click)); break;
    case FormId::MetaBrowser: w = BuildPlainWindow(binder_, "metabrws", a.metabrws.Caption, a.metabrws.visible); break;
    case FormId::ServerInfo: w = BuildServerInfo(binder_, a.serverinf, h(&TForm1::serverinfButton1Click)); break;
    case FormId::BlockedIPs: w = BuildBlockedIPs(binder_, a.blockedIPs, h(&TForm1::toggleip), h(&TForm1::unblock)); break;
    case FormId::Hidden: w = BuildHidden(binder_, a.Form6); break;
    case FormId::GetUrl: w = BuildGetUrl(binder_, a.geturl, h(&TForm1::BitBtn1Click), h(&TForm1::BitBtn2Click)); break;
    case FormId::SelfTest: w = BuildSelfTest(binder_, a.selftest); break;
    case FormId::PatchSwitcher: w = BuildPlainWindow(binder_, "patchsw", a.patchsw.Caption, a.patchsw.visible); break;
    case FormId::PatchInfo: w = BuildPlainWindow(binder_, "info", a.info.Caption, a.info.visible); break;
    case FormId::XpForm:
        w = BuildPlainWindow(binder_, "xpform", a.xpform.Caption, a.xpform.visible);
        w->setToolTip(Q(a.xpform.hint));
        break;
    case FormId::StatusInfo: w = BuildPlainWindow(binder_, "statwin", a.statwin.Caption, a.statwin.visible); break;
    case FormId::MplayerEdit:
        w = BuildPlainWindow(binder_, "mplayeredit", a.mplayeredit.Caption, a.mplayeredit.visible);
        break;
    }
    windows_[static_cast<size_t>(id)] = w;
}

namespace {

// The signal handler only writes a byte; the loop does the rest.
int gSignalPipe[2] = {-1, -1};
constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void OnEndSignal(int) {
    char byte = 1;
    ssize_t n = ::write(gSignalPipe[1], &byte, 1);
    (void)n;
}

}  // namespace

void WindowedClient::endOnSignals() {
    if (signalsTaken_ || gSignalPipe[0] >= 0) return;  // one client per process takes them
    if (::pipe2(gSignalPipe, O_NONBLOCK | O_CLOEXEC) != 0) return;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this] {
        char buf[16];
        while (::read(gSignalPipe[0], buf, sizeof buf) > 0) {
        }
        app_->terminated = true;
        dialogs_.answerWithDefaults = true;
        // A message box may be waiting for an answer that will not come: close it as Escape does.
        while (QWidget* modal = QApplication::activeModalWidget()) {
            if (!modal->close()) break;
        }
        if (looping_) QCoreApplication::exit(app_->exitCode);
    });
    signalNotifier_.reset(notifier);
    struct sigaction sa {};
    sa.sa_handler = OnEndSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : kEndSignals) sigaction(sig, &sa, nullptr);
    signalsTaken_ = true;
}

WindowedClient::WindowedClient(WindowedOptions o) {
    AppPorts ports{reactor_,
                   dialogs_,
                   o.clock ? *o.clock : steadyClock_,
                   o.shell ? *o.shell : posixShell_,
                   o.processes ? *o.processes : procProcesses_,
                   o.priority ? *o.priority : nicePriority_,
                   NameResolver::system(),
                   o.gameFolder};
    app_ = std::make_unique<TForm1>(ports);
    ui_ = std::make_unique<QtFrontEnd>(*app_, reactor_, dialogs_);
    // Application.Terminate: leave the loop once the handler that asked for it is done. Only
    // a running loop may be told so: Qt would make every later modal loop (message boxes
    // included) return at once.
    ui_->onTerminated = [this] {
        if (looping_) QCoreApplication::exit(app_->exitCode);
    };
    QApplication::setApplicationName(Q(app_->Title));
}

WindowedClient::~WindowedClient() {
    shutdown();
    if (signalsTaken_) {
        for (int sig : kEndSignals) std::signal(sig, SIG_DFL);
        signalNotifier_.reset();
        ::close(gSignalPipe[0]);
        ::close(gSignalPipe[1]);
        gSignalPipe[0] = gSignalPipe[1] = -1;
    }
    ui_.reset();
    app_.reset();
}

void WindowedClient::failed() {
    // Whatever escapes the start ends the program with this box.
    app_->terminated = true;
    if (app_->exitCode == 0) app_->exitCode = 1;
    dialogs_.show(BoxRequest{BoxKind::Error, app_->Title, "Something definitely wrong...", {BoxButton::Ok},
                             BoxButton::Ok});
}

bool WindowedClient::start() {
    try {
        if (!app_->Startup()) return false;
        started_ = true;
        app_->CreateWindows([this](FormId id) { ui_->created(id); });
    } catch (...) {
        failed();
    }
    ui_->binder().refresh();
    return !app_->terminated;
}

int WindowedClient::run() {
    if (!app_->terminated) {
        looping_ = true;
        QApplication::exec();
        looping_ = false;
    }
    shutdown();
    return app_->exitCode;
}

void WindowedClient::shutdown() {
    if (!started_ || shutDown_) return;
    shutDown_ = true;
    app_->Shutdown([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); });
    ui_->binder().refresh();
}

}  // namespace vk::ui
