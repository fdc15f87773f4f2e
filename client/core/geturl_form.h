#pragma once
// The patch-download dialog that a server's url= offer opens.
#include <functional>
#include <string>

#include "client/core/controls.h"
#include "client/core/window_def.h"

namespace vk {

struct Tgeturl {
    std::string Caption = "get Patch";
    bool visible = false;
    Label dload;
    Button BitBtn1{"OK"};
    Button BitBtn2{"Cancel"};
};

// The dialog's definition; ok and cancel are the conversation's BitBtn1Click and BitBtn2Click.
WindowDef GetUrlWindow(Tgeturl& f, std::function<void()> ok, std::function<void()> cancel);

}  // namespace vk
