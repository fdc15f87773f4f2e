#pragma once
// Message boxes as QMessageBox, modal, at the screen position the logic asks for.
#include <functional>

#include "platform/dialogs.h"

namespace vk {

class QtDialogs final : public Dialogs {
public:
    BoxButton show(const BoxRequest& box) override;

    // Runs before each box is shown: the front end refreshes its windows, so that what the
    // box talks about is on screen.
    std::function<void()> beforeShow;
    // Set when the program is ending on a signal: no one is there to answer, so every box
    // answers with its default button without being shown.
    bool answerWithDefaults = false;
};

}  // namespace vk
