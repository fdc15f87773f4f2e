#pragma once
// Pieces of the settings reader that tests and the fuzzer reach directly.
#include <cstdint>
#include <string>
#include <vector>

namespace vkst {

struct Monitor;

// Reads a C decimal integer from [s, end) (end null: to the NUL): leading white space, a sign,
// digits; no digits gives 0. Saturates at the 32-bit limits.
int32_t decimalValue(const char* s, const char* end);
// The value rule: removes the spaces of `line` (in place), then takes the text after `matched`
// up to the next ";". False when `matched` does not occur.
bool valueText(char* line, const char* matched, std::string& out);
// Banner and the three settings files, with their echo (no landmarks, address or log).
void readSettingsFiles(Monitor& m);
// The host's IPv4 interface addresses: others first, loopback last. False if none can be read.
bool hostIPv4Addresses(std::vector<std::string>& out);

}  // namespace vkst
