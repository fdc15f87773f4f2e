#pragma once
// The client's clock check against the secure server's clock ("speed" check). The server sends
// its millisecond clock in repeated time: requests; the client compares the server's steps with
// its own tick count and raises an alarm when its clock runs out of step.
#include <cstdint>
#include <string>
#include <string_view>

namespace vk {

struct ClockCheck {
    std::string serverAddress;  // the server of the previous time: request
    int32_t serverTime = 0;
    int32_t prevServerTime = 0;
    int32_t localTime = 0;
    int32_t prevLocalTime = 0;
    int32_t deviation = 0;
    int32_t strikes = 0;
};

struct ClockResult {
    bool alarm = false;
    long long percentage = 0;  // deviation in percent of the server's step, rounded half to even
};

// One time: request from currentAddress, received at the given tick; valueText is the request's
// text after its first ':'. Updates the check's values (32-bit arithmetic that wraps like the
// tick count). Throws std::domain_error when the server's step is -1 ms (a zero span), leaving
// the values as they stood at that point, as the division by zero always did.
ClockResult ClockCheckStep(ClockCheck& c, const std::string& currentAddress, uint32_t tick,
                           std::string_view valueText);

// A decimal integer that fits 32 bits, with an optional sign and nothing else.
bool ParseInt32(std::string_view text, int32_t& out);

}  // namespace vk
