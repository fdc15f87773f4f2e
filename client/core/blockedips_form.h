#pragma once
// The blocked-servers window: the address of the last server and the blocked list.
#include <string>

#include "client/core/controls.h"

namespace vk {

struct TblockedIPs {
    std::string Caption = "Blocked (Bogus?) Servers ";
    bool visible = false;
    Label Label1{"IP of last server"};
    Edit servip{"servip"};
    Label Label2{"Blocked (bogus?) Server IP's"};
    ListBox srvlist;
    Button blockserv{"Toggle  IP on/off"};
    Button Unblockip{"Unblock IP"};
};

}  // namespace vk
