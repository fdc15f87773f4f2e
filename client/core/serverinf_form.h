#pragma once
// The server-info window: the information texts of the secure servers visited.
#include <string>

#include "client/core/controls.h"

namespace vk {

struct Tserverinf {
    std::string Caption = "Server Info";
    bool visible = false;
    Memo servinfo;
    Button Button1{"Clear"};
};

}  // namespace vk
