#pragma once
// Host routes that throw a player out: added through a dead gateway (or as a blackhole) and
// deleted again. The commands are run without a shell, and the caller waits for each.
#include <string>
#include <vector>

namespace vk {

class RouteRunner {
public:
    virtual ~RouteRunner() = default;
    // A host route for `ip` through `gateway`; an empty gateway makes a blackhole route.
    // Both return false when the route tool reported a failure.
    virtual bool add(const std::string& ip, const std::string& gateway) = 0;
    virtual bool del(const std::string& ip) = 0;
};

// `ip route replace A/32 via G` (or `blackhole A/32`) and `ip route del A/32`.
class IpRouteRunner final : public RouteRunner {
public:
    bool add(const std::string& ip, const std::string& gateway) override;
    bool del(const std::string& ip) override;
    // The argument vectors, for whoever wants to show or check them.
    static std::vector<std::string> addArgs(const std::string& ip, const std::string& gateway);
    static std::vector<std::string> delArgs(const std::string& ip);
};

// Test double: records "add IP GW" / "del IP"; failAdd / failDel make the tool fail.
class RecordedRoutes final : public RouteRunner {
public:
    bool add(const std::string& ip, const std::string& gateway) override {
        calls.push_back("add " + ip + " " + gateway);
        return !failAdd;
    }
    bool del(const std::string& ip) override {
        calls.push_back("del " + ip);
        return !failDel;
    }
    std::vector<std::string> calls;
    bool failAdd = false;
    bool failDel = false;
};

// True for dotted-decimal IPv4 text: four numbers 0-255, no leading sign or space.
bool isDottedIPv4(const std::string& text);

}  // namespace vk
