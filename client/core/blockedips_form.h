#pragma once
// The blocked-servers window: the address of the last server and the blocked list.
#include <string>

#include "client/core/controls.h"

namespace vk {

struct TblockedIPs {
    std::string Caption = "Blocked (Bogus?) Servers ";
    bool visible = false;
    Edit servip{"servip"};
    ListBox srvlist;
    Button blockserv{"Toggle  IP on/off"};
    Button Unblockip{"Unblock IP"};
};

}  // namespace vk
