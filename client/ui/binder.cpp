#include "client/ui/binder.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWidget>

#include <exception>
#include <memory>
#include <optional>

namespace vk::ui {

QString Q(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

std::string S(const QString& s) {
    QByteArray b = s.toLatin1();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

QString MemoText(const std::string& entry) {
    std::string t;
    t.reserve(entry.size());
    for (size_t i = 0; i < entry.size(); ++i) {
        char c = entry[i];
        if (c == '\r') {
            t += '\n';
            if (i + 1 < entry.size() && entry[i + 1] == '\n') ++i;
        } else {
            t += c;
        }
    }
    return Q(t);
}

namespace {

void SetColor(QWidget* w, Color c) {
    QPalette p = w->palette();
    QColor q((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
    if (p.color(QPalette::WindowText) != q) {
        p.setColor(QPalette::WindowText, q);
        w->setPalette(p);
    }
}

void SetText(QLabel* w, const QString& t) {
    if (w->text() != t) w->setText(t);
}

void SetHint(QWidget* w, const std::string& hint) {
    QString t = Q(hint);
    if (w->toolTip() != t) w->setToolTip(t);
}

void SetVisible(QWidget* w, bool visible) {
    if (w->isVisibleTo(w->parentWidget()) != visible) w->setVisible(visible);
}

// What a refresher last put on its widget, so that a redraw touches Qt only for what changed
// (converting every text and parsing every shortcut on each redraw is what costs). Only for
// what the user cannot change; edit texts and check marks are compared with the widget.
struct Shown {
    std::optional<std::string> text, hint, shortcut;
    std::optional<Color> color;
    std::optional<bool> enabled, visible, checkable;
};

template <typename T>
bool Changed(std::optional<T>& last, const T& now) {
    if (last && *last == now) return false;
    last = now;
    return true;
}

// Double-clicks on a label, closes and activations of a window, turned into calls.
class EventHook : public QObject {
public:
    EventHook(QObject* parent, std::function<bool(QEvent*)> fn) : QObject(parent), fn_(std::move(fn)) {}
    bool eventFilter(QObject*, QEvent* e) override { return fn_(e); }

private:
    std::function<bool(QEvent*)> fn_;
};

}  // namespace

void Binder::invoke(const std::function<void()>& handler) {
    ++depth_;
    try {
        if (handler) handler();
    } catch (const std::exception& e) {
        if (onError) onError(e.what());
    } catch (...) {
        if (onError) onError("unknown failure");
    }
    --depth_;
    refresh();
}

void Binder::refresh() {
    for (auto& r : refreshers_) r();
    if (afterRefresh) afterRefresh();
}

void Binder::label(QLabel* w, const Label& m) {
    refreshers_.push_back([w, &m, shown = std::make_shared<Shown>()] {
        if (Changed(shown->text, m.caption)) SetText(w, Q(m.caption));
        if (Changed(shown->color, m.color)) SetColor(w, m.color);
        if (Changed(shown->hint, m.hint)) SetHint(w, m.hint);
        if (Changed(shown->visible, m.visible)) SetVisible(w, m.visible);
    });
}

void Binder::panel(QLabel* w, const Panel& m, std::function<void()> dblClick) {
    if (dblClick)
        w->installEventFilter(new EventHook(w, [this, dblClick](QEvent* e) {
            if (e->type() != QEvent::MouseButtonDblClick) return false;
            invoke(dblClick);
            return true;
        }));
    refreshers_.push_back([w, &m, shown = std::make_shared<Shown>()] {
        if (Changed(shown->text, m.caption)) SetText(w, Q(m.caption));
        if (Changed(shown->hint, m.hint)) SetHint(w, m.hint);
    });
}

void Binder::edit(QLineEdit* w, Edit& m) {
    QObject::connect(w, &QLineEdit::textEdited, w, [&m](const QString& t) { m.text = S(t); });
    refreshers_.push_back([w, &m, shown = std::make_shared<Shown>()] {
        QString t = Q(m.text);
        if (w->text() != t) w->setText(t);
        if (Changed(shown->enabled, m.enabled)) w->setEnabled(m.enabled);
        if (Changed(shown->hint, m.hint)) SetHint(w, m.hint);
        if (Changed(shown->visible, m.visible)) SetVisible(w, m.visible);
    });
}

void Binder::button(QAbstractButton* w, const Button& m, std::function<void()> click) {
    if (click) QObject::connect(w, &QAbstractButton::clicked, w, [this, click] { invoke(click); });
    refreshers_.push_back([w, &m, shown = std::make_shared<Shown>()] {
        if (Changed(shown->text, m.caption)) w->setText(Q(m.caption));
        if (Changed(shown->enabled, m.enabled)) w->setEnabled(m.enabled);
        if (Changed(shown->hint, m.hint)) SetHint(w, m.hint);
        if (Changed(shown->visible, m.visible)) SetVisible(w, m.visible);
    });
}

void Binder::checkBox(QAbstractButton* w, CheckBox& m, std::function<void()> click) {
    w->setCheckable(true);
    // clicked comes from the user only; the model takes the new state before the handler runs.
    QObject::connect(w, &QAbstractButton::clicked, w, [this, w, &m, click](bool) {
        m.checked = w->isChecked();
        invoke(click);
    });
    refreshers_.push_back([w, &m, shown = std::make_shared<Shown>()] {
        if (Changed(shown->text, m.caption)) w->setText(Q(m.caption));
        if (w->isChecked() != m.checked) {
            QSignalBlocker quiet(w);
            w->setChecked(m.checked);
        }
        if (Changed(shown->enabled, m.enabled)) w->setEnabled(m.enabled);
        if (Changed(shown->hint, m.hint)) SetHint(w, m.hint);
        if (Changed(shown->visible, m.visible)) SetVisible(w, m.visible);
    });
}

void Binder::group(QGroupBox* w, const RadioGroup& m) {
    refreshers_.push_back([w, &m, shown = std::make_shared<Shown>()] {
        if (Changed(shown->text, m.caption)) w->setTitle(Q(m.caption));
        if (Changed(shown->visible, m.visible)) SetVisible(w, m.visible);
    });
}

void Binder::radios(std::vector<std::pair<QAbstractButton*, RadioButton*>> set) {
    for (auto& [w, m] : set) {
        // Connected first, so that every model is right before the redraw that follows a click.
        QObject::connect(w, &QAbstractButton::clicked, w, [set] {
            for (auto& [other, model] : set) model->checked = other->isChecked();
        });
        checkBox(w, *m);
    }
}

void Binder::menuItem(QAction* w, MenuItem& m, std::function<void()> click) {
    QObject::connect(w, &QAction::triggered, w, [this, click] { invoke(click); });
    refreshers_.push_back([w, &m, shown = std::make_shared<Shown>()] {
        if (Changed(shown->text, m.caption)) w->setText(Q(m.caption));
        if (Changed(shown->enabled, m.enabled)) w->setEnabled(m.enabled);
        // A checked item shows its mark; the handler decides the state, not the click.
        if (Changed(shown->checkable, m.checked)) w->setCheckable(m.checked);
        if (w->isChecked() != m.checked) w->setChecked(m.checked);
        if (Changed(shown->hint, m.hint)) {
            w->setToolTip(Q(m.hint));
            w->setStatusTip(Q(m.hint));
        }
        if (Changed(shown->shortcut, m.shortcut)) w->setShortcut(QKeySequence(Q(m.shortcut)));
    });
}

void Binder::memo(QPlainTextEdit* w, const Memo& m) {
    w->setReadOnly(true);
    // Memos mostly grow at the end: append what is new instead of redrawing the whole text,
    // and keep the copy of what is shown growing the same way (no copy of the whole log per
    // redraw).
    auto shown = std::make_shared<std::vector<std::string>>();
    refreshers_.push_back([w, &m, shown] {
        const auto& lines = m.lines;
        const size_t had = shown->size();
        bool grown = lines.size() >= had && std::equal(shown->rbegin(), shown->rend(), lines.rend() - had);
        if (grown && lines.size() == had) {
            // unchanged
        } else if (grown && had > 0) {
            for (size_t i = had; i < lines.size(); ++i) {
                w->appendPlainText(MemoText(lines[i]));
                shown->push_back(lines[i]);
            }
        } else {
            QString all;
            for (size_t i = 0; i < lines.size(); ++i) {
                if (i) all += '\n';
                all += MemoText(lines[i]);
            }
            w->setPlainText(all);
            w->verticalScrollBar()->setValue(w->verticalScrollBar()->maximum());
            *shown = lines;
        }
        SetHint(w, m.hint);
    });
}

void Binder::listBox(QListWidget* w, ListBox& m) {
    QObject::connect(w, &QListWidget::currentRowChanged, w, [&m](int row) { m.itemIndex = row; });
    auto shown = std::make_shared<std::vector<std::string>>();
    refreshers_.push_back([w, &m, shown] {
        QSignalBlocker quiet(w);
        if (*shown != m.items) {
            w->clear();
            for (const auto& item : m.items) w->addItem(Q(item));
            *shown = m.items;
        }
        int row = m.itemIndex >= 0 && m.itemIndex < static_cast<int>(m.items.size()) ? m.itemIndex : -1;
        if (w->currentRow() != row) w->setCurrentRow(row);
        if (row < 0) w->clearSelection();
    });
}

void Binder::comboBox(QComboBox* w, ComboBox& m, std::function<void()> change) {
    QObject::connect(w, &QComboBox::activated, w, [this, &m, change](int i) {
        m.itemIndex = i;
        if (i >= 0 && i < static_cast<int>(m.items.size())) m.text = m.items[static_cast<size_t>(i)];
        invoke(change);
    });
    auto shown = std::make_shared<std::vector<std::string>>();
    refreshers_.push_back([w, &m, shown] {
        QSignalBlocker quiet(w);
        if (*shown != m.items) {
            w->clear();
            for (const auto& item : m.items) w->addItem(Q(item));
            *shown = m.items;
        }
        int index = m.itemIndex;
        if (index < 0) index = w->findText(Q(m.text));
        if (w->currentIndex() != index) w->setCurrentIndex(index);
        SetHint(w, m.hint);
    });
}

void Binder::window(QWidget* w, const std::string& caption, bool& visible, WindowHooks hooks) {
    w->installEventFilter(new EventHook(w, [this, w, &visible, hooks](QEvent* e) {
        if (e->type() == QEvent::Close) {
            auto* close = static_cast<QCloseEvent*>(e);
            bool may = true;
            if (hooks.closeQuery) invoke([&] { may = hooks.closeQuery(); });
            if (!may) {
                close->ignore();
                return true;
            }
            visible = false;  // closing a window only hides it
            if (hooks.closed) invoke(hooks.closed);
            return false;
        }
        if (e->type() == QEvent::WindowActivate && hooks.activated) invoke(hooks.activated);
        return false;
    }));
    refreshers_.push_back([w, &caption, &visible, shown = std::make_shared<Shown>()] {
        if (Changed(shown->text, caption)) w->setWindowTitle(Q(caption));
        if (w->isVisible() != visible) w->setVisible(visible);
    });
}

}  // namespace vk::ui
