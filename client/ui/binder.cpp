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
#include <QApplication>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTableWidget>
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

void SetBackground(QWidget* w, Color c) {
    QPalette p = w->palette();
    if (c == clDefault) {
        w->setAutoFillBackground(false);
        p.setColor(QPalette::Window, QApplication::palette().color(QPalette::Window));
        p.setColor(QPalette::Base, QApplication::palette().color(QPalette::Base));
    } else {
        QColor q((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
        w->setAutoFillBackground(true);
        p.setColor(QPalette::Window, q);
        p.setColor(QPalette::Base, q);
        p.setColor(QPalette::Button, q);
    }
    w->setPalette(p);
}

// What a refresher last put on its widget, so that a redraw touches Qt only for what changed
// (converting every text and parsing every shortcut on each redraw is what costs). Only for
// what the user cannot change; edit texts and check marks are compared with the widget.
struct Shown {
    std::optional<std::string> text, hint, shortcut;
    std::optional<Color> color, background;
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

// What every control has: hint, enabled, visible, font colour and background.
void Common(QWidget* w, const ControlBase& m, Shown& shown) {
    if (Changed(shown.hint, m.hint)) SetHint(w, m.hint);
    if (Changed(shown.enabled, m.enabled)) w->setEnabled(m.enabled);
    if (Changed(shown.visible, m.visible)) SetVisible(w, m.visible);
    if (Changed(shown.color, m.color)) {
        QPalette p = w->palette();
        QColor q((m.color >> 16) & 0xFF, (m.color >> 8) & 0xFF, m.color & 0xFF);
        p.setColor(QPalette::WindowText, q);
        p.setColor(QPalette::Text, q);
        p.setColor(QPalette::ButtonText, q);
        w->setPalette(p);
    }
    if (Changed(shown.background, m.background)) SetBackground(w, m.background);
}

}  // namespace

void Binder::guarded(const std::function<void()>& handler) {
    ++depth_;
    try {
        if (handler) handler();
    } catch (const std::exception& e) {
        if (onError) onError(e.what());
    } catch (...) {
        if (onError) onError("unknown failure");
    }
    --depth_;
}

void Binder::invoke(const std::function<void()>& handler) {
    guarded(handler);
    refresh();
}

void Binder::refresh() {
    if (beforeRefresh) beforeRefresh();
    for (auto& r : refreshers_) r();
    if (afterRefresh) afterRefresh();
}

void Binder::clicks(QWidget* w, std::function<void()> click, std::function<void()> dblClick) {
    if (!click && !dblClick) return;
    w->installEventFilter(new EventHook(w, [this, click, dblClick](QEvent* e) {
        if (e->type() == QEvent::MouseButtonDblClick && dblClick) {
            invoke(dblClick);
            return true;
        }
        if (e->type() == QEvent::MouseButtonRelease && click) {
            invoke(click);
            return true;
        }
        return false;
    }));
}

void Binder::hovers(QWidget* w, std::function<void(bool inside)> changed) {
    w->installEventFilter(new EventHook(w, [changed](QEvent* e) {
        if (e->type() == QEvent::Enter) changed(true);
        if (e->type() == QEvent::Leave) changed(false);
        return false;
    }));
}

void Binder::label(QLabel* w, const Label& m, std::function<void()> click, std::function<void()> dblClick) {
    // Texts from a server or a file are never taken for markup.
    w->setTextFormat(Qt::PlainText);
    clicks(w, std::move(click), std::move(dblClick));
    refreshers_.push_back([w, &m, shown = std::make_shared<Shown>()] {
        if (Changed(shown->text, m.caption)) SetText(w, Q(m.caption));
        Common(w, m, *shown);
    });
}

void Binder::panel(QLabel* w, const Panel& m, std::function<void()> dblClick, std::function<void()> click) {
    w->setTextFormat(Qt::PlainText);
    clicks(w, std::move(click), std::move(dblClick));
    refreshers_.push_back([w, &m, shown = std::make_shared<Shown>()] {
        if (Changed(shown->text, m.caption)) SetText(w, Q(m.caption));
        Common(w, m, *shown);
    });
}

void Binder::edit(QLineEdit* w, Edit& m, std::function<void()> change) {
    QObject::connect(w, &QLineEdit::textEdited, w, [this, &m, change](const QString& t) {
        m.text = S(t);
        if (change) invoke(change);
    });
    refreshers_.push_back([w, &m, shown = std::make_shared<Shown>()] {
        QString t = Q(m.text);
        if (w->text() != t) w->setText(t);
        Common(w, m, *shown);
    });
}

void Binder::button(QAbstractButton* w, const Button& m, std::function<void()> click) {
    if (click) QObject::connect(w, &QAbstractButton::clicked, w, [this, click] { invoke(click); });
    refreshers_.push_back([w, &m, shown = std::make_shared<Shown>()] {
        if (Changed(shown->text, m.caption)) w->setText(Q(m.caption));
        Common(w, m, *shown);
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
        Common(w, m, *shown);
    });
}

void Binder::group(QGroupBox* w, const RadioGroup& m) {
    refreshers_.push_back([w, &m, shown = std::make_shared<Shown>()] {
        if (Changed(shown->text, m.caption)) w->setTitle(Q(m.caption));
        Common(w, m, *shown);
    });
}

void Binder::radios(std::vector<std::pair<QAbstractButton*, RadioButton*>> set,
                    std::vector<std::function<void()>> clicks) {
    for (size_t i = 0; i < set.size(); ++i) {
        auto [w, m] = set[i];
        // Connected first, so that every model is right before the redraw that follows a click.
        QObject::connect(w, &QAbstractButton::clicked, w, [set] {
            for (auto& [other, model] : set) model->checked = other->isChecked();
        });
        checkBox(w, *m, i < clicks.size() ? clicks[i] : std::function<void()>{});
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

void Binder::memo(QPlainTextEdit* w, Memo& m, std::function<void()> change) {
    w->setReadOnly(m.readOnly);
    if (!m.readOnly) {
        // What the user types becomes the model's rows.
        QObject::connect(w, &QPlainTextEdit::textChanged, w, [this, w, &m, change] {
            if (updating_) return;
            m.lines.clear();
            const QStringList rows = w->toPlainText().split(QLatin1Char('\n'));
            for (const QString& row : rows) m.lines.push_back(S(row));
            if (change) invoke(change);
        });
    }
    // Memos mostly grow at the end: append what is new instead of redrawing the whole text,
    // and keep the copy of what is shown growing the same way (no copy of the whole log per
    // redraw).
    auto shown = std::make_shared<std::vector<std::string>>();
    refreshers_.push_back([this, w, &m, shown, shownBase = std::make_shared<Shown>()] {
        const auto& lines = m.lines;
        const size_t had = shown->size();
        bool grown = lines.size() >= had && std::equal(shown->rbegin(), shown->rend(), lines.rend() - had);
        if (grown && lines.size() == had) {
            // unchanged
        } else if (grown && had > 0) {
            updating_ = true;
            for (size_t i = had; i < lines.size(); ++i) {
                w->appendPlainText(MemoText(lines[i]));
                shown->push_back(lines[i]);
            }
            updating_ = false;
        } else {
            QString all;
            for (size_t i = 0; i < lines.size(); ++i) {
                if (i) all += '\n';
                all += MemoText(lines[i]);
            }
            updating_ = true;
            w->setPlainText(all);
            updating_ = false;
            w->verticalScrollBar()->setValue(w->verticalScrollBar()->maximum());
            *shown = lines;
        }
        Common(w, m, *shownBase);
    });
}

void Binder::listBox(QListWidget* w, ListBox& m, std::function<void()> click, std::function<void()> dblClick) {
    QObject::connect(w, &QListWidget::currentRowChanged, w, [&m](int row) { m.itemIndex = row; });
    if (click)
        QObject::connect(w, &QListWidget::itemClicked, w, [this, w, &m, click](QListWidgetItem*) {
            m.itemIndex = w->currentRow();
            invoke(click);
        });
    if (dblClick)
        QObject::connect(w, &QListWidget::itemDoubleClicked, w, [this, w, &m, dblClick](QListWidgetItem*) {
            m.itemIndex = w->currentRow();
            invoke(dblClick);
        });
    auto shown = std::make_shared<std::vector<std::string>>();
    refreshers_.push_back([w, &m, shown, shownBase = std::make_shared<Shown>()] {
        QSignalBlocker quiet(w);
        if (*shown != m.items) {
            w->clear();
            for (const auto& item : m.items) w->addItem(Q(item));
            *shown = m.items;
        }
        int row = m.itemIndex >= 0 && m.itemIndex < static_cast<int>(m.items.size()) ? m.itemIndex : -1;
        if (w->currentRow() != row) w->setCurrentRow(row);
        if (row < 0) w->clearSelection();
        Common(w, m, *shownBase);
    });
}

void Binder::comboBox(QComboBox* w, ComboBox& m, std::function<void()> change) {
    QObject::connect(w, &QComboBox::activated, w, [this, &m, change](int i) {
        m.itemIndex = i;
        if (i >= 0 && i < static_cast<int>(m.items.size())) m.text = m.items[static_cast<size_t>(i)];
        invoke(change);
    });
    auto shown = std::make_shared<std::vector<std::string>>();
    refreshers_.push_back([w, &m, shown, shownBase = std::make_shared<Shown>()] {
        QSignalBlocker quiet(w);
        if (*shown != m.items) {
            w->clear();
            for (const auto& item : m.items) w->addItem(Q(item));
            *shown = m.items;
        }
        int index = m.itemIndex;
        if (index < 0) index = w->findText(Q(m.text));
        if (w->currentIndex() != index) w->setCurrentIndex(index);
        Common(w, m, *shownBase);
    });
}

void Binder::grid(QTableWidget* w, Grid& m, std::function<void()> click, std::function<void()> dblClick) {
    w->setEditTriggers(QAbstractItemView::NoEditTriggers);
    w->setSelectionBehavior(QAbstractItemView::SelectRows);
    w->setSelectionMode(QAbstractItemView::SingleSelection);
    w->horizontalHeader()->hide();
    w->verticalHeader()->hide();
    QObject::connect(w, &QTableWidget::cellClicked, w, [this, &m, click](int row, int) {
        m.row = row;
        if (click) invoke(click);
    });
    QObject::connect(w, &QTableWidget::cellDoubleClicked, w, [this, &m, dblClick](int row, int) {
        m.row = row;
        if (dblClick) invoke(dblClick);
    });
    auto shown = std::make_shared<std::vector<std::vector<std::string>>>();
    refreshers_.push_back([w, &m, shown, shownBase = std::make_shared<Shown>(), widths = std::make_shared<std::vector<int>>()] {
        QSignalBlocker quiet(w);
        if (w->rowCount() != m.rowCount) w->setRowCount(m.rowCount);
        if (w->columnCount() != m.colCount) w->setColumnCount(m.colCount);
        if (*shown != m.cells || w->rowCount() != m.rowCount) {
            for (int r = 0; r < m.rowCount; ++r)
                for (int c = 0; c < m.colCount; ++c) {
                    const bool has = r < static_cast<int>(m.cells.size()) && c < static_cast<int>(m.cells[static_cast<size_t>(r)].size());
                    const QString t = has ? Q(m.cells[static_cast<size_t>(r)][static_cast<size_t>(c)]) : QString();
                    QTableWidgetItem* item = w->item(r, c);
                    if (!item) w->setItem(r, c, new QTableWidgetItem(t));
                    else if (item->text() != t) item->setText(t);
                }
            *shown = m.cells;
        }
        if (*widths != m.colWidths) {
            for (size_t c = 0; c < m.colWidths.size(); ++c) w->setColumnWidth(static_cast<int>(c), m.colWidths[c]);
            *widths = m.colWidths;
        }
        const int row = m.row >= 0 && m.row < m.rowCount ? m.row : -1;
        if (w->currentRow() != row) {
            if (row < 0) w->clearSelection();
            else w->selectRow(row);
        }
        Common(w, m, *shownBase);
    });
}

void Binder::progressBar(QProgressBar* w, const ProgressBar& m) {
    refreshers_.push_back([w, &m, shownBase = std::make_shared<Shown>()] {
        if (w->minimum() != m.min || w->maximum() != m.max) w->setRange(m.min, m.max);
        if (w->value() != m.position) w->setValue(m.position);
        Common(w, m, *shownBase);
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
