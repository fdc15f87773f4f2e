#include "client/servers/address_text.h"

namespace vk {

namespace {

// Digits only, at most 5 of them; -1 otherwise.
long SmallNumber(std::string_view s) {
    if (s.empty() || s.size() > 5) return -1;
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

}  // namespace

bool IsDottedIPv4(std::string_view text) {
    int parts = 0;
    size_t start = 0;
    while (true) {
        const size_t dot = text.find('.', start);
        const std::string_view part = text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        // No leading zeros: the socket layer would not read such a part as decimal.
        if (part.size() > 3 || (part.size() > 1 && part[0] == '0')) return false;
        const long v = SmallNumber(part);
        if (v < 0 || v > 255) return false;
        ++parts;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return parts == 4;
}

int ParsePortText(std::string_view text) {
    const long v = SmallNumber(text);
    return v >= 1 && v <= 65535 ? static_cast<int>(v) : 0;
}

bool IsPrivateAddress(std::string_view text) {
    if (text.rfind("192.168.", 0) == 0 || text.rfind("10.", 0) == 0) return true;
    if (text.rfind("172.", 0) != 0) return false;
    const size_t dot = text.find('.', 4);
    if (dot == std::string_view::npos) return false;
    const long second = SmallNumber(text.substr(4, dot - 4));
    return second >= 16 && second <= 31;
}

}  // namespace vk
