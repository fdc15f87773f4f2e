#pragma once
// A stand-in for the TCP component over one BSD listening socket, with a poll loop that raises
// the component's events on the calling thread. The conversation peer tool and the loopback
// tests use it until the application's own TSockets is wired in.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>

#include "client/core/conversation.h"

namespace vk::peer {

class PeerSockets final : public SocketsPort {
public:
    // Listens on address:port (port 0 = any free port).
    PeerSockets(const std::string& address, int port) {
        listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        if (inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1 ||
            bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listenFd, 5) != 0) {
            ::close(listenFd);
            listenFd = -1;
        }
    }
    ~PeerSockets() override {
        if (connFd >= 0) ::close(connFd);
        if (listenFd >= 0) ::close(listenFd);
    }
    PeerSockets(const PeerSockets&) = delete;
    PeerSockets& operator=(const PeerSockets&) = delete;

    int port() const { return listenFd < 0 ? 0 : std::stoi(GetLocalPortOf(listenFd)); }

    int SAccept() override {
        if (connFd >= 0) ::close(connFd);
        connFd = ::accept(listenFd, nullptr, nullptr);
        if (connFd >= 0) {
            fcntl(connFd, F_SETFL, fcntl(connFd, F_GETFL) | O_NONBLOCK);
            int one = 1;
            setsockopt(connFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
        return connFd;
    }
    // One connection at a time: calls for any other socket find nothing open.
    void SClose(int socket) override {
        if (socket == connFd) SClose();
    }
    void SClose() {
        if (connFd < 0) return;
        linger l{1, 0};  // abortive, as the component closes
        setsockopt(connFd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(connFd);
        connFd = -1;
    }
    std::string GetText(int socket) override {
        if (connFd < 0 || socket != connFd) return {};
        char buf[8192];
        ssize_t n = ::recv(connFd, buf, sizeof buf, 0);
        if (n <= 0) return {};
        std::string s(buf, static_cast<size_t>(n));
        return s.substr(0, s.find('\0'));
    }
    void SetText(int socket, const std::string& text) override {
        if (connFd < 0 || socket != connFd ||
            ::send(connFd, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size()))
            failed = true;
    }
    bool SocketDead(int socket) override { return connFd < 0 || socket != connFd; }
    std::string GetLocalPort(int fd) override { return GetLocalPortOf(fd); }
    std::string GetPeerIPAddr(int fd) override {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return "0.0.0.0";
        char ip[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &a.sin_addr, ip, sizeof ip);
        return ip;
    }
    std::string GetPeerPort(int fd) override {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return "0";
        return std::to_string(ntohs(a.sin_port));
    }
    void SetPort(const std::string& p) override { portText = p; }

    int listenFd = -1;
    int connFd = -1;
    bool failed = false;
    std::string portText;

private:
    static std::string GetLocalPortOf(int fd) {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return "0";
        return std::to_string(ntohs(a.sin_port));
    }
};

// Raises the events of one conversation on this thread until it has ended (the client closed
// it or the server went away) and done() holds, or the time is up. afterEvent runs after each
// event, as the main thread serves its other messages between events. False on the time-out.
inline bool ServeConversation(Conversation& c, PeerSockets& s, const std::function<void()>& afterEvent,
                              const std::function<bool()>& done, std::chrono::milliseconds limit) {
    bool hadConnection = false;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd fds[2] = {{s.listenFd, POLLIN, 0}, {s.connFd, POLLIN, 0}};
        if (::poll(fds, s.connFd >= 0 ? 2 : 1, 50) < 0 && errno != EINTR) return false;
        if (fds[0].revents & POLLIN) {
            c.Sockets1SessionAvailable(s.listenFd);
            hadConnection = true;
        }
        if (s.connFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char b;
            ssize_t n = ::recv(s.connFd, &b, 1, MSG_PEEK);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
                const int fd = s.connFd;
                s.SClose();
                c.Sockets1SessionClosed(fd);
            } else if (n > 0) {
                c.Sockets1DataAvailable(s.connFd);
            }
        }
        c.CloseStaleConnections();
        if (afterEvent) afterEvent();
        if (hadConnection && s.connFd < 0 && (!done || done())) return true;
    }
    return false;
}

}  // namespace vk::peer
