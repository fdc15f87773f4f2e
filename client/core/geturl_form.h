#pragma once
// The patch-download dialog that a server's url= offer opens.
#include <string>

#include "client/core/controls.h"

namespace vk {

struct Tgeturl {
    std::string Caption = "get Patch";
    bool visible = false;
    Label dload;
    Button BitBtn1{"OK"};
    Button BitBtn2{"Cancel"};
};

}  // namespace vk
