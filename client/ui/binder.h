#pragma once
// Ties the form models to Qt widgets. Each bind call wires the widget's user events into the
// model (and to the handler, if any) and registers how the widget is redrawn from the model.
// Every handler runs through invoke(), which redraws all bound widgets afterwards: the logic
// only changes models, the widgets follow.
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "client/core/controls.h"

class QAbstractButton;
class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QTableWidget;
class QWidget;

namespace vk::ui {

// The program's texts are 8-bit characters.
QString Q(const std::string& s);
std::string S(const QString& s);
// A memo entry may hold CR LF (several rows); Qt wants plain line feeds.
QString MemoText(const std::string& entry);

struct WindowHooks {
    std::function<bool()> closeQuery;  // false keeps the window open
    std::function<void()> closed;      // after the window was closed by the user
    std::function<void()> activated;   // the window became the active one
};

class Binder {
public:
    // Runs a handler, then redraws every bound widget. A handler that throws does not take
    // the program down: the failure goes to onError.
    void invoke(const std::function<void()>& handler);
    // Runs a handler as invoke() does, without the redraw.
    void guarded(const std::function<void()>& handler);
    // Redraws every bound widget from its model.
    void refresh();

    std::function<void(const std::string&)> onError;
    // Runs first in every redraw (the windows' show and hide events), and last.
    std::function<void()> beforeRefresh;
    std::function<void()> afterRefresh;

    void label(QLabel* w, const Label& m, std::function<void()> click = {}, std::function<void()> dblClick = {});
    void panel(QLabel* w, const Panel& m, std::function<void()> dblClick = {}, std::function<void()> click = {});
    void edit(QLineEdit* w, Edit& m, std::function<void()> change = {});
    void button(QAbstractButton* w, const Button& m, std::function<void()> click = {});
    void checkBox(QAbstractButton* w, CheckBox& m, std::function<void()> click = {});
    void group(QGroupBox* w, const RadioGroup& m);
    // Radio buttons that exclude each other: a click updates every model of the set.
    void radios(std::vector<std::pair<QAbstractButton*, RadioButton*>> set,
                std::vector<std::function<void()>> clicks = {});
    void menuItem(QAction* w, MenuItem& m, std::function<void()> click = {});
    void memo(QPlainTextEdit* w, Memo& m, std::function<void()> change = {});
    void listBox(QListWidget* w, ListBox& m, std::function<void()> click = {}, std::function<void()> dblClick = {});
    void comboBox(QComboBox* w, ComboBox& m, std::function<void()> change = {});
    void grid(QTableWidget* w, Grid& m, std::function<void()> click = {}, std::function<void()> dblClick = {});
    void progressBar(QProgressBar* w, const ProgressBar& m);
    // Mouse clicks and double-clicks on a widget that has no signal for them (labels, panels,
    // a window's own surface).
    void clicks(QWidget* w, std::function<void()> click, std::function<void()> dblClick);
    // The mouse entering (true) or leaving (false) a widget.
    void hovers(QWidget* w, std::function<void(bool inside)> changed);
    void window(QWidget* w, const std::string& caption, bool& visible, WindowHooks hooks = {});

private:
    std::vector<std::function<void()>> refreshers_;
    int depth_ = 0;
    bool updating_ = false;  // a memo is being redrawn, not typed into
};

}  // namespace vk::ui
