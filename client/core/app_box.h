#pragma once
// Every message box of the client carries the application's title.
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace vk {

inline constexpr const char* kAppTitle = "VK3d sec player";

// Shows a box with the application title at x, y (-1 = centred) and returns the button pressed.
inline BoxButton ShowBox(Dialogs& dialogs, BoxKind kind, const std::string& text,
                         std::vector<BoxButton> buttons = {BoxButton::Ok}, BoxButton def = BoxButton::Ok,
                         int x = -1, int y = -1) {
    BoxRequest box;
    box.kind = kind;
    box.caption = kAppTitle;
    box.text = text;
    box.buttons = std::move(buttons);
    box.defaultButton = def;
    box.x = x;
    box.y = y;
    return dialogs.show(box);
}

}  // namespace vk
