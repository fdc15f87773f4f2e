#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <netdb.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "client/net/sockets.h"
#include "net_test_support.h"
#include "platform/poll_reactor.h"

namespace vk {
namespace {

using test::Fd;

struct Event {
    std::string name;  // "data", "needed", "closed", "available", "connected" or "error"
    int socket;
    int error = 0;
    std::string msg;
    bool errorOccurredBefore = false;  // ErrorOccurred as the handler saw it
};

class SocketsTest : public ::testing::Test {
protected:
    SocketsTest() {
        Record(sock);
    }
    void Record(TSockets& s) {
        auto note = [this](const char* name) {
            return [this, name](TSockets& sender, int socket) {
                events.push_back({name, socket, 0, "", sender.ErrorOccurred});
                if (onEvent) onEvent(name, socket);
            };
        };
        s.OnDataAvailable = note("data");
        s.OnDataNeeded = note("needed");
        s.OnSessionClosed = note("closed");
        s.OnSessionAvailable = note("available");
        s.OnSessionConnected = note("connected");
        s.OnErrorOccurred = [this](TSockets& sender, int socket, int error, const std::string& msg) {
            events.push_back({"error", socket, error, msg, sender.ErrorOccurred});
        };
        s.OnDebugTrace = [this](const std::string& line) { trace.push_back(line); };
    }
    size_t Count(const std::string& name) const {
        size_t n = 0;
        for (const Event& e : events) n += e.name == name;
        return n;
    }
    const Event* Last(const std::string& name) const {
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            if (it->name == name) return &*it;
        return nullptr;
    }
    bool WaitFor(const std::string& name, size_t times = 1) {
        return reactor.runUntil([&] { return Count(name) >= times; }, 3000);
    }
    void Settle() { reactor.runUntil([] { return false; }, 100); }

    // A listening TSockets on a free port; returns the port.
    uint16_t Listen(TSockets& s) {
        s.Port = "0";
        s.SListen();
        return static_cast<uint16_t>(std::stoi(s.GetLocalPort(s.FListenSocket)));
    }

    PollReactor reactor;
    test::FakeResolver resolver;
    TSockets sock{reactor, resolver};
    std::vector<Event> events;
    std::vector<std::string> trace;
    std::function<void(const std::string&, int)> onEvent;
};

TEST_F(SocketsTest, StartsWithTheDefaults) {
    EXPECT_EQ(sock.MaximumReceiveLength, 16384);
    EXPECT_TRUE(sock.NonBlocking);
    EXPECT_EQ(sock.Timeout, 30);
    EXPECT_EQ(sock.FSocket, -1);
    EXPECT_EQ(sock.FListenSocket, -1);
    EXPECT_FALSE(sock.ErrorOccurred);
    EXPECT_TRUE(sock.SocketDead());
}

// --- SConnect: addresses and ports ---------------------------------------------------------

TEST_F(SocketsTest, ConnectWithoutAddressOrPortDoesNothing) {
    const struct {
        const char* ip;
        const char* port;
    } cases[] = {{"", "6001"}, {"127.0.0.1", ""}, {"", ""}};
    for (const auto& c : cases) {
        sock.IPAddr = c.ip;
        sock.Port = c.port;
        sock.SConnect();
        Settle();
        EXPECT_EQ(sock.FSocket, -1) << c.ip << ":" << c.port;
    }
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(sock.ErrorOccurred);
}

TEST_F(SocketsTest, PortTextIsAServiceNameOrADecimalNumber) {
    const struct {
        const char* text;
        int port;  // -1: not a port
    } cases[] = {
        {"6001", 6001}, {"0", 0},      {"65535", 65535}, {"http", 80},  {"x11-1", 6001},
        {"65536", -1},  {"70000", -1}, {"-1", -1},       {"+80", -1},   {"$1F", -1},
        {" 80", -1},    {"80 ", -1},   {"no-such-service-here", -1}, {"", -1},
    };
    for (const auto& c : cases) {
        if (c.port >= 0) {
            EXPECT_EQ(ntohs(TSockets::PortNumber(c.text)), c.port) << c.text;
        } else {
            EXPECT_THROW(TSockets::PortNumber(c.text), std::invalid_argument) << c.text;
        }
    }
}

TEST_F(SocketsTest, ConnectsToADecimalPortAndToAServiceName) {
    Fd listener = test::BoundSocket(SOCK_STREAM, 0, 5);
    sock.IPAddr = "127.0.0.1";
    sock.Port = std::to_string(test::LocalPort(listener));
    sock.SConnect();
    ASSERT_TRUE(WaitFor("connected"));
    EXPECT_EQ(Last("connected")->socket, sock.FSocket);
    EXPECT_FALSE(sock.SocketDead());

    // A service name: the first of a few rarely used ones whose port is free here.
    Fd serviceListener;
    std::string service;
    for (const char* name : {"x11-6", "x11-5", "x11-4", "x11-3"}) {
        servent* s = getservbyname(name, "tcp");
        if (s == nullptr) continue;
        serviceListener = test::BoundSocket(SOCK_STREAM, ntohs(static_cast<uint16_t>(s->s_port)), 5);
        if (serviceListener >= 0) {
            service = name;
            break;
        }
    }
    if (service.empty()) GTEST_SKIP() << "no free port of a known service";
    sock.Port = service;
    sock.SConnect();
    ASSERT_TRUE(WaitFor("connected", 2));
    EXPECT_EQ(sock.GetPeerPort(sock.FSocket), std::to_string(test::LocalPort(serviceListener)));
    EXPECT_EQ(Count("error"), 0u);
}

TEST_F(SocketsTest, APortTextThatIsNeitherGivesOneErrorAndNoSocket) {
    sock.IPAddr = "127.0.0.1";
    sock.Port = "not-a-port";
    sock.SConnect();
    Settle();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].name, "error");
    EXPECT_EQ(events[0].error, WSANO_DATA);
    EXPECT_EQ(events[0].msg, "No Data");
    EXPECT_TRUE(sock.ErrorOccurred);
    EXPECT_EQ(sock.FSocket, -1);
    EXPECT_EQ(trace.back(), "Sconnect Exception 11004");
}

TEST_F(SocketsTest, HostNamesAreResolvedAndAnUnknownOneEndsTheConnectQuietly) {
    Fd listener = test::BoundSocket(SOCK_STREAM, 0, 5);
    sock.Port = std::to_string(test::LocalPort(listener));
    sock.IPAddr = "nowhere.invalid";  // unknown to the test's resolver
    sock.SConnect();
    Settle();
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(sock.ErrorOccurred);
    EXPECT_EQ(sock.FSocket, -1);

    sock.IPAddr = "localhost";
    sock.SConnect();
    ASSERT_TRUE(WaitFor("connected"));
    EXPECT_EQ(sock.GetPeerIPAddr(sock.FSocket), "127.0.0.1");
}

// --- SConnect: non-blocking and blocking outcomes ------------------------------------------

TEST_F(SocketsTest, RefusedNonBlockingConnectGivesExactlyOneError) {
    Fd closedPort = test::BoundSocket(SOCK_STREAM);  // bound but not listening: refuses
    sock.IPAddr = "127.0.0.1";
    sock.Port = std::to_string(test::LocalPort(closedPort));
    sock.SConnect();
    ASSERT_TRUE(WaitFor("error"));
    Settle();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].error, 10061);
    EXPECT_EQ(events[0].msg, "Connection refused");
    EXPECT_EQ(events[0].socket, sock.FSocket);
    EXPECT_EQ(Count("connected"), 0u);
    EXPECT_EQ(trace.back(), "FD_CONNECT 10061");
}

TEST_F(SocketsTest, WithoutASocketTheLaterStepsStillReportTheirOwnFailures) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto child = [&] {
            sock.IPAddr = "127.0.0.1";
            sock.Port = "6001";
            rlimit few{64, 64};
            setrlimit(RLIMIT_NOFILE, &few);
            test::ExhaustDescriptors();
            sock.SConnect();
            reactor.processEvents(0);
            bool ok = events.size() == 2 && events[0].socket == -1 && events[0].error == 10024 &&
                      trace[0] == "SConnect (socket) 10024" && trace[1] == "WSAAsyncSelect 10038" &&
                      sock.FSocket == -1;
            std::exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

TEST_F(SocketsTest, BlockingConnectThatCannotCompleteTimesOut) {
    // A listener with a full backlog leaves further connects hanging.
    Fd listener = test::BoundSocket(SOCK_STREAM, 0, 0);
    uint16_t port = test::LocalPort(listener);
    std::vector<Fd> fillers;
    bool full = false;
    for (int i = 0; i < 16 && !full; ++i) {
        Fd c(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        sockaddr_in a = test::LoopbackAddress(port);
        connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
        pollfd p{c, POLLOUT, 0};
        full = poll(&p, 1, 300) == 0;
        fillers.push_back(std::move(c));
    }
    if (!full) GTEST_SKIP() << "this system completes every loopback connect";

    sock.NonBlocking = false;
    sock.Timeout = 1;
    sock.IPAddr = "127.0.0.1";
    sock.Port = std::to_string(port);
    sock.SConnect();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].name, "error");
    EXPECT_EQ(events[0].error, 10060);
    EXPECT_EQ(events[0].msg, "Blocking call timed out");
    EXPECT_FALSE(events[0].errorOccurredBefore) << "the time-out event itself is not an error report";
    EXPECT_EQ(events[1].error, WSAEINTR) << "the cancelled call reports its own failure";
    EXPECT_EQ(events[1].msg, "Interrupted system call");
    EXPECT_EQ(trace.back(), "SConnect 10004");
    EXPECT_TRUE(sock.ErrorOccurred);
}

TEST_F(SocketsTest, BlockingConnectSendAndReceive) {
    Fd listener = test::BoundSocket(SOCK_STREAM, 0, 5);
    sock.NonBlocking = false;
    sock.Timeout = 5;
    sock.IPAddr = "127.0.0.1";
    sock.Port = std::to_string(test::LocalPort(listener));
    sock.SConnect();
    ASSERT_FALSE(sock.SocketDead());
    Fd peer(accept(listener, nullptr, nullptr));

    sock.SetText("request");
    char buf[32] = {};
    ASSERT_TRUE(test::WaitReadable(peer));
    EXPECT_EQ(recv(peer, buf, sizeof buf, 0), 7);
    EXPECT_STREQ(buf, "request");

    send(peer, "reply", 5, 0);
    char in[255];
    EXPECT_EQ(sock.SReceive(sock.FSocket, in, sizeof in), 5);
    shutdown(peer, SHUT_WR);
    EXPECT_EQ(sock.SReceive(sock.FSocket, in, sizeof in), 0) << "0 when the peer closed";
    EXPECT_TRUE(events.empty());
}

TEST_F(SocketsTest, EveryBlockingCallIsGuardedByTheTimeout) {
    Fd listener = test::BoundSocket(SOCK_STREAM, 0, 5);
    const struct {
        const char* call;
        const char* step;
    } cases[] = {{"accept", "Accept 10004"}, {"receive", "GetText (Recv) 10004"}};
    for (const auto& c : cases) {
        TSockets s(reactor, resolver);
        events.clear();
        trace.clear();
        Record(s);
        s.NonBlocking = false;
        s.Timeout = 1;
        Fd peer;
        if (std::string(c.call) == "accept") {
            Listen(s);
            EXPECT_EQ(s.SAccept(), -1);  // nobody connects
        } else {
            s.IPAddr = "127.0.0.1";
            s.Port = std::to_string(test::LocalPort(listener));
            s.SConnect();
            peer = Fd(accept(listener, nullptr, nullptr));
            EXPECT_EQ(s.Text(), "");  // nothing is sent
        }
        ASSERT_EQ(events.size(), 2u) << c.call;
        EXPECT_EQ(events[0].msg, "Blocking call timed out");
        EXPECT_EQ(events[0].error, 10060);
        EXPECT_EQ(events[1].error, WSAEINTR);
        EXPECT_EQ(trace.back(), c.step);
    }
}

TEST_F(SocketsTest, ABlockingSendToASlowReaderEndsAfterTheTimeoutInAll) {
    // The peer takes a little now and then, so every part of the send makes progress; the
    // time-out still bounds the whole send.
    Fd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    int small = 4096;
    setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in a = test::LoopbackAddress(0);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(listener, 5), 0);
    sock.NonBlocking = false;
    sock.Timeout = 1;
    sock.IPAddr = "127.0.0.1";
    sock.Port = std::to_string(test::LocalPort(listener));
    sock.SConnect();
    ASSERT_FALSE(sock.SocketDead());
    setsockopt(sock.FSocket, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    Fd peer(accept(listener, nullptr, nullptr));
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        char buf[2048];
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
        while (!stop && std::chrono::steady_clock::now() < end) {
            recv(peer, buf, sizeof buf, MSG_DONTWAIT);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    auto start = std::chrono::steady_clock::now();
    sock.SetText(std::string(4 << 20, 'x'));
    auto took = std::chrono::steady_clock::now() - start;
    stop = true;
    reader.join();
    EXPECT_LT(took, std::chrono::milliseconds(2500));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].msg, "Blocking call timed out");
    EXPECT_EQ(trace.back(), "SetText (Send) 10004");
}

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr) ++n;
        closedir(d);
    }
    return n;
}

TEST_F(SocketsTest, RetriedConnectsDoNotLeakSockets) {
    Fd closedPort = test::BoundSocket(SOCK_STREAM);
    sock.NonBlocking = false;
    sock.IPAddr = "127.0.0.1";
    sock.Port = std::to_string(test::LocalPort(closedPort));
    sock.SConnect();
    int before = OpenDescriptors();
    for (int i = 0; i < 10; ++i) sock.SConnect();  // the meta browser retries like this
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_EQ(Count("error"), 11u);
}

// --- Listening and accepting ---------------------------------------------------------------

TEST_F(SocketsTest, ListenerAcceptsAndTheAcceptedSocketReportsDataAndClose) {
    uint16_t port = Listen(sock);
    ASSERT_GT(sock.FListenSocket, 0);
    int accepted = -1;
    onEvent = [&](const std::string& name, int) {
        if (name == "available") accepted = sock.SAccept();
    };
    Fd client = test::ConnectTo(port);
    ASSERT_TRUE(WaitFor("available"));
    EXPECT_EQ(Last("available")->socket, sock.FListenSocket);
    ASSERT_GE(accepted, 0);
    EXPECT_EQ(accepted, sock.FSocket);
    int nodelay = 0;
    socklen_t len = sizeof nodelay;
    getsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &nodelay, &len);
    EXPECT_NE(nodelay, 0);
    EXPECT_EQ(sock.GetPeerIPAddr(accepted), "127.0.0.1");
    EXPECT_EQ(sock.GetPeerPort(accepted), std::to_string(test::LocalPort(client)));

    send(client, "hello", 5, 0);
    ASSERT_TRUE(WaitFor("data"));
    EXPECT_EQ(Last("data")->socket, accepted);
    EXPECT_EQ(sock.Text(), "hello");
    client = Fd();
    ASSERT_TRUE(WaitFor("closed"));
    EXPECT_EQ(Last("closed")->socket, accepted);
    EXPECT_EQ(Count("error"), 0u);
}

// A second accept takes the connected handle and leaves the first connection open; a listener
// serving several connections reads, sends and closes the one it names, and the others, the
// connected handle and the listener stay as they were.
TEST_F(SocketsTest, ASecondAcceptOverwritesTheConnectedHandleAndEachConnectionIsAddressedByItsOwn) {
    uint16_t port = Listen(sock);
    onEvent = [&](const std::string& name, int) {
        if (name == "available") sock.SAccept();
    };
    Fd c1 = test::ConnectTo(port);
    ASSERT_TRUE(WaitFor("available"));
    const int first = sock.FSocket;
    Fd c2 = test::ConnectTo(port);
    ASSERT_TRUE(WaitFor("available", 2));
    const int second = sock.FSocket;
    EXPECT_NE(first, second);
    EXPECT_TRUE(sock.IsConnection(first) && sock.IsConnection(second));
    EXPECT_FALSE(sock.IsConnection(sock.FListenSocket));
    EXPECT_TRUE(sock.Listening());

    send(c1, "one", 3, 0);  // the first connection still works and reports with its handle
    ASSERT_TRUE(WaitFor("data"));
    EXPECT_EQ(Last("data")->socket, first);
    char buf[16] = {};
    EXPECT_EQ(sock.SReceive(first, buf, 8), 3);
    send(c1, "two", 3, 0);
    ASSERT_TRUE(WaitFor("data", 2));
    EXPECT_EQ(sock.GetText(first), "two");
    sock.SetText(first, "to one");
    ASSERT_TRUE(test::WaitReadable(c1));
    EXPECT_EQ(recv(c1, buf, sizeof buf, 0), 6);
    EXPECT_FALSE(test::WaitReadable(c2, 50));

    sock.SClose(first);
    EXPECT_FALSE(sock.IsConnection(first));
    EXPECT_EQ(sock.FSocket, second);
    ASSERT_TRUE(test::WaitReadable(c1));
    EXPECT_LT(recv(c1, buf, sizeof buf, 0), 0);  // the reset of an abortive close
    EXPECT_EQ(Count("error"), 0u);
    sock.SClose(first);  // closed once: the second time is reported and touches nothing
    sock.SClose(sock.FListenSocket);  // the listener is no connection
    EXPECT_EQ(Count("error"), 2u);
    EXPECT_EQ(Last("error")->error, 10038);
    EXPECT_TRUE(sock.Listening());
    EXPECT_GE(test::ConnectTo(port).fd, 0);
    sock.CancelListen();
    EXPECT_FALSE(sock.Listening());
}

// Out of descriptors, a waiting connection cannot be taken and the listener stays readable:
// the component rests kAcceptPauseMs before it tries again instead of spinning, and takes the
// connection once a descriptor is free.
TEST_F(SocketsTest, AcceptOutOfDescriptorsRestsInsteadOfSpinning) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto child = [&] {
        const uint16_t port = Listen(sock);
        int accepted = -1;
        onEvent = [&](const std::string& name, int) {
            if (name == "available") accepted = sock.SAccept();
        };
        Fd client(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        const int spare = ::open("/dev/null", O_RDONLY);
        rlimit few{64, 64};
        setrlimit(RLIMIT_NOFILE, &few);
        test::ExhaustDescriptors();
        sockaddr_in a = test::LoopbackAddress(port);
        bool ok = connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        reactor.runUntil([] { return false; }, 500);
        const size_t tries = Count("available");
        ok = ok && tries >= 1 && tries <= 500 / TSockets::kAcceptPauseMs + 1 && accepted == -1 &&
             Last("error")->error == 10024;
        ::close(spare);
        ok = ok && reactor.runUntil([&] { return accepted >= 0; }, 1000);
        std::exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

TEST_F(SocketsTest, CancelListenStopsListeningAndLeavesHandleZero) {
    uint16_t port = Listen(sock);
    sock.CancelListen();
    EXPECT_EQ(sock.FListenSocket, 0);
    EXPECT_LT(test::ConnectTo(port).fd, 0) << "nobody listens any more";
    EXPECT_TRUE(events.empty());

    int stdinFlags = fcntl(0, F_GETFD);
    sock.CancelListen();  // nothing to close: reported, and descriptor 0 is left alone
    EXPECT_EQ(fcntl(0, F_GETFD), stdinFlags);
    ASSERT_EQ(Count("error"), 1u);
    EXPECT_EQ(Last("error")->error, 10038);
}

TEST_F(SocketsTest, ListeningAgainClosesTheEarlierListener) {
    uint16_t first = Listen(sock);
    uint16_t second = Listen(sock);
    EXPECT_LT(test::ConnectTo(first).fd, 0) << "the old listener must not go on accepting";
    EXPECT_GE(test::ConnectTo(second).fd, 0);
}

// The listening handle 0 left by CancelListen is not a listener, even when descriptor 0 is this
// component's own connection (a program started with its standard input closed).
TEST_F(SocketsTest, AfterCancelListenDescriptorZeroAsTheConnectionIsLeftAlone) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Fd listener = test::BoundSocket(SOCK_STREAM, 0, 5);
    auto child = [&] {
        Listen(sock);
        sock.CancelListen();
        ::close(0);
        sock.IPAddr = "127.0.0.1";
        sock.Port = std::to_string(test::LocalPort(listener));
        sock.SConnect();  // takes descriptor 0
        reactor.runUntil([&] { return Count("connected") == 1; }, 3000);
        bool ok = sock.FSocket == 0 && Count("connected") == 1;
        sock.CancelListen();  // nothing to close
        ok = ok && fcntl(0, F_GETFD) >= 0;
        Listen(sock);  // there is no earlier listener to replace
        ok = ok && fcntl(0, F_GETFD) >= 0;
        std::exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
}

TEST_F(SocketsTest, ListenOnAPortInUseReportsBindAndListen) {
    Fd taken = test::BoundSocket(SOCK_STREAM, 0, 5);
    sock.Port = std::to_string(test::LocalPort(taken));
    sock.SListen();
    ASSERT_GE(Count("error"), 2u);
    EXPECT_EQ(events[0].error, 10048);
    EXPECT_EQ(events[1].error, 10022) << "an unbound socket is not put to listen on some other port";
    EXPECT_EQ(trace[0], "Bind 10048");
    EXPECT_EQ(trace[1], "Listen 10022");
}

TEST_F(SocketsTest, AcceptWithoutAWaitingConnectionReturnsMinusOne) {
    Listen(sock);
    EXPECT_EQ(sock.SAccept(), -1);
    EXPECT_EQ(sock.FSocket, -1);
    ASSERT_EQ(Count("error"), 1u);
    EXPECT_EQ(Last("error")->error, 10035);
}

// --- Closing, reading, SocketDead ----------------------------------------------------------

TEST_F(SocketsTest, SCloseMakesThePeerSeeAReset) {
    uint16_t port = Listen(sock);
    onEvent = [&](const std::string& name, int) {
        if (name == "available") sock.SAccept();
    };
    Fd client = test::ConnectTo(port);
    ASSERT_TRUE(WaitFor("available"));
    sock.SClose();
    EXPECT_EQ(sock.FSocket, -1);
    ASSERT_TRUE(test::WaitReadable(client));
    char c;
    errno = 0;
    EXPECT_EQ(recv(client, &c, 1, 0), -1) << "an orderly end of stream would give 0";
    EXPECT_EQ(errno, ECONNRESET);
    EXPECT_EQ(Count("error"), 0u);
}

TEST_F(SocketsTest, TextReadWithoutAConnectedSocketIsEmpty) {
    WSASetLastError(0);
    EXPECT_EQ(sock.Text(), "");
    EXPECT_TRUE(events.empty());
    EXPECT_FALSE(sock.ErrorOccurred);
    EXPECT_EQ(WSAGetLastError(), 0) << "no socket call was made";
}

TEST_F(SocketsTest, TextStopsAtTheFirstZeroByteAndSReceiveTakesAll) {
    uint16_t port = Listen(sock);
    onEvent = [&](const std::string& name, int) {
        if (name == "available") sock.SAccept();
    };
    Fd client = test::ConnectTo(port);
    ASSERT_TRUE(WaitFor("available"));
    const char block[] = {'a', 'b', 'c', '\0', 'd', 'e', 'f'};
    send(client, block, sizeof block, 0);
    ASSERT_TRUE(WaitFor("data"));
    EXPECT_EQ(sock.Text(), "abc");

    send(client, block, sizeof block, 0);
    ASSERT_TRUE(WaitFor("data", 2));
    char buf[16];
    ASSERT_EQ(sock.SReceive(sock.FSocket, buf, sizeof buf), 7);
    EXPECT_EQ(std::string(buf, 7), std::string(block, 7));
}

TEST_F(SocketsTest, TextReadTakesAtMostMaximumReceiveLength) {
    uint16_t port = Listen(sock);
    sock.MaximumReceiveLength = 8;
    onEvent = [&](const std::string& name, int) {
        if (name == "available") sock.SAccept();
    };
    Fd client = test::ConnectTo(port);
    ASSERT_TRUE(WaitFor("available"));
    send(client, "0123456789ABCDEF", 16, 0);
    ASSERT_TRUE(WaitFor("data"));
    EXPECT_EQ(sock.Text(), "01234567");
    ASSERT_TRUE(WaitFor("data", 2)) << "what is left is announced again";
    EXPECT_EQ(sock.Text(), "89ABCDEF");
}

TEST_F(SocketsTest, SocketDeadStaysTrueAfterAnErrorUntilTheOwnerClearsIt) {
    sock.SClose();  // nothing to close: one error
    ASSERT_TRUE(sock.ErrorOccurred);
    Fd listener = test::BoundSocket(SOCK_STREAM, 0, 5);
    sock.IPAddr = "127.0.0.1";
    sock.Port = std::to_string(test::LocalPort(listener));
    sock.SConnect();
    ASSERT_TRUE(WaitFor("connected"));
    EXPECT_TRUE(sock.SocketDead()) << "a new connection does not clear the error";
    sock.ErrorOccurred = false;
    EXPECT_FALSE(sock.SocketDead());
}

TEST_F(SocketsTest, SendOnAClosedConnectionIsReported) {
    sock.SetText("lost");
    ASSERT_EQ(Count("error"), 1u);
    EXPECT_EQ(Last("error")->error, 10038);
    EXPECT_EQ(trace.back(), "SetText (Send) 10038");
}

// --- Notification dispatch -----------------------------------------------------------------

TEST_F(SocketsTest, NotificationsRaiseTheirEventsAndErrorWordsBecomeReports) {
    const struct {
        unsigned code;
        const char* event;  // raised without an error word
        const char* name;   // step name of the report with an error word
    } cases[] = {
        {1, "data", "FD_READ"},       {2, "needed", "FD_WRITE"},   {8, "available", "FD_ACCEPT"},
        {16, "connected", "FD_CONNECT"}, {32, "closed", "FD_CLOSE"}, {4, nullptr, ""},
        {64, nullptr, ""},
    };
    for (const auto& c : cases) {
        events.clear();
        trace.clear();
        sock.HandleSocketMessage(7, c.code, 0);
        if (c.event) {
            ASSERT_EQ(events.size(), 1u) << c.code;
            EXPECT_EQ(events[0].name, c.event);
            EXPECT_EQ(events[0].socket, 7);
        } else {
            EXPECT_TRUE(events.empty()) << c.code;
        }
        events.clear();
        sock.HandleSocketMessage(7, c.code, 10054);
        ASSERT_EQ(events.size(), 1u) << c.code;
        EXPECT_EQ(events[0].name, "error");
        EXPECT_EQ(events[0].socket, 7);
        EXPECT_EQ(events[0].error, 10054);
        EXPECT_EQ(events[0].msg, "Connection reset by peer");
        EXPECT_EQ(trace.back(), std::string(c.name) + " 10054");
    }
    EXPECT_EQ(TSockets::EventName(32), "FD_CLOSE");
    events.clear();
    sock.OnDataAvailable = nullptr;
    sock.HandleSocketMessage(7, 1, 0);  // no handler: nothing happens
    EXPECT_TRUE(events.empty());
}

TEST_F(SocketsTest, PeerResetOfTheConnectionIsReportedAsFdClose) {
    uint16_t port = Listen(sock);
    onEvent = [&](const std::string& name, int) {
        if (name == "available") sock.SAccept();
    };
    Fd client = test::ConnectTo(port);
    ASSERT_TRUE(WaitFor("available"));
    linger abortive{1, 0};
    setsockopt(client, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    client = Fd();
    ASSERT_TRUE(WaitFor("error"));
    EXPECT_EQ(Last("error")->error, 10054);
    EXPECT_EQ(Count("closed"), 0u);
    EXPECT_EQ(trace.back(), "FD_CLOSE 10054");
}

TEST_F(SocketsTest, AConnectionResetBeforeItIsAcceptedIsReportedAsFdClose) {
    uint16_t port = Listen(sock);
    onEvent = [&](const std::string& name, int) {
        if (name == "available") sock.SAccept();
    };
    Fd client = test::ConnectTo(port);
    linger abortive{1, 0};
    setsockopt(client, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    client = Fd();  // reset while the connection still waits in the listener's queue
    ASSERT_TRUE(WaitFor("available"));
    ASSERT_GE(sock.FSocket, 0) << "the reset connection is still accepted";
    ASSERT_TRUE(WaitFor("error")) << "the accepted connection must not end without a word";
    EXPECT_EQ(Last("error")->error, 10054);
    EXPECT_EQ(Last("error")->socket, sock.FSocket);
    EXPECT_EQ(trace.back(), "FD_CLOSE 10054");
}

// --- Queries and destruction -----------------------------------------------------------------

TEST_F(SocketsTest, LocalAddressComesFromTheHostName) {
    EXPECT_EQ(sock.GetLocalIPAddr(), "127.0.0.1");
    resolver.host = "unknown-host.invalid";
    EXPECT_EQ(sock.GetLocalIPAddr(), "0.0.0.0");
    EXPECT_EQ(sock.GetPeerIPAddr(-1), "0.0.0.0");
    EXPECT_EQ(sock.GetLocalPort(-1), "0");
}

TEST_F(SocketsTest, NoEventReachesADestroyedComponent) {
    auto other = std::make_unique<TSockets>(reactor, resolver);
    Record(*other);
    other->Port = "0";
    other->SListen();
    uint16_t port = static_cast<uint16_t>(std::stoi(other->GetLocalPort(other->FListenSocket)));
    Fd client = test::ConnectTo(port);
    other.reset();
    Settle();  // would call into the freed component if its watches had survived
    EXPECT_EQ(Count("available"), 0u);
}

}  // namespace
}  // namespace vk

namespace vk {
namespace {

// Only names this machine answers itself (/etc/hosts); nothing is asked of a name server.
TEST(SystemResolver, AnswersLocalhostBothWays) {
    NameResolver& r = NameResolver::system();
    uint32_t address = 0;
    int error = 0;
    ASSERT_TRUE(r.hostByName("localhost", address, error));
    EXPECT_EQ(address, htonl(INADDR_LOOPBACK));
    std::string name;
    ASSERT_TRUE(r.hostByAddr(htonl(INADDR_LOOPBACK), name, error));
    EXPECT_FALSE(name.empty());
    EXPECT_FALSE(r.hostByName("", address, error));
    EXPECT_EQ(error, WSAHOST_NOT_FOUND);
    EXPECT_FALSE(r.hostName().empty());
}

}  // namespace
}  // namespace vk
