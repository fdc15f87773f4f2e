#include "client/ui/window_builder.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include <map>
#include <string>
#include <vector>

namespace vk::ui {

namespace {

using Handler = std::function<void()>;

Handler HandlerOf(const WindowDef& def, const std::string& component, Event e) {
    const auto* h = def.handler(component, e);
    return h ? *h : Handler{};
}

void Place(QWidget* w, const vk::Place& p) {
    if (p.width > 0 && p.height > 0) w->setGeometry(p.left, p.top, p.width, p.height);
    else w->move(p.left, p.top);
}

void Styled(QWidget* w, const Style& s) {
    if (s.fontSize || s.bold) {
        QFont font = w->font();
        if (s.fontSize) font.setPointSize(s.fontSize);
        font.setBold(s.bold);
        w->setFont(font);
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        if (s.centered) label->setAlignment(Qt::AlignCenter);
        if (s.framed) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setWordWrap(s.wordWrap);
    }
}

}  // namespace

QWidget* BuildWindow(Binder& b, WindowSet& set, const WindowDef& def) {
    QWidget* top = nullptr;
    QWidget* surface = nullptr;
    QMainWindow* main = nullptr;
    if (def.hasMenu()) {
        main = new QMainWindow;
        surface = new QWidget(main);
        main->setCentralWidget(surface);
        top = main;
    } else {
        top = new QWidget;
        surface = top;
    }
    top->setObjectName(QString::fromStdString(def.name()));

    std::map<std::string, QWidget*> parents;  // radio groups by name
    std::map<std::string, QMenu*> menus;
    // Radio buttons of one group exclude each other; collected per group, bound at the end.
    std::map<std::string, std::vector<std::pair<QAbstractButton*, RadioButton*>>> groups;
    std::map<std::string, std::vector<Handler>> groupClicks;

    for (const ControlDef& c : def.controls()) {
        const QString name = QString::fromStdString(c.name);
        const Handler click = HandlerOf(def, c.name, Event::Click);
        const Handler dblClick = HandlerOf(def, c.name, Event::DblClick);
        const Handler change = HandlerOf(def, c.name, Event::Change);
        QWidget* parent = surface;
        if (!c.parent.empty() && parents.count(c.parent)) parent = parents[c.parent];
        QWidget* w = nullptr;
        switch (c.kind) {
        case Kind::Label: {
            auto* l = new QLabel(parent);
            b.label(l, *std::get<Label*>(c.model), click, dblClick);
            w = l;
            break;
        }
        case Kind::Panel: {
            auto* l = new QLabel(parent);
            l->setFrameStyle(QFrame::Panel | QFrame::Raised);
            l->setAlignment(Qt::AlignCenter);
            b.panel(l, *std::get<Panel*>(c.model), dblClick, click);
            w = l;
            break;
        }
        case Kind::Edit: {
            auto* e = new QLineEdit(parent);
            b.edit(e, *std::get<Edit*>(c.model), change);
            w = e;
            break;
        }
        case Kind::Button: {
            auto* p = new QPushButton(parent);
            b.button(p, *std::get<Button*>(c.model), click);
            w = p;
            break;
        }
        case Kind::CheckBox: {
            auto* box = new QCheckBox(parent);
            b.checkBox(box, *std::get<CheckBox*>(c.model), click);
            w = box;
            break;
        }
        case Kind::RadioButton: {
            auto* r = new QRadioButton(parent);
            auto* m = std::get<CheckBox*>(c.model);
            if (c.parent.empty()) {
                // Standing alone: the program sets and clears it.
                r->setAutoExclusive(false);
                b.checkBox(r, *m, click);
            } else {
                groups[c.parent].emplace_back(r, m);
                groupClicks[c.parent].push_back(click);
            }
            w = r;
            break;
        }
        case Kind::RadioGroup: {
            auto* g = new QGroupBox(parent);
            b.group(g, *std::get<RadioGroup*>(c.model));
            parents[c.name] = g;
            w = g;
            break;
        }
        case Kind::Menu: {
            if (!main) break;
            QMenu* m = main->menuBar()->addMenu(Q(std::get<Menu*>(c.model)->caption));
            m->setObjectName(name);
            m->setToolTipsVisible(true);
            menus[c.name] = m;
            break;
        }
        case Kind::MenuItem: {
            if (!main) break;
            MenuItem& m = *std::get<MenuItem*>(c.model);
            QAction* a = nullptr;
            if (c.parent.empty()) {
                a = main->menuBar()->addAction(Q(m.caption));
            } else if (menus.count(c.parent)) {
                a = m.caption == "-" ? menus[c.parent]->addSeparator() : menus[c.parent]->addAction(Q(m.caption));
            }
            if (!a) break;
            a->setObjectName(name);
            if (m.caption != "-") b.menuItem(a, m, click);
            break;
        }
        case Kind::Memo: {
            auto* t = new QPlainTextEdit(parent);
            t->setLineWrapMode(QPlainTextEdit::NoWrap);
            b.memo(t, *std::get<Memo*>(c.model), change);
            w = t;
            break;
        }
        case Kind::ListBox: {
            auto* l = new QListWidget(parent);
            b.listBox(l, *std::get<ListBox*>(c.model), click, dblClick);
            w = l;
            break;
        }
        case Kind::ComboBox: {
            auto* cb = new QComboBox(parent);
            b.comboBox(cb, *std::get<ComboBox*>(c.model), change);
            w = cb;
            break;
        }
        case Kind::Grid: {
            auto* g = new QTableWidget(parent);
            b.grid(g, *std::get<Grid*>(c.model), click, dblClick);
            w = g;
            break;
        }
        case Kind::ProgressBar: {
            auto* p = new QProgressBar(parent);
            b.progressBar(p, *std::get<ProgressBar*>(c.model));
            w = p;
            break;
        }
        }
        if (!w) continue;
        w->setObjectName(name);
        Place(w, c.place);
        Styled(w, c.style);
    }
    for (auto& [group, members] : groups) b.radios(members, groupClicks[group]);

    // The status line follows the mouse: the hint of the control under it, nothing elsewhere.
    if (const ControlDef* line = def.control(def.hintLabel()); line && line->kind == Kind::Label) {
        Label* status = std::get<Label*>(line->model);
        for (const ControlDef& c : def.controls()) {
            if (&c == line) continue;
            QWidget* w = surface->findChild<QWidget*>(QString::fromStdString(c.name));
            if (!w) continue;
            const std::string* hint = std::visit([](auto* m) { return &m->hint; }, c.model);
            b.hovers(w, [&b, status, hint](bool inside) {
                const std::string text = inside ? *hint : std::string();
                if (status->caption == text) return;
                status->caption = text;
                b.refresh();
            });
        }
    }

    // A click on the window's own surface.
    b.clicks(surface, HandlerOf(def, "", Event::Click), {});

    const vk::Place& p = def.place();
    const int menuHeight = main ? main->menuBar()->sizeHint().height() : 0;
    if (p.width > 0 && p.height > 0) top->resize(p.width, p.height + menuHeight);
    if (p.left > 0 || p.top > 0) top->move(p.left, p.top);

    const WindowDef* d = &def;
    WindowHooks hooks;
    // The set runs the close query and the Close event and hides the window.
    hooks.closeQuery = [&set, d] { return set.close(*d, false); };
    hooks.activated = HandlerOf(def, "", Event::Activate);
    b.window(top, def.caption(), def.visible(), hooks);
    return top;
}

}  // namespace vk::ui
