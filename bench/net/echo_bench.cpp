// Round trips of a 64-byte request over loopback: a listener that echoes what it reads,
// once written with raw non-blocking sockets and poll() (the baseline), once with TSockets
// on the PollReactor (its events, re-enabling and error table on the way). Prints one line.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "client/net/sockets.h"
#include "platform/poll_reactor.h"

namespace {

constexpr int kRounds = 20000;
constexpr size_t kSize = 64;

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

uint16_t PortOf(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

int Client(uint16_t port) {
    int c = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(port);
    if (connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) std::exit(1);
    int on = 1;
    setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return c;
}

void WaitIn(int fd) {
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 5000);
}

// Reads exactly kSize bytes from the client side.
void ReadReply(int fd, char* buf) {
    size_t got = 0;
    while (got < kSize) {
        WaitIn(fd);
        ssize_t n = recv(fd, buf + got, kSize - got, 0);
        if (n <= 0) std::exit(1);
        got += static_cast<size_t>(n);
    }
}

double RawRoundTrip() {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener, 5);
    int client = Client(PortOf(listener));
    int server = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
    int on = 1;
    setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    char msg[kSize], buf[kSize + 1];
    std::fill(msg, msg + kSize, 'q');
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i) {
        send(client, msg, kSize, 0);
        size_t got = 0;
        while (got < kSize) {
            WaitIn(server);
            ssize_t n = recv(server, buf, kSize, 0);
            if (n > 0) {
                send(server, buf, static_cast<size_t>(n), MSG_NOSIGNAL);
                got += static_cast<size_t>(n);
            }
        }
        ReadReply(client, buf);
    }
    double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    close(server);
    close(client);
    close(listener);
    return us / kRounds;
}

double SocketsRoundTrip() {
    vk::PollReactor reactor;
    vk::TSockets sockets(reactor);
    sockets.MaximumReceiveLength = 8192;
    sockets.Port = std::to_string(0);  // any free port
    sockets.SListen();
    sockets.OnSessionAvailable = [](vk::TSockets& s, int) { s.SAccept(); };
    sockets.OnDataAvailable = [](vk::TSockets& s, int) { s.SetText(s.Text()); };
    int client = Client(static_cast<uint16_t>(std::stoi(sockets.GetLocalPort(sockets.FListenSocket))));
    reactor.runUntil([&] { return sockets.FSocket >= 0; }, 5000);
    char msg[kSize], buf[kSize];
    std::fill(msg, msg + kSize, 'q');
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRounds; ++i) {
        send(client, msg, kSize, 0);
        reactor.runUntil([&] {
            pollfd p{client, POLLIN, 0};
            return poll(&p, 1, 0) > 0;
        }, 5000);
        ReadReply(client, buf);
    }
    double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    if (sockets.ErrorOccurred) std::fprintf(stderr, "net_echo_bench: socket errors during the run\n");
    close(client);
    sockets.SClose();
    sockets.CancelListen();
    return us / kRounds;
}

}  // namespace

int main() {
    RawRoundTrip();  // warm-up
    double raw = RawRoundTrip();
    double ours = SocketsRoundTrip();
    std::printf("net_echo_bench: %d round trips of %zu bytes over loopback: raw poll %.2f us, "
                "TSockets+PollReactor %.2f us, ratio %.2f\n",
                kRounds, kSize, raw, ours, ours / raw);
    return 0;
}
