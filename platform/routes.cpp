#include "platform/routes.h"

#include "platform/spawn.h"

namespace vk {

std::vector<std::string> IpRouteRunner::addArgs(const std::string& ip, const std::string& gateway) {
    if (gateway.empty()) return {"ip", "route", "replace", "blackhole", ip + "/32"};
    return {"ip", "route", "replace", ip + "/32", "via", gateway};
}

std::vector<std::string> IpRouteRunner::delArgs(const std::string& ip) {
    return {"ip", "route", "del", ip + "/32"};
}

// The outcome is not examined: a block is reported whether or not the route could be set.
void IpRouteRunner::add(const std::string& ip, const std::string& gateway) {
    runProgram(addArgs(ip, gateway));
}

void IpRouteRunner::del(const std::string& ip) { runProgram(delArgs(ip)); }

bool isDottedIPv4(const std::string& text) {
    int parts = 0;
    size_t i = 0;
    while (true) {
        size_t start = i;
        int value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3) {
            value = value * 10 + (text[i] - '0');
            ++i;
        }
        // Leading zeros are refused: some parsers read them as octal.
        if (i == start || value > 255 || (i - start > 1 && text[start] == '0')) return false;
        ++parts;
        if (parts == 4) return i == text.size();
        if (i >= text.size() || text[i] != '.') return false;
        ++i;
    }
}

}  // namespace vk
