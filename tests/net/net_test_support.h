#pragma once
// Loopback helpers for the socket tests: plain BSD peers on 127.0.0.1 and a resolver that
// answers from a table, so that no test asks a name server.
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "client/net/resolver.h"
#include "platform/reactor.h"
#include "client/net/winsock_errors.h"

namespace vk::test {

inline uint32_t Loopback() { return htonl(INADDR_LOOPBACK); }

inline sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = Loopback();
    return a;
}

inline uint16_t LocalPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// A descriptor closed when the test ends.
struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& o) noexcept : fd(o.fd) { o.fd = -1; }
    Fd& operator=(Fd&& o) noexcept {
        if (this != &o) {
            if (fd >= 0) close(fd);
            fd = o.fd;
            o.fd = -1;
        }
        return *this;
    }
    ~Fd() {
        if (fd >= 0) close(fd);
    }
    operator int() const { return fd; }
};

// A socket bound to 127.0.0.1 (port 0: any free one); listening when backlog >= 0.
inline Fd BoundSocket(int type, uint16_t port = 0, int backlog = -1) {
    Fd s(socket(AF_INET, type | SOCK_CLOEXEC, 0));
    sockaddr_in a = LoopbackAddress(port);
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) return Fd();
    if (backlog >= 0 && listen(s, backlog) < 0) return Fd();
    return s;
}

// A blocking TCP client connected to 127.0.0.1:port (-1 on failure).
inline Fd ConnectTo(uint16_t port) {
    Fd s(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a = LoopbackAddress(port);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) return Fd();
    return s;
}

// The accepted end of a connection whose peer sent `data` and then reset it while the
// connection still waited in the listener's queue (-1 on failure).
inline Fd AcceptedAfterReset(const std::string& data) {
    Fd listener = BoundSocket(SOCK_STREAM, 0, 5);
    Fd client = ConnectTo(LocalPort(listener));
    if (send(client, data.data(), data.size(), 0) != static_cast<ssize_t>(data.size())) return Fd();
    linger abortive{1, 0};
    setsockopt(client, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    client = Fd();
    return Fd(accept(listener, nullptr, nullptr));
}

// Waits at most ms for the descriptor to become readable.
inline bool WaitReadable(int fd, int ms = 3000) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) > 0;
}

// Uses up every free descriptor, for the failures of socket creation. Only in a child process
// (a death test), after lowering RLIMIT_NOFILE.
inline void ExhaustDescriptors() {
    int base = ::open("/dev/null", O_RDONLY);
    if (base < 0) return;  // none left already
    while (::dup(base) >= 0) {
    }
}

class FakeResolver final : public NameResolver {
public:
    bool hostByName(const std::string& name, uint32_t& address, int& error) override {
        ++lookups;
        auto it = names.find(name);
        if (it == names.end()) {
            error = WSAHOST_NOT_FOUND;
            return false;
        }
        address = it->second;
        return true;
    }
    bool hostByAddr(uint32_t address, std::string& name, int& error) override {
        ++lookups;
        auto it = addresses.find(address);
        if (it == addresses.end()) {
            error = WSAHOST_NOT_FOUND;
            return false;
        }
        name = it->second;
        return true;
    }
    std::string hostName() override { return host; }
    std::vector<uint32_t> interfaceAddresses() override { return interfaces; }

    std::vector<uint32_t> interfaces;  // none unless a test sets them
    std::map<std::string, uint32_t> names{{"localhost", Loopback()}};
    std::map<uint32_t, std::string> addresses{{Loopback(), "localhost"}};
    std::string host = "localhost";
    int lookups = 0;
};

// A connected loopback pair: `client` made with connect(), `server` from accept().
struct TcpPair {
    Fd listener = BoundSocket(SOCK_STREAM, 0, 5);
    Fd client = ConnectTo(LocalPort(listener));
    Fd server{accept(listener, nullptr, nullptr)};
};

// The notifications a reactor delivered, in order.
struct Note {
    int socket;
    unsigned event;
    int error;
};

struct NoteRecorder {
    Reactor::SocketHandler Recorder() {
        return [this](int s, unsigned e, int err) { notes.push_back({s, e, err}); };
    }
    size_t Count(unsigned event) const {
        size_t n = 0;
        for (const Note& note : notes) n += note.event == event;
        return n;
    }
    std::vector<Note> notes;
};

}  // namespace vk::test
