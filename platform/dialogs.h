#pragma once
// Message boxes as the logic asks for them. The real port is a QMessageBox (or the console in
// headless mode); ScriptedDialogs records every box and answers from a script, else with the
// default button.
#include <deque>
#include <string>
#include <vector>

namespace vk {

enum class BoxKind { Information, Warning, Error, Confirmation };
enum class BoxButton { Ok, Cancel, Yes, No, Abort, Retry, Ignore };

struct BoxRequest {
    BoxKind kind = BoxKind::Information;
    std::string caption;
    std::string text;
    std::vector<BoxButton> buttons{BoxButton::Ok};
    BoxButton defaultButton = BoxButton::Ok;
    int x = -1;  // screen position of the box; -1 = centred
    int y = -1;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Shows the box modally and returns the button pressed.
    virtual BoxButton show(const BoxRequest& box) = 0;
};

class ScriptedDialogs final : public Dialogs {
public:
    BoxButton show(const BoxRequest& box) override {
        shown.push_back(box);
        if (answers.empty()) return box.defaultButton;
        BoxButton b = answers.front();
        answers.pop_front();
        return b;
    }
    std::vector<BoxRequest> shown;
    std::deque<BoxButton> answers;
};

}  // namespace vk
