#include "platform/routes.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>

#include "platform/spawn.h"

namespace vk {

namespace {

// The route tool from the system's own folders, never from PATH: the monitor may hold network
// capabilities that a program found through someone's PATH must not get.
const std::string& ipTool() {
    static const std::string path = [] {
        for (const char* p : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"})
            if (access(p, X_OK) == 0) return std::string(p);
        return std::string("/usr/sbin/ip");
    }();
    return path;
}

// A monitor given CAP_NET_ADMIN as a file capability (instead of running as root) passes it on to
// the route tool as an ambient capability; without it in the permitted set nothing changes.
void shareNetAdmin() {
    static const bool done = [] {
        __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        if (syscall(SYS_capget, &head, data) != 0) return true;
        const uint32_t bit = 1u << (CAP_NET_ADMIN % 32);
        __user_cap_data_struct& d = data[CAP_NET_ADMIN / 32];
        if (!(d.permitted & bit)) return true;
        d.inheritable |= bit;
        if (syscall(SYS_capset, &head, data) == 0) prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_NET_ADMIN, 0, 0);
        return true;
    }();
    (void)done;
}

}  // namespace

std::vector<std::string> IpRouteRunner::addArgs(const std::string& ip, const std::string& gateway) {
    if (gateway.empty()) return {ipTool(), "route", "replace", "blackhole", ip + "/32"};
    return {ipTool(), "route", "replace", ip + "/32", "via", gateway};
}

std::vector<std::string> IpRouteRunner::delArgs(const std::string& ip) {
    return {ipTool(), "route", "del", ip + "/32"};
}

// The outcome is not examined: a block is reported whether or not the route could be set.
bool IpRouteRunner::add(const std::string& ip, const std::string& gateway) {
    shareNetAdmin();
    return runProgram(addArgs(ip, gateway)) == 0;
}

bool IpRouteRunner::del(const std::string& ip) {
    shareNetAdmin();
    return runProgram(delArgs(ip)) == 0;
}

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
