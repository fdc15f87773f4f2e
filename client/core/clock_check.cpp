#include "client/core/clock_check.h"

#include <cmath>
#include <stdexcept>

namespace vk {

namespace {

// 32-bit signed arithmetic that wraps instead of overflowing.
int32_t Sub(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }
int32_t Abs(int32_t a) { return a < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(a)) : a; }

// Nearest integer, halves to the even neighbour (without touching the rounding mode).
long long RoundHalfEven(long double x) {
    const long double f = std::floor(x);
    const long double diff = x - f;
    long long n = static_cast<long long>(f);
    if (diff > 0.5L || (diff == 0.5L && (n % 2 != 0))) ++n;
    return n;
}

}  // namespace

bool ParseInt32(std::string_view text, int32_t& out) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return false;
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        char ch = text[i];
        if (ch < '0' || ch > '9') return false;
        v = v * 10 + (ch - '0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    out = static_cast<int32_t>(v);
    return true;
}

ClockResult ClockCheckStep(ClockCheck& c, const std::string& currentAddress, uint32_t tick,
                           std::string_view valueText) {
    const bool newServer = currentAddress != c.serverAddress;
    if (newServer) {
        c.serverTime = c.prevServerTime = c.localTime = c.prevLocalTime = 0;
    }
    c.localTime = static_cast<int32_t>(tick);
    int32_t value = 0;
    c.serverTime = ParseInt32(valueText, value) ? value : c.localTime;
    if (newServer) {
        // The first request from a server only stores the clocks.
        c.prevServerTime = c.serverTime;
        c.prevLocalTime = c.localTime;
    }
    const int32_t serverStep = Sub(c.serverTime, c.prevServerTime);
    c.deviation = Abs(Sub(Abs(Sub(c.localTime, c.prevLocalTime)), Abs(serverStep)));
    const int32_t span = static_cast<int32_t>(static_cast<uint32_t>(serverStep) + 1u);
    if (span == 0) throw std::domain_error("clock check: zero span");

    // Extended precision, as the comparison and the rounding were always made.
    const long double ratio = static_cast<long double>(c.deviation) / static_cast<long double>(span);
    if (ratio * 99.0L > 0.989764L) {
        c.strikes += 1;
    } else {
        c.strikes = 0;
    }
    ClockResult r;
    r.percentage = RoundHalfEven(ratio * 100.0L);
    r.alarm = !newServer && (c.strikes > 2 || r.percentage > 5);

    c.prevServerTime = c.serverTime;
    c.prevLocalTime = c.localTime;
    c.serverAddress = currentAddress;
    return r;
}

}  // namespace vk
