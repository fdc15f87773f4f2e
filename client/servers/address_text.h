#pragma once
// Address texts as the servers subsystem checks them before it sends to them or writes them.
#include <string>
#include <string_view>

namespace vk {

// Four decimal numbers 0..255 without leading zeros joined by '.', nothing else.
bool IsDottedIPv4(std::string_view text);
// A decimal port 1..65535 with nothing else around it; 0 when the text is not one.
int ParsePortText(std::string_view text);
// 192.168.x, 10.x, or 172.N.x with N a plain number from 16 to 31.
bool IsPrivateAddress(std::string_view text);

}  // namespace vk
