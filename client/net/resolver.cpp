#include "client/net/resolver.h"

#include <arpa/inet.h>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "client/net/winsock_errors.h"

namespace vk {

namespace {

class SystemResolver final : public NameResolver {
public:
    bool hostByName(const std::string& name, uint32_t& address, int& error) override {
        if (name.empty() || name.find('\0') != std::string::npos) {
            error = WSAHOST_NOT_FOUND;
            return false;
        }
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        int rc = getaddrinfo(name.c_str(), nullptr, &hints, &found);
        if (rc != 0 || found == nullptr) {
            error = rc != 0 ? WinsockResolverError(rc) : WSANO_DATA;
            return false;
        }
        address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
        freeaddrinfo(found);
        return true;
    }

    bool hostByAddr(uint32_t address, std::string& name, int& error) override {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = address;
        char host[NI_MAXHOST];
        int rc = getnameinfo(reinterpret_cast<const sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0,
                             NI_NAMEREQD);
        if (rc != 0) {
            error = WinsockResolverError(rc);
            return false;
        }
        name = host;
        return true;
    }

    std::string hostName() override {
        char buf[128] = {};
        if (gethostname(buf, sizeof buf - 1) != 0) return {};
        return buf;
    }

    std::vector<uint32_t> interfaceAddresses() override {
        std::vector<uint32_t> found;
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) != 0) return found;
        for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
            if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
            found.push_back(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
        }
        freeifaddrs(list);
        return found;
    }
};

}  // namespace

NameResolver& NameResolver::system() {
    static SystemResolver resolver;
    return resolver;
}

}  // namespace vk
