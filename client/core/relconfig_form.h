#pragma once
// The files the last check found (log-plyr-cfg.txt) with the explanatory block.
#include <string>

#include "client/core/controls.h"

namespace vk {

struct Trelconfigfiles {
    std::string Caption = "Relevant config files found by the server";
    bool visible = false;
    Memo Memo1;
    Button Button1{"Clear"};
};

}  // namespace vk
