#pragma once
// For the windowed client's tests: a priority port that changes nothing, a shell that starts
// nothing, a box answerer that presses each message box's button as a user would, and the
// look-up of a window's widget or a main-menu item by its component name.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPoint>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "client/ui/front_end.h"
#include "platform/priority.h"
#include "platform/shell.h"

namespace vk::test {

class QuietPriority final : public ProcessPriority {
public:
    std::string SetPriorityClass(PriorityClass c) override {
        switch (c) {
        case PriorityClass::Idle: return "Chged priority to Idle";
        case PriorityClass::Normal: return "Chged priority to Normal";
        case PriorityClass::High: return "Chged priority to High";
        case PriorityClass::Realtime: return "Chged priority to Realtime";
        }
        return "";
    }
};

class NoShell final : public Shell {
public:
    int ShellExecute(const std::string&, const std::string&, const std::string&, const std::string&) override {
        return 42;
    }
};

// Answers every message box with its default button (or the next of `presses`) and notes its
// text and position.
class BoxAnswerer {
public:
    BoxAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            texts.push_back(box->text().toStdString());
            positions.push_back(box->pos());
            QAbstractButton* b = box->defaultButton();
            if (!presses.empty()) {
                b = box->button(presses.front());
                presses.pop_front();
            }
            if (b) b->click();
            else box->reject();
        });
        timer_.start(20);
    }
    bool saw(const std::string& text) const { return std::find(texts.begin(), texts.end(), text) != texts.end(); }
    std::vector<std::string> texts;
    std::vector<QPoint> positions;
    std::deque<QMessageBox::StandardButton> presses;  // buttons for the next boxes, else the default

private:
    QTimer timer_;
};

template <typename W>
W* Find(ui::WindowedClient& c, FormId form, const char* name) {
    QWidget* w = c.ui().window(form);
    return w ? w->findChild<W*>(QString::fromLatin1(name)) : nullptr;
}

inline QAction* Menu(ui::WindowedClient& c, const char* name) {
    QWidget* main = c.ui().window(FormId::Main);
    return main ? main->findChild<QAction*>(QString::fromLatin1(name)) : nullptr;
}

}  // namespace vk::test
