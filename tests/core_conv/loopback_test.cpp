// The conversation over real TCP on loopback, driven by the secure-server simulator.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include "harness.h"
#include "tools/secsim/secsim.h"

namespace vk::test {
namespace {

// The TCP component's operations over a BSD listening socket, as far as the conversation uses
// them; the test's poll loop stands in for the component's event dispatch.
class LoopbackSockets final : public SocketsPort {
public:
    LoopbackSockets() {
        listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        if (bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listenFd, 5) != 0) listenFd = -1;
    }
    ~LoopbackSockets() override {
        if (connFd >= 0) ::close(connFd);
        if (listenFd >= 0) ::close(listenFd);
    }
    int port() const {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        getsockname(listenFd, reinterpret_cast<sockaddr*>(&a), &len);
        return ntohs(a.sin_port);
    }
    int SAccept() override {
        connFd = ::accept(listenFd, nullptr, nullptr);
        if (connFd >= 0) {
            fcntl(connFd, F_SETFL, fcntl(connFd, F_GETFL) | O_NONBLOCK);
            int one = 1;
            setsockopt(connFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
        return connFd;
    }
    void SClose() override {
        if (connFd < 0) return;
        linger l{1, 0};  // abortive, as the component closes
        setsockopt(connFd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        ::close(connFd);
        connFd = -1;
    }
    std::string GetText() override {
        if (connFd < 0) return {};
        char buf[8192 + 1];
        ssize_t n = ::recv(connFd, buf, 8192, 0);
        if (n <= 0) return {};
        std::string s(buf, static_cast<size_t>(n));
        return s.substr(0, s.find('\0'));
    }
    void SetText(const std::string& text) override {
        if (connFd >= 0 && ::send(connFd, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size()))
            failed = true;
    }
    bool SocketDead() override { return failed || connFd < 0; }
    std::string GetLocalPort(int fd) override {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        return std::to_string(ntohs(a.sin_port));
    }
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
        getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len);
        return std::to_string(ntohs(a.sin_port));
    }
    void SetPort(const std::string&) override {}

    int listenFd = -1;
    int connFd = -1;
    bool failed = false;
};

struct LoopbackRun {
    secsim::Report report;
    std::string simulatorOutput;
};

// Runs the client's handlers on this thread and the simulator on another until both are done.
LoopbackRun Converse(Harness& h, LoopbackSockets& sockets, secsim::Options o) {
    o.port = sockets.port();
    LoopbackRun run;
    std::ostringstream out;
    std::atomic<bool> done{false};
    std::thread sim([&] {
        run.report = secsim::Run(o, out);
        done = true;
    });
    Conversation& c = *h.conv;
    bool hadConnection = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd fds[2] = {{sockets.listenFd, POLLIN, 0}, {sockets.connFd, POLLIN, 0}};
        if (::poll(fds, sockets.connFd >= 0 ? 2 : 1, 50) < 0) break;
        if (fds[0].revents & POLLIN) {
            c.Sockets1SessionAvailable(sockets.listenFd);
            hadConnection = true;
        }
        if (sockets.connFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char b;
            ssize_t n = ::recv(sockets.connFd, &b, 1, MSG_PEEK);
            if (n == 0 || (n < 0 && errno != EAGAIN)) {
                c.Sockets1SessionClosed(sockets.connFd);
                sockets.SClose();
            } else if (n > 0) {
                c.Sockets1DataAvailable(sockets.connFd);
            }
        }
        h.runner.DeliverReports();
        if (hadConnection && sockets.connFd < 0 && done) break;
    }
    sim.join();
    run.simulatorOutput = out.str();
    return run;
}

class Loopback : public ::testing::Test {
protected:
    void SetUp() override {
        g.file("data\\fmparam3.dat", "FMPARAM3 of the Camel, flight model data 0123456789");
        g.file("data\\acspecs1.dat", "ACSPECS1 data").file("data\\fmparam9z.dat", "");
        ASSERT_GE(sockets.listenFd, 0);
    }
    GameFolder g;
    Harness h{g.path()};
    LoopbackSockets sockets;
    SteadyClock clock;

    void wireRealSockets() {
        h.conv = std::make_unique<Conversation>(
            h.state, ConversationWindows{h.main, h.errors, h.serverInfo, h.selfTest, h.getUrl, h.blocked},
            ConversationPorts{sockets, h.runner, h.connection, clock, h.dialogs, h.shell, h.priority, h.processes});
        h.conv->random = [](uint32_t n) { return n - 1; };
    }
};

TEST_F(Loopback, SimulatorFindsEveryAnswerRightAndTheClientFlies) {
    wireRealSockets();
    h.state.foregroundChecks = false;  // the background path with its 3.5 s wait
    secsim::Options o = secsim::DefaultOptions();
    o.gameFolder = g.path();
    o.script = "@time\nver?\nid?vkid.txt|data\\fmparam3.dat\nid?vkid.txt|data\\fmparam3.dat\n"
               "check=plyr-cfg.txt=data\\|-fmparam*?.dat|acspecs?.dat|\nsnd?\ncrc?\n"
               "ecrc?data\\fmparam3.dat\necrc?data\\missing.dat\nfmparm?data\\fmparam3.dat\nfmparm?nothere.dat\n"
               "ok?\n@wait 1500\n@time\n@verdict\nsrvinf:EOT:\n";
    LoopbackRun run = Converse(h, sockets, o);
    EXPECT_TRUE(run.report.connected);
    EXPECT_EQ(run.report.mismatches, 0) << run.simulatorOutput;
    EXPECT_EQ(run.report.answersChecked, 9) << run.simulatorOutput;
    EXPECT_TRUE(h.state.verdict);
    EXPECT_EQ(h.main.cfgstatus.caption, "Go Fly Now.... Salute!");
    EXPECT_EQ(h.main.URIP.caption.rfind("Your Internet IP : 127.0.0.1:", 0), 0u);
}

TEST_F(Loopback, DefaultConversationWithAShortGap) {
    wireRealSockets();
    secsim::Options o = secsim::DefaultOptions();
    o.gapMs = 1000;
    LoopbackRun run = Converse(h, sockets, o);
    EXPECT_EQ(run.report.mismatches, 0) << run.simulatorOutput;
    EXPECT_EQ(h.main.cfgstatus.caption, "Go Fly Now.... Salute!");
}

TEST_F(Loopback, WrongKeyIsAMismatchAndGroundsThePlayer) {
    wireRealSockets();
    secsim::Options o = secsim::DefaultOptions();
    o.key[0] ^= 0xFF;
    o.script = "ecrc?data\\fmparam3.dat\n@verdict\nsrvinf:EOT:\n";
    LoopbackRun run = Converse(h, sockets, o);
    EXPECT_EQ(run.report.mismatches, 1) << run.simulatorOutput;
    EXPECT_NE(run.simulatorOutput.find("MISMATCH  ecrc?: deciphers to"), std::string::npos) << run.simulatorOutput;
    EXPECT_FALSE(h.state.verdict);
    EXPECT_EQ(h.main.cfgstatus.caption, "Grounded, do NOT fly!!!");
}

TEST_F(Loopback, FastServerClockRaisesTheAlarm) {
    wireRealSockets();
    secsim::Options o = secsim::DefaultOptions();
    o.script = "@time\n@time +5000\n@alarm\n";
    LoopbackRun run = Converse(h, sockets, o);
    EXPECT_EQ(run.report.mismatches, 0) << run.simulatorOutput;
    EXPECT_NE(run.simulatorOutput.find("speed alarm Ok:"), std::string::npos) << run.simulatorOutput;
    // The alarm stops listening; the server's close that follows closes the session.
    EXPECT_EQ(h.connection.calls, (std::vector<std::string>{"SetKickPort " + std::to_string(1024 + 9998), "ListenClick",
                                                            "CancelListenClick", "CloseClick"}));
}

}  // namespace
}  // namespace vk::test
