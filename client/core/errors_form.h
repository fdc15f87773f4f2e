#pragma once
// The last-error window: files the secure server found in error, missing or not expected.
#include <string>

#include "client/core/controls.h"

namespace vk {

struct TForm3 {
    std::string Caption = "Last error information";
    bool visible = false;
    Memo cfgerrors;
    Button Button1{"Clear"};
};

}  // namespace vk
