#pragma once
// The self-test window as far as the conversation writes to it: its log. The running flag is
// client state (ClientState::selfTestRunning).
#include <string>

#include "client/core/controls.h"
#include "client/core/window_def.h"

namespace vk {

struct Tselftest {
    std::string Caption = "Self Test ";
    bool visible = false;
    ::vk::Memo Memo;  // the self-test log
};

// The window as far as it is built: its log.
WindowDef SelfTestLogWindow(Tselftest& f);

}  // namespace vk
