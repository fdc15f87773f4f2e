#pragma once
// Host-name lookups of the socket components, behind a small interface so that tests can
// answer them without asking any name server.
#include <cstdint>
#include <string>
#include <vector>

namespace vk {

class NameResolver {
public:
    virtual ~NameResolver() = default;
    // The first IPv4 address of a host name, in network order. On failure returns false with a
    // Winsock number (11001 "Host not found" ...) in error.
    virtual bool hostByName(const std::string& name, uint32_t& address, int& error) = 0;
    // The host name of an IPv4 address given in network order.
    virtual bool hostByAddr(uint32_t address, std::string& name, int& error) = 0;
    // This computer's host name (empty when it cannot be read).
    virtual std::string hostName() = 0;
    // This computer's IPv4 addresses (network order) on interfaces that are up, loopback
    // included, in the system's order. None by default.
    virtual std::vector<uint32_t> interfaceAddresses() { return {}; }

    // The system's resolver (getaddrinfo, getnameinfo, gethostname).
    static NameResolver& system();
};

}  // namespace vk
