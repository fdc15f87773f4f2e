// What strangers on the network can do to the client, tried through the real TForm1 over
// loopback: several connections at once, connections over the limit, idle ones, the check
// threads, and the main window's paths that the conversation drives (speed alarm, ejection,
// a peer's reset, Cancel listen with descriptor 0 as the listener, the kick port taken).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <functional>
#include <memory>
#include <vector>

#include "client/core/cipher_names.h"
#include "client/core/connections.h"
#include "tests/app/app_harness.h"

namespace vk::test {
namespace {

const std::string kVersion = VersionAnswer() + '\xC8';

std::string T(const std::string& s) { return s + '\xC8'; }

int OpenDescriptors() {
    int n = 0;
    for (int fd = 0; fd < 4096; ++fd) n += fcntl(fd, F_GETFD) != -1;
    return n;
}

// The answer the peer gets, waiting on the client's loop for it.
std::string AnswerOf(AppHarness& h, LoopbackPeer& peer) {
    std::string a;
    h.reactor.runUntil([&] { return !(a = peer.answer()).empty(); }, 5000);
    return a;
}

int Count(const AppHarness& h, const std::string& line) {
    int n = 0;
    for (const auto& l : h.app->Form1.Memo1.lines) n += l == line;
    return n;
}

// A new connection to port is refused (nothing listens) or closed by the client at once.
bool Refused(AppHarness& h, int port) {
    LoopbackPeer p(port);
    if (!p.connected) return true;
    return h.reactor.runUntil([&] { return p.closedByClient(); }, 3000);
}

// A client in a fixture installation that has finished its terrain check and listens on
// 50000 + port % 1000; files adds to the folder before it starts.
struct ReadyClient {
    explicit ReadyClient(int port, const std::function<void(GameFolder&)>& files = {}) : h(g) {
        Installation(g, port);
        if (files) files(g);
        app = &h.ready();
    }
    GameFolder g;
    AppHarness h;
    TForm1* app = nullptr;
};

// Two servers at once: each one's bytes are joined with its own, every answer goes to the one
// that asked, in order, and a blocked third one is closed without disturbing them.
TEST(HostilePeers, TwoInterleavedPeersEachGetTheirOwnAnswers) {
    ReadyClient r(27980);
    AppHarness& h = r.h;
    TForm1& app = *r.app;
    app.blockedIPs.srvlist.items = {"127.0.0.2"};
    LoopbackPeer a(50980), b(50980);
    ASSERT_TRUE(a.connected && b.connected);
    ASSERT_TRUE(h.reactor.runUntil([&] { return Count(h, "session accepted IP=127.0.0.1") == 2; }, 5000)) << h.log();

    a.send("ve");  // the rest comes later
    h.reactor.processEvents(50);
    b.send(T("ver?"));
    EXPECT_EQ(AnswerOf(h, b), kVersion);
    a.send(T("r?") + T("id?a.id|data\\fmparam3.dat"));
    EXPECT_EQ(AnswerOf(h, a), kVersion);
    EXPECT_EQ(AnswerOf(h, a).rfind("id=", 0), 0u);
    b.send(T("id?b.id|nothere.dat"));
    EXPECT_EQ(AnswerOf(h, b), T("id=0"));

    {
        LoopbackPeer blocked(50980, "127.0.0.2");
        ASSERT_TRUE(blocked.connected);
        EXPECT_TRUE(h.reactor.runUntil([&] { return blocked.closedByClient(); }, 5000)) << h.log();
        EXPECT_TRUE(h.logged("!! ==> This IP (127.0.0.2)has been blocked by you"));
    }
    a.send(T("ver?"));
    EXPECT_EQ(AnswerOf(h, a), kVersion);
    b.send(T("srvinf:EOT:"));
    EXPECT_TRUE(h.reactor.runUntil([&] { return b.closedByClient(); }, 5000));
    a.send(T("ver?"));
    EXPECT_EQ(AnswerOf(h, a), kVersion);
    EXPECT_FALSE(a.closedByClient());
    EXPECT_EQ(app.conversation.connections().size(), 1u);
}

// More connections than the limit: the surplus is closed at once with one line in the log,
// not one per attempt. Connections that send nothing are let go after kFirstRequestMs, and the
// client accepts again.
TEST(HostilePeers, ConnectionsOverTheLimitAreRefusedAndIdleOnesClosed) {
    ReadyClient r(27981);
    AppHarness& h = r.h;
    TForm1& app = *r.app;
    std::vector<std::unique_ptr<LoopbackPeer>> idle;
    for (size_t i = 0; i < kMaxConnections; ++i) {
        // One at a time: the listen queue is short, and this thread also runs the client.
        idle.push_back(std::make_unique<LoopbackPeer>(50981));
        ASSERT_TRUE(h.reactor.runUntil([&] { return app.conversation.connections().size() == i + 1; }, 5000));
    }
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(Refused(h, 50981)) << i;
    EXPECT_EQ(Count(h, "==> 16 connections open, new connections are refused"), 1) << h.log();
    EXPECT_EQ(Count(h, "session accepted IP=127.0.0.1"), static_cast<int>(kMaxConnections));

    h.clock.advance(kFirstRequestMs - 1);
    h.reactor.processEvents(Conversation::kSweepMs * 2);
    EXPECT_EQ(app.conversation.connections().size(), kMaxConnections);
    h.clock.advance(1);
    EXPECT_TRUE(h.reactor.runUntil([&] { return app.conversation.connections().size() == 0; }, 3000));
    for (auto& p : idle) EXPECT_TRUE(p->closedByClient());
    EXPECT_EQ(Count(h, "==> Accepting connections again, 20 refused"), 1) << h.log();
    LoopbackPeer next(50981);
    next.send(T("ver?"));
    EXPECT_EQ(AnswerOf(h, next), kVersion);
}

// Every check= would start a thread of its own at raised priority: at most one runs, the newer
// check supersedes the older, and only the newest one's lines are answered.
TEST(HostilePeers, OneCheckThreadAtATime) {
    ReadyClient r(27982, [](GameFolder& g) {
        for (int i = 0; i < 300; ++i) g.file("data\\fmparam" + std::to_string(100 + i) + ".dat", std::string(20000, 'f'));
        g.file("data\\acspecs1.dat", "specs");
    });
    AppHarness& h = r.h;
    TForm1& app = *r.app;
    h.settle();  // the terrain check's thread has ended
    LoopbackPeer peer(50982);
    for (int i = 0; i < 6; ++i) peer.send(T("check=plyr-cfg.txt=data\\|-fmparam*?.dat|"));
    peer.send(T("check=plyr-cfg.txt=data\\|-acspecs?.dat|"));
    ASSERT_TRUE(h.reactor.runUntil([&] { return Count(h, "(bg) finished set to True") >= 1; }, 20000)) << h.log();
    h.settle();
    EXPECT_EQ(app.checks.mostRunning(), 1);
    peer.send(T("snd?"));
    EXPECT_EQ(AnswerOf(h, peer).rfind("snd=acspecs1.dat=5|", 0), 0u);
    // Quitting does not wait for a long check either: it stops at its next file.
    for (int i = 0; i < 3; ++i) peer.send(T("check=plyr-cfg.txt=data\\|-fmparam*?.dat|"));
    h.reactor.processEvents(100);
    const auto t0 = std::chrono::steady_clock::now();
    app.checks.Stop([&] { h.reactor.processEvents(10); });
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

// The speed alarm and the ejection stop listening for real: the next connection is refused.
TEST(HostilePeers, SpeedAlarmAndEjectionCloseTheListener) {
    struct Case {
        const char* name;
        std::vector<std::string> requests;
        std::string logLine;
        std::string status;
    };
    const Case cases[] = {
        {"speed alarm", {T("time:1000000"), T("time:1005000")}, "Your PC is speeding(?)... you must restart Secplayer ",
         "Ready to enter Lobby"},
        {"ejection", {T("srvinf:You have been ejected.. by the server")}, "You have been ejected.. by the server",
         "Ejected..."},
    };
    int port = 27983;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReadyClient r(port);
        AppHarness& h = r.h;
        TForm1& app = *r.app;
        LoopbackPeer peer(50000 + port % 1000);
        for (const auto& r : c.requests) peer.send(r);
        ASSERT_TRUE(h.reactor.runUntil([&] { return h.logged(c.logLine); }, 5000)) << h.log();
        EXPECT_TRUE(h.reactor.runUntil([&] { return peer.closedByClient(); }, 5000));
        EXPECT_FALSE(app.Sockets1.Listening());
        EXPECT_EQ(app.Form1.Caption, "Player mode, NOT listening.....");
        EXPECT_EQ(app.Form1.cfgstatus.caption, c.status);
        EXPECT_TRUE(Refused(h, 50000 + port % 1000));
        ++port;
    }
}

// With standard input closed, descriptor 0 can be the listener: Cancel listen must still close it.
TEST(HostilePeers, CancelListenClosesAListenerOnDescriptorZero) {
    ReadyClient r(27985);
    AppHarness& h = r.h;
    TForm1& app = *r.app;
    app.CancelListenClick();
    const int savedStdin = ::dup(0);
    ::close(0);
    app.ListenClick();
    EXPECT_EQ(app.Sockets1.FListenSocket, 0);
    EXPECT_TRUE(app.Sockets1.Listening());
    {
        LoopbackPeer peer(50985);
        EXPECT_TRUE(peer.connected);
    }
    app.CancelListenClick();
    EXPECT_FALSE(app.Sockets1.Listening());
    EXPECT_TRUE(Refused(h, 50985));
    ::dup2(savedStdin, 0);
    ::close(savedStdin);
}

// A peer that resets its connection mid-conversation: the close comes as error 10054, and the
// connection is closed and forgotten like an orderly end.
TEST(HostilePeers, PeerResetEndsItsSessionAndFreesTheDescriptor) {
    ReadyClient r(27986);
    AppHarness& h = r.h;
    TForm1& app = *r.app;
    const int before = OpenDescriptors();
    LoopbackPeer peer(50986);
    peer.send(T("ver?"));
    EXPECT_EQ(AnswerOf(h, peer), kVersion);
    std::vector<int> errors;
    app.Sockets1.OnErrorOccurred = [&](TSockets&, int s, int e, const std::string& m) {
        errors.push_back(e);
        app.Sockets1ErrorOccurred(s, e, m);
    };
    peer.reset();
    ASSERT_TRUE(h.reactor.runUntil([&] { return h.logged("End of conversation, session continues......"); }, 5000))
        << h.log();
    EXPECT_EQ(errors, std::vector<int>{10054});
    EXPECT_EQ(app.conversation.connections().size(), 0u);
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_TRUE(app.Sockets1.Listening());
}

// Window activation and a double-click on the panel show the flight model of the folder.
TEST(HostilePeers, ActivationAndDoubleClickWriteTheFlightModelCaption) {
    ReadyClient r(27987, [](GameFolder& g) { g.file("data\\multi\\Camel.act", ""); });
    TForm1& app = *r.app;
    GameFolder& g = r.g;
    ASSERT_EQ(::chdir("/"), 0);
    app.FormActivate();
    EXPECT_EQ(app.Form1.instldfm.caption, "FM: Camel");
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(cwd) + "/", g.root());
    ::unlink(g.osPath("data\\multi\\Camel.act").c_str());
    app.instldfmDblClick();
    EXPECT_EQ(app.Form1.instldfm.caption, "FM in data\\ : NOT Orvane !!! ");
}

// The kick port held by another program: Listen still listens on TCP and says what failed.
TEST(HostilePeers, KickPortTakenAtListen) {
    const int other = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kKickPort);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(other, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(other);
        GTEST_SKIP() << "another program holds the kick port " << kKickPort << " now";
    }
    ReadyClient r(27988);
    AppHarness& h = r.h;
    TForm1& app = *r.app;
    ::close(other);
    EXPECT_FALSE(app.udpkick.IsOpen());
    // The kick socket's error handler tells the player in the log, without the component's box.
    EXPECT_TRUE(h.logged("KickUDP: error:Address already in use #10048 resetting ...")) << h.log();
    for (const auto& text : h.boxTexts()) EXPECT_EQ(text.find("OnError"), std::string::npos) << text;
    EXPECT_EQ(app.Form1.cfgstatus.caption, "Ready to enter Lobby");
    LoopbackPeer peer(50988);
    peer.send(T("ver?"));
    EXPECT_EQ(AnswerOf(h, peer), kVersion);
}

}  // namespace
}  // namespace vk::test
