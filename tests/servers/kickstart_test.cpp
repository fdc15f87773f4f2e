// Kickstart: the mode switch, sending a kick, the datagrams it receives and the kick socket's
// errors, over a recording kick socket, then once over loopback with the real UDP component.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>

#include "client/servers/address_text.h"
#include "client/servers/kickstart.h"
#include "platform/poll_reactor.h"

namespace vk {
namespace {

struct Sent {
    std::string location;
    int sendport;
    int port;
    std::string text;
    bool operator==(const Sent&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Sent& s) {
    return o << s.text << " -> " << s.location << ":" << s.sendport << " from " << s.port;
}

class RecordingKickSocket final : public KickSocket {
public:
    void Open() override {
        ++opens;
        if (failOpen && onError) {
            onError();
            return;
        }
        open = true;
    }
    void Close() override { open = false; }
    bool IsOpen() override { return open; }
    void SetPort(uint16_t p) override { port = p; }
    void SetLocation(const std::string& a) override { location = a; }
    void SetSendport(int p) override { sendport = p; }
    void SendText(const std::string& text) override { sent.push_back({location, sendport, port, text}); }
    std::string ReceiveText(TudpAddress& sender) override {
        auto [text, ip, p] = incoming.front();
        incoming.pop_front();
        sender.IPText = ip;
        sender.Port = static_cast<uint32_t>(p);
        return text;
    }
    bool open = true;
    bool failOpen = false;
    std::function<void()> onError;
    int opens = 0;
    uint16_t port = 40998;
    std::string location;
    int sendport = 0;
    std::vector<Sent> sent;
    std::deque<std::tuple<std::string, std::string, int>> incoming;
};

class RecordingConnection final : public ConnectionActions {
public:
    void ListenClick() override { calls.push_back("Listen"); }
    void CancelListenClick() override { calls.push_back("CancelListen"); }
    void CloseClick() override { calls.push_back("Close"); }
    void SetKickPort(int) override {}
    std::vector<std::string> calls;
};

struct KickFixture {
    KickFixture() {
        main.Port.text = "50998";
        main.IPAddr.text = "192.168.0.20";
        main.cantforward.checked = true;
        clock.setTick(100000);
    }
    bool logged(const std::string& line) const {
        for (const auto& l : main.Memo1.lines)
            if (l == line) return true;
        return false;
    }
    // A datagram from sender:port, handled.
    void receive(const std::string& text, const std::string& sender, int port = 41000) {
        udp.incoming.emplace_back(text, sender, port);
        kick.udpkickReceive();
    }
    std::vector<std::string> boxes() const {
        std::vector<std::string> t;
        for (const auto& b : dialogs.shown) t.push_back(b.text);
        return t;
    }

    MainForm main;
    VirtualClock clock;
    ScriptedDialogs dialogs;
    RecordingConnection connection;
    RecordingKickSocket udp;
    std::vector<std::string> connects;  // "address:port at tick"
    Kickstart kick{main, {clock, dialogs, connection, udp, [this](const std::string& a, const std::string& p) {
                              connects.push_back(a + ":" + p + " at " + std::to_string(clock.tickCount()));
                          }}};
};

TEST(IsPrivateAddress, Table) {
    struct Case {
        const char* ip;
        bool priv;
    } cases[] = {
        {"192.168.0.7", true},  {"10.0.0.7", true},      {"172.16.0.1", true}, {"172.20.1.1", true},
        {"172.31.255.1", true}, {"172.32.0.1", false},   {"172.15.0.1", false}, {"172.x.0.1", false},
        {"172.", false},        {"172.016.0.1", true},   {"192.0.2.1", false}, {"100.10.0.1", false},
        {"192.169.0.1", false}, {"172.1a.0.1", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsPrivateAddress(c.ip), c.priv) << c.ip;
}

TEST(SendKick, EntriesAndWhatTheyKick) {
    struct Case {
        const char* name;
        std::optional<std::string> entry;
        std::vector<Sent> sent;
        std::vector<std::string> boxes;
        std::string expected;
        std::string log;
    } cases[] = {
        {"directory entry", "Camel |__| Dawn |__| UDP:127.0.0.1:42998",
         {{"127.0.0.1", 41998, 40998, "idport:40998"}}, {}, "127.0.0.1", "IP+udpWDN: 127.0.0.1:41998"},
        {"known server in lower case", "\xFEKnown server = server= udp:192.0.2.5:2300 ;  five",
         {{"192.0.2.5", 1300, 40998, "idport:40998"}}, {}, "192.0.2.5", "IP+udpWDN: 192.0.2.5:1300"},
        {"port with text after it", "A |__| UDP:192.0.2.5:2300x", {{"192.0.2.5", 1300, 40998, "idport:40998"}}, {},
         "192.0.2.5", "IP+udpWDN: 192.0.2.5:1300"},
        {"no UDP:", "A |__| B |__| TCP:192.0.2.5:2300", {}, {"Not a valid entry....."}, "keep", ""},
        {"a colon in the name after the port", "\xFEKnown server = server= udp:192.0.2.5:2300 ; team: red", {},
         {"Not a valid entry....."}, "keep", ""},
        {"not an address", "A |__| UDP:gamehost:2300", {}, {"Not a valid entry....."}, "keep", ""},
        {"address with a leading zero", "A |__| UDP:192.0.2.05:2300", {}, {"Not a valid entry....."}, "keep", ""},
        {"address part above 255", "A |__| UDP:192.0.2.256:2300", {}, {"Not a valid entry....."}, "keep", ""},
        {"game port below 1001", "A |__| UDP:192.0.2.5:1000", {}, {"Not a valid entry....."}, "keep", ""},
        {"game port too large", "A |__| UDP:192.0.2.5:99999", {}, {"Not a valid entry....."}, "keep", ""},
        {"nothing selected", std::nullopt, {}, {}, "", ""},
    };
    for (const auto& c : cases) {
        KickFixture f;
        f.kick.expectedServer = "keep";
        f.kick.SendKick(c.entry);
        EXPECT_EQ(f.udp.sent, c.sent) << c.name;
        EXPECT_EQ(f.boxes(), c.boxes) << c.name;
        EXPECT_EQ(f.kick.expectedServer, c.expected) << c.name;
        if (!c.log.empty()) {
            EXPECT_TRUE(f.logged(c.log)) << c.name;
        }
        EXPECT_EQ(f.kick.lastKickTime, 100000u) << c.name;  // any attempt restarts the 10 s
        if (!c.sent.empty()) {
            EXPECT_EQ(f.udp.opens, 1) << c.name << ": the socket is reopened for the kick";
        }
    }
}

TEST(SendKick, ModeAndTenSecondRule) {
    KickFixture f;
    f.main.cantforward.checked = false;
    f.kick.SendKick("A |__| UDP:127.0.0.1:42998");
    EXPECT_EQ(f.boxes(), std::vector<std::string>{"Not in Kickstart mode...."});
    EXPECT_EQ(f.kick.lastKickTime, 0u);

    f.main.cantforward.checked = true;
    f.dialogs.shown.clear();
    f.kick.SendKick("A |__| UDP:127.0.0.1:42998");
    f.clock.advance(9999);
    f.kick.SendKick("A |__| UDP:127.0.0.1:42998");
    EXPECT_EQ(f.boxes(), std::vector<std::string>{"Less than 10 seconds ago.... please try again..."});
    EXPECT_EQ(f.udp.sent.size(), 1u);
    f.clock.advance(1);
    f.kick.SendKick("A |__| UDP:127.0.0.1:42998");
    EXPECT_EQ(f.udp.sent.size(), 2u);

    // The tick count is 32 bits: the first kick is allowed at any tick, and one just before
    // the wrap still holds for 10 s after it.
    KickFixture w;
    w.clock.setTick(0xFFFFF000u);
    w.kick.SendKick("A |__| UDP:127.0.0.1:42998");
    w.clock.advance(5000);
    w.kick.SendKick("A |__| UDP:127.0.0.1:42998");
    EXPECT_EQ(w.udp.sent.size(), 1u);
    w.clock.advance(5000);
    w.kick.SendKick("A |__| UDP:127.0.0.1:42998");
    EXPECT_EQ(w.udp.sent.size(), 2u);
}

TEST(KickReceive, GoportFromTheExpectedServerConnectsAfterTheProbe) {
    KickFixture f;
    f.kick.SendKick("A |__| UDP:127.0.0.1:42998");
    const uint32_t t0 = f.clock.tickCount();
    f.receive("goport:45123", "127.0.0.1", 41998);
    ASSERT_EQ(f.udp.sent.size(), 2u);
    EXPECT_EQ(f.udp.sent[1], (Sent{"127.0.0.1", 41998, 40998, "areuwdn:?"}));
    EXPECT_EQ(f.connects, std::vector<std::string>{"127.0.0.1:45123 at " + std::to_string(t0 + 3000)});
    for (const char* line : {"Kick rcvd, WDN-server: 127.0.0.1", "Contacted by WDN...", "Connecting w/TCP to WDN... "})
        EXPECT_TRUE(f.logged(line)) << line;
}

TEST(KickReceive, GoportSendersAndPorts) {
    struct Case {
        const char* name;
        std::string expected;  // before the datagram
        std::string text;
        std::string sender;
        std::vector<std::string> connects;
        std::string log;
        std::string expectedAfter;
    } cases[] = {
        {"public sender, none expected", "", "goport:45123", "192.0.2.8", {}, "Not expected to be kicked by WDN", ""},
        {"private sender, none expected", "", "goport:45123", "192.168.0.7", {"192.168.0.7:45123 at 103000"},
         "Kick rcvd, WRONG WDN-server: expected: Not expected! but came from: 192.168.0.7", "192.168.0.7"},
        {"public sender, another expected", "192.0.2.1", "goport:45123", "192.0.2.8", {"192.0.2.1:45123 at 103000"},
         "Kick rcvd, WRONG WDN-server: expected: 192.0.2.1 but came from: 192.0.2.8", "192.0.2.1"},
        {"goport anywhere in the datagram", "192.0.2.1", "hello goport:45123", "192.0.2.1", {"192.0.2.1:45123 at 103000"},
         "Contacted by WDN...", "192.0.2.1"},
        // The port is the text after the datagram's first colon.
        {"port after another colon", "192.0.2.1", "srvinf:x goport:45123", "192.0.2.1", {},
         "Kick ignored, not a TCP port: x goport:45123", "192.0.2.1"},
        {"port not a number", "192.0.2.1", "goport:45a", "192.0.2.1", {}, "Kick ignored, not a TCP port: 45a", "192.0.2.1"},
        {"port 0", "192.0.2.1", "goport:0", "192.0.2.1", {}, "Kick ignored, not a TCP port: 0", "192.0.2.1"},
        {"port too large", "192.0.2.1", "goport:65536", "192.0.2.1", {}, "Kick ignored, not a TCP port: 65536", "192.0.2.1"},
        {"no port", "192.0.2.1", "goport:", "192.0.2.1", {}, "Kick ignored, not a TCP port: ", "192.0.2.1"},
        {"highest port", "192.0.2.1", "goport:65535", "192.0.2.1", {"192.0.2.1:65535 at 103000"}, "Contacted by WDN...",
         "192.0.2.1"},
    };
    for (const auto& c : cases) {
        KickFixture f;
        f.kick.expectedServer = c.expected;
        f.receive(c.text, c.sender, 41234);
        EXPECT_EQ(f.connects, c.connects) << c.name;
        EXPECT_TRUE(f.logged(c.log)) << c.name << "\n" << f.main.Memo1.lines.size();
        EXPECT_EQ(f.kick.expectedServer, c.expectedAfter) << c.name;
        if (c.connects.empty()) {
            EXPECT_TRUE(f.udp.sent.empty()) << c.name;
        }
    }
    // Unasked, the private server gets the probe on the port it wrote from.
    KickFixture f;
    f.receive("goport:45123", "192.168.0.7", 41234);
    ASSERT_EQ(f.udp.sent.size(), 1u);
    EXPECT_EQ(f.udp.sent[0], (Sent{"192.168.0.7", 41234, 40998, "areuwdn:?"}));
}

TEST(KickReceive, GreetingsKeepalivesAndInformation) {
    struct Case {
        const char* text;
        std::vector<Sent> sent;
        std::string log;
    } cases[] = {
        {"areuwdn:hi", {{"192.0.2.8", 41234, 40998, "areuwdn:ok"}}, "WDN says hi..."},
        {"areuwdn:hi there", {{"192.0.2.8", 41234, 40998, "areuwdn:ok"}}, "WDN says hi..."},
        {"xareuwdn:hi", {}, ""},
        {"areuwdn:Yes", {}, "WDN keepalive rcvd..."},
        {" areuwdn:Yes", {}, ""},
        {"srvinf:Server restarts at 20:00", {}, "Server restarts at 20:00"},
        {"xx srvinf:abc", {}, "nf:abc"},  // from the datagram's 8th character
    };
    for (const auto& c : cases) {
        KickFixture f;
        f.receive(c.text, "192.0.2.8", 41234);
        EXPECT_EQ(f.udp.sent, c.sent) << c.text;
        if (c.log.empty()) {
            EXPECT_TRUE(f.main.Memo1.lines.empty()) << c.text;
        } else {
            EXPECT_TRUE(f.logged(c.log)) << c.text;
        }
    }
}

TEST(KickMode, SwitchAndTheWarningOncePerRun) {
    KickFixture f;
    f.main.IPAddr.text = "192.0.2.44";
    f.main.cantforward.checked = true;
    f.kick.cannotforward();
    EXPECT_TRUE(f.main.getmetas.enabled);
    EXPECT_EQ(f.main.Caption, "VK 3d Secure Player  using Kickstart...");
    EXPECT_EQ(f.connection.calls, std::vector<std::string>{"CancelListen"});
    EXPECT_EQ(f.main.Memo1.lines.back().rfind("=> Switched to Kickstart mode... \r\n", 0), 0u);

    f.main.cantforward.checked = false;
    f.kick.cannotforward();
    EXPECT_FALSE(f.main.getmetas.enabled);
    EXPECT_EQ(f.main.Caption, "VK 3d Secure Player ");
    EXPECT_EQ(f.main.Memo1.lines.back(), "\r\n=> Switched to Automagic mode... ");
    EXPECT_EQ(f.connection.calls, (std::vector<std::string>{"CancelListen", "Listen"}));

    f.main.cantforward.checked = true;
    f.kick.cannotforward();
    EXPECT_EQ(f.boxes(), std::vector<std::string>{
                             "FYI: Your IP 192.0.2.44 is not on a private network ..... \r\nUsing Kickstart is not very user friendly ...."});

    KickFixture lan;
    for (const char* ip : {"192.168.1.2", "10.1.2.3"}) {
        lan.main.IPAddr.text = ip;
        lan.kick.cannotforward();
    }
    EXPECT_TRUE(lan.dialogs.shown.empty());
}

TEST(KickErrors, LoggedAndReopenedWithoutLooping) {
    KickFixture f;
    f.kick.udpkickError("Connection refused", 10061);
    EXPECT_TRUE(f.logged("KickUDP: error:Connection refused #10061 resetting ..."));
    EXPECT_EQ(f.udp.opens, 1);
    EXPECT_TRUE(f.udp.open);

    f.kick.udpkickCloseSocket();
    EXPECT_TRUE(f.logged("UDP kick closed...."));
    EXPECT_EQ(f.udp.opens, 2);

    // The port is held by another program: every open fails and reports an error.
    f.udp.failOpen = true;
    f.udp.onError = [&] { f.kick.udpkickError("Address already in use", 10048); };
    f.kick.udpkickError("Address already in use", 10048);
    EXPECT_EQ(f.udp.opens, 3);
    EXPECT_EQ(std::count(f.main.Memo1.lines.begin(), f.main.Memo1.lines.end(),
                         "KickUDP: error:Address already in use #10048 resetting ..."),
              2);
}

// The kick and its answer over loopback with the real UDP component.
TEST(KickLoopback, KickGoportProbeAndGreeting) {
    const int peer = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(peer, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    ::getsockname(peer, reinterpret_cast<sockaddr*>(&a), &len);
    const int peerPort = ntohs(a.sin_port);
    if (peerPort + 1000 > 65535) GTEST_SKIP() << "ephemeral port too high for a game port";

    PollReactor reactor;
    ScriptedDialogs dialogs;
    TudpSocket udpkick(reactor, dialogs);
    TudpKickSocket kickSocket(udpkick);
    MainForm main;
    main.Port.text = "50998";
    main.cantforward.checked = true;
    VirtualClock clock(100000);
    RecordingConnection connection;
    std::vector<std::string> connects;
    Kickstart kick(main, {clock, dialogs, connection, kickSocket,
                          [&](const std::string& ip, const std::string& port) { connects.push_back(ip + ":" + port); }});
    kick.kickPort = 0;  // any free port: the real 40998 belongs to the client tests
    kick.Attach(udpkick);

    auto receive = [&](std::string& text, sockaddr_in& from) {
        pollfd p{peer, POLLIN, 0};
        if (::poll(&p, 1, 3000) <= 0) return false;
        char buf[600];
        socklen_t fl = sizeof from;
        const ssize_t n = ::recvfrom(peer, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fl);
        text.assign(buf, n > 0 ? static_cast<size_t>(n) : 0);
        return true;
    };
    kick.SendKick("Camel |__| Dawn |__| UDP:127.0.0.1:" + std::to_string(peerPort + 1000));
    std::string text;
    sockaddr_in client{};
    ASSERT_TRUE(receive(text, client));
    EXPECT_EQ(text, "idport:40998");

    const std::string go = "goport:45123";
    ::sendto(peer, go.data(), go.size(), 0, reinterpret_cast<sockaddr*>(&client), sizeof client);
    ASSERT_TRUE(reactor.runUntil([&] { return !connects.empty(); }, 3000));
    EXPECT_EQ(connects, std::vector<std::string>{"127.0.0.1:45123"});
    ASSERT_TRUE(receive(text, client));
    EXPECT_EQ(text, "areuwdn:?");

    const std::string hi = "areuwdn:hi";
    ::sendto(peer, hi.data(), hi.size(), 0, reinterpret_cast<sockaddr*>(&client), sizeof client);
    reactor.runUntil([&] { return main.Memo1.lines.back() == "WDN says hi..."; }, 3000);
    ASSERT_TRUE(receive(text, client));
    EXPECT_EQ(text, "areuwdn:ok");
    EXPECT_TRUE(dialogs.shown.empty());
    udpkick.Close();
    ::close(peer);
}

}  // namespace
}  // namespace vk
