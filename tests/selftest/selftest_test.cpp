// The self-test's logic over test ports: a virtual clock for its waits, recorded boxes, tools
// that write fixed outputs, and the client's listener played by a TSockets on loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "client/selftest/selftest.h"
#include "platform/paths.h"
#include "platform/poll_reactor.h"
#include "tests/core_checks/game_folder.h"

namespace vk {
namespace {

using Lines = std::vector<std::string>;
using test::GameFolder;

uint32_t Ip(const char* dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

class TestResolver final : public NameResolver {
public:
    bool hostByName(const std::string& name, uint32_t& address, int& error) override {
        if (name == "localhost" || name == "testhost") {
            address = Ip("127.0.0.1");
            return true;
        }
        error = 11001;
        return false;
    }
    bool hostByAddr(uint32_t, std::string&, int& error) override {
        error = 11001;
        return false;
    }
    std::string hostName() override { return "testhost"; }
    std::vector<uint32_t> interfaceAddresses() override { return interfaces; }
    std::vector<uint32_t> interfaces{Ip("127.0.0.1"), Ip("192.168.0.10")};
};

// Tools that "print" fixed outputs: each Start writes its output to a new file at once; a tool
// without an output cannot be started and leaves no file.
class FakeTools final : public NetTools {
public:
    explicit FakeTools(std::string dir) : dir_(std::move(dir)) {}
    std::string Start(const std::vector<std::string>& argv) override {
        started.push_back(argv);
        const std::string key = argv[0] == "ping" ? "ping" : argv[0] + " " + argv[1];
        auto it = outputs.find(key);
        if (it == outputs.end()) return {};
        const std::string path = dir_ + "tool" + std::to_string(started.size()) + ".txt";
        std::ofstream(path, std::ios::binary) << it->second;
        return path;
    }
    void Remove(const std::string& path) override {
        removed.push_back(path);
        ::unlink(path.c_str());
    }
    std::vector<std::string> OwnAddresses() override { return own; }

    std::map<std::string, std::string> outputs{
        {"ip addr", "1: lo: <LOOPBACK,UP>\n    inet 127.0.0.1/8 scope host lo\n"},
        {"ip route", "default via 192.168.0.1 dev eth0\n"},
        {"ping", "PING 127.0.0.1 (127.0.0.1) 56(124) bytes of data.\n"
                 "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.05 ms\n"
                 "RR: \t192.168.0.10\n\t203.0.113.1\n\t198.51.100.7\n\n"
                 "--- 127.0.0.1 ping statistics ---\n"},
    };
    std::vector<std::string> own{"127.0.0.1", "192.168.0.10"};
    std::vector<std::vector<std::string>> started;
    std::vector<std::string> removed;

private:
    std::string dir_;
};

// The main window's Listen and Cancel listen, with a real listener on loopback that keeps what
// its connections send.
class FakeConnection final : public ConnectionActions {
public:
    FakeConnection(Reactor& reactor, TestResolver& resolver, VirtualClock& clock)
        : listener(reactor, resolver), clock_(clock) {
        listener.OnSessionAvailable = [this](TSockets& s, int) {
            if (s.SAccept() >= 0) ++accepted;
        };
        listener.OnDataAvailable = [this](TSockets& s, int) { received += s.GetText(); };
        listener.Port = "0";
    }
    void ListenClick() override {
        calls.push_back("Listen@" + std::to_string(clock_.tickCount()));
        listener.SListen();
        listener.Port = listener.GetLocalPort(listener.FListenSocket);  // the same port next time
    }
    void CancelListenClick() override {
        calls.push_back("CancelListen@" + std::to_string(clock_.tickCount()));
        if (listener.FListenSocket > 0) listener.CancelListen();
    }
    void CloseClick() override {}
    void SetKickPort(int) override {}

    TSockets listener;
    std::vector<std::string> calls;
    int accepted = 0;
    std::string received;

private:
    VirtualClock& clock_;
};

class SelfTestTest : public ::testing::Test {
protected:
    SelfTestTest() {
        game.file("volkarmmp.exe", "MZ game").file("wdnplyr", "client");
        state.gameFolder = game.root();
        test.FormCreate();
    }
    Lines Log() const { return form.Memo.lines; }
    bool Logged(const std::string& line) const {
        return std::find(form.Memo.lines.begin(), form.Memo.lines.end(), line) != form.Memo.lines.end();
    }
    size_t Count(const std::string& line) const {
        return static_cast<size_t>(std::count(form.Memo.lines.begin(), form.Memo.lines.end(), line));
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> t;
        for (const auto& b : dialogs.shown) t.push_back(b.text);
        return t;
    }
    // Points the test at the listener (which listens on a port of its own).
    void UseListener() {
        connection.ListenClick();
        form.wdnports.text = connection.listener.Port;
        connection.calls.clear();
    }
    bool Settle(const std::function<bool()>& done) { return reactor.runUntil(done, 3000); }

    GameFolder game;
    PollReactor reactor;
    VirtualClock clock;
    ScriptedDialogs dialogs;
    TestResolver resolver;
    FakeTools tools{game.outside()};
    FakeConnection connection{reactor, resolver, clock};
    ClientState state;
    Tselftest form;
    MainForm main;
    std::vector<std::string> versionsAsked;
    SelfTest test{state,
                  {form, main},
                  {clock, dialogs, reactor, resolver, connection, tools, [this](const std::string& path) {
                       versionsAsked.push_back(path);
                       return std::string("2.2.0.1");
                   }}};
};

// ---- creation, start, clearing ----------------------------------------------------------

TEST_F(SelfTestTest, CreationTakesTheLocalAddressAndEmptiesTheInternetOneOnlyOutsideAPrivateNet) {
    struct Case {
        std::vector<uint32_t> interfaces;
        std::string locIP;
        std::string inetIP;  // after creation
        std::string line;    // of the general information
    } cases[] = {
        {{Ip("127.0.0.1"), Ip("192.168.0.10")}, "192.168.0.10", "fill in your Internet IP",
         "\r==> IMPORTANT! PC seems to be behind Modem/Router, \r\nportforwarding is necessary "},
        {{Ip("10.1.2.3")}, "10.1.2.3", "fill in your Internet IP",
         "\r==> IMPORTANT! PC seems to be behind Modem/Router, \r\nportforwarding is necessary "},
        {{Ip("127.0.0.1"), Ip("203.0.113.5")}, "203.0.113.5", "", " PC seems to be directly connected to Internet"},
        // 172.16/12 is private too, but the self-test only knows the two prefixes.
        {{Ip("172.16.0.4")}, "172.16.0.4", "", " PC seems to be directly connected to Internet"},
        {{Ip("127.0.0.1")}, "127.0.0.1", "", " PC seems to be directly connected to Internet"},
    };
    for (const auto& c : cases) {
        Tselftest fresh;
        resolver.interfaces = c.interfaces;
        SelfTest t(state, {fresh, main}, {clock, dialogs, reactor, resolver, connection, tools, {}});
        t.FormCreate();
        EXPECT_EQ(fresh.locIP.text, c.locIP);
        EXPECT_EQ(fresh.InetIP.text, c.inetIP) << c.locIP;
        EXPECT_EQ(fresh.wdnports.itemIndex, 0);
        EXPECT_EQ(fresh.wdnports.text, "50998");
        t.GeneralInformation();
        ASSERT_GE(fresh.Memo.lines.size(), 6u);
        EXPECT_EQ(fresh.Memo.lines[4], "Local IP:" + c.locIP);
        EXPECT_EQ(fresh.Memo.lines[5], c.line);
    }
}

TEST_F(SelfTestTest, StartingShowsTheWindowAndGathersTheGeneralInformationInOrder) {
    main.Caption = "VK sec Player listening.....";
    test.dotestClick();

    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown[0].text, "Self test: VK3dSecPlayer will now test your setup. \rDo not enter a server while testing!");
    EXPECT_EQ(dialogs.shown[0].x, 100);
    EXPECT_EQ(dialogs.shown[0].y, 100);
    EXPECT_EQ(dialogs.shown[0].caption, "VK3d sec player");
    EXPECT_EQ(main.Caption, "VK3d secplayer = Self testing mode, do NOT enter a VK server!!");
    EXPECT_TRUE(state.selfTestRunning);
    EXPECT_EQ(main.cfgstatus.caption, "Self testing...");
    EXPECT_EQ(main.cfgstatus.color, clGreen);
    EXPECT_TRUE(form.visible);

    std::string folder = game.root();
    folder.pop_back();
    EXPECT_EQ(Log(), (Lines{"SecPlayer File Version: 2.2.0.1",
                            "is Installed in: " + folder,
                            "VolkarMMP.exe found: Yes",
                            "VolkarMMP.exe version: 2.2.0.1",
                            "Local IP:192.168.0.10",
                            "\r==> IMPORTANT! PC seems to be behind Modem/Router, \r\nportforwarding is necessary ",
                            "========Interface information=========",
                            "1: lo: <LOOPBACK,UP>",
                            "    inet 127.0.0.1/8 scope host lo",
                            "========Routing information=========",
                            "default via 192.168.0.1 dev eth0",
                            "========Ping route information=========",
                            "PING 127.0.0.1 (127.0.0.1) 56(124) bytes of data.",
                            "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.05 ms",
                            "    Route: 203.0.113.1 ->",
                            "           198.51.100.7 ->",
                            "",
                            "--- 127.0.0.1 ping statistics ---"}));
    EXPECT_EQ(versionsAsked, (Lines{game.root() + "wdnplyr", game.root() + "volkarmmp.exe"}));
    EXPECT_EQ(tools.started, (std::vector<Lines>{{"ip", "addr"},
                                                  {"ip", "route"},
                                                  {"ping", "-n", "-c", "1", "-W", "2", "-R", "ping.example"}}));
    EXPECT_EQ(tools.removed.size(), 3u) << "every output file is removed after reading";
    for (const auto& f : tools.removed) EXPECT_FALSE(game.exists("../" + f.substr(game.outside().size())));

    EXPECT_EQ(form.InetIP.text, "203.0.113.1");
    EXPECT_EQ(Boxes(), (Lines{"Self test: VK3dSecPlayer will now test your setup. \rDo not enter a server while testing!",
                              "About to gather generic TCP/IP info of your PC...",
                              "Your Internet IP seems to be:203.0.113.1\r\nYou can check it with a web browser at "
                              "whatismyip.example",
                              "Now click on \"Test Local IP\" and after that on \"Test Internet IP\""}));
    EXPECT_EQ(dialogs.shown[2].kind, BoxKind::Information);
    // Three read-backs, each finding its file after the first 500 ms and waiting 3 s more.
    EXPECT_EQ(clock.totalSlept(), 3u * 3500u);
}

TEST_F(SelfTestTest, TheRoutersAnswerIsShownAndItsOutsideAddressIsTheInternetAddress) {
    struct Case {
        RouterAnswer router;
        const char* line;      // "" = none
        const char* internet;  // what InetIP ends with
    };
    const Case cases[] = {
        {{"Router opened port 50998/TCP and 40998/UDP for you (UPnP IGD): Internet address 198.51.100.9:50998",
          "198.51.100.9"},
         "Router: Router opened port 50998/TCP and 40998/UDP for you (UPnP IGD): Internet address 198.51.100.9:50998",
         "198.51.100.9"},
        // No outside address from the router: the route ping's guess, as without one.
        {{"No router that opens ports was found (UPnP IGD, NAT-PMP): forward port 50998 yourself or use Kickstart", ""},
         "Router: No router that opens ports was found (UPnP IGD, NAT-PMP): forward port 50998 yourself or use "
         "Kickstart",
         "203.0.113.1"},
        {{"", ""}, "", "203.0.113.1"},  // never asked
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.router.answer);
        form.Memo.Clear();
        form.InetIP.text.clear();
        dialogs.shown.clear();
        SelfTest t(state, {form, main},
                   {clock, dialogs, reactor, resolver, connection, tools, {}, [&] { return c.router; }});
        t.GeneralInformation();
        const Lines log = Log();
        const auto ping = std::find(log.begin(), log.end(), "========Ping route information=========");
        const auto router = std::find_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("Router: ", 0) == 0; });
        if (*c.line) {
            ASSERT_NE(router, log.end());
            EXPECT_EQ(*router, c.line);
            EXPECT_LT(router, ping) << "told before the route ping";
        } else {
            EXPECT_EQ(router, log.end());
        }
        EXPECT_EQ(form.InetIP.text, c.internet);
        EXPECT_EQ(Boxes()[1], std::string("Your Internet IP seems to be:") + c.internet +
                                  "\r\nYou can check it with a web browser at whatismyip.example");
    }
}

TEST_F(SelfTestTest, WithoutTheGameOrItsVersionTheInformationSaysSo) {
    GameFolder bare;
    state.gameFolder = bare.root();
    SelfTest t(state, {form, main}, {clock, dialogs, reactor, resolver, connection, tools, {}});
    t.GeneralInformation();
    EXPECT_EQ(Log()[0], "SecPlayer File Version: No info.");
    EXPECT_EQ(Log()[2], "VolkarMMP.exe found: NO!!");
}

TEST_F(SelfTestTest, AMissingToolGivesUpAfterEightSecondsAndTheNextStepRuns) {
    tools.outputs.erase("ip addr");
    tools.outputs.erase("ping");
    test.GeneralInformation();
    const Lines log = Log();
    auto at = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) - log.begin(); };
    const auto iface = at("========Interface information=========");
    const auto route = at("========Routing information=========");
    const auto ping = at("========Ping route information=========");
    ASSERT_LT(ping, static_cast<long>(log.size()));
    EXPECT_EQ(log[static_cast<size_t>(iface + 1)], "Can not getTCP/IP information :( ");
    EXPECT_EQ(log[static_cast<size_t>(route + 1)], "default via 192.168.0.1 dev eth0");
    EXPECT_EQ(log[static_cast<size_t>(ping + 1)], "Can not getTCP/IP information :( ");
    EXPECT_EQ(clock.totalSlept(), 8000u + 3500u + 8000u);
    // Without a route the player is told to find the address by hand.
    EXPECT_EQ(dialogs.shown[1].kind, BoxKind::Warning);
    EXPECT_EQ(dialogs.shown[1].text,
              "Your Internet IP could not be determined, fill it in manually !!\r\n"
              "at many sites on the Internet you can see your real Internet IP,\r\nsuch as whatismyip.example");
    EXPECT_EQ(form.InetIP.text, "fill in your Internet IP") << "an address not found leaves the field alone";
}

// A clock whose third sleep lets the tool's output file appear.
class LateFileClock final : public Clock {
public:
    explicit LateFileClock(std::string path) : path_(std::move(path)) {}
    uint32_t tickCount() override { return inner.tickCount(); }
    std::time_t now() override { return inner.now(); }
    void sleep(uint32_t ms) override {
        inner.sleep(ms);
        if (++sleeps_ == 3) std::ofstream(path_) << "late output\n";
    }
    VirtualClock inner;

private:
    std::string path_;
    int sleeps_ = 0;
};

TEST_F(SelfTestTest, ReadBackWaitsForTheFileThenThreeSecondsMore) {
    const std::string path = game.outside() + "late.txt";
    LateFileClock late(path);
    SelfTest t(state, {form, main}, {late, dialogs, reactor, resolver, connection, tools, {}});
    t.ReadBack(path);
    EXPECT_EQ(Log(), (Lines{"late output"}));
    EXPECT_EQ(late.inner.totalSlept(), 3u * 500u + 3000u);
    EXPECT_EQ(tools.removed, (Lines{path}));

    form.Memo.Clear();
    test.ReadBack("");  // nothing ever comes
    EXPECT_EQ(Log(), (Lines{"Can not getTCP/IP information :( "}));
    EXPECT_EQ(clock.totalSlept(), 8000u);
    EXPECT_TRUE(test.keptLines().empty());
}

TEST_F(SelfTestTest, APingSiteThatIsNoHostIsRefusedAndNeverReachesPing) {
    for (const char* site : {"-f", "192.0.2.1; reboot", "", "$(id)"}) {
        form.Memo.Clear();
        tools.started.clear();
        dialogs.shown.clear();
        form.pingsite.text = site;
        test.RoutePing();
        EXPECT_TRUE(tools.started.empty()) << site;
        EXPECT_EQ(Log(), (Lines{"========Ping route information=========",
                                std::string("==> Ping site \"") + site + "\" is not a host name or IP address, no route ping"}));
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].kind, BoxKind::Warning);
    }
    form.pingsite.text = "  127.0.0.1 ";  // blanks around a good name do not matter
    test.RoutePing();
    ASSERT_EQ(tools.started.size(), 1u);
    EXPECT_EQ(tools.started[0].back(), "127.0.0.1");
}

TEST_F(SelfTestTest, ClearingEmptiesTheLogAndGathersAgain) {
    form.Memo.Add("old line");
    resolver.interfaces = {Ip("203.0.113.5")};
    form.InetIP.text = "198.51.100.1";
    test.cleartestClick();
    EXPECT_FALSE(Logged("old line"));
    EXPECT_EQ(form.locIP.text, "203.0.113.5");
    EXPECT_EQ(Log()[0], "SecPlayer File Version: 2.2.0.1");
    EXPECT_EQ(form.InetIP.text, "203.0.113.1") << "the route ping fills the emptied address in again";
}

// ---- test runs ---------------------------------------------------------------------------

TEST_F(SelfTestTest, TheLocalTestReachesTheListenerAsyncThenSync) {
    UseListener();
    form.locIP.text = "127.0.0.1";
    main.Memo1.Add("an old conversation");
    test.testLocalNowClick();

    const Lines run = {
        "_____________________________________________",
        "Start of Local IP = 127.0.0.1 test............",
        "Connecting to Local IP WDN secure player...",
        "About to send: \"Self-Testing Local IP=OK\" test message...",
        "Local IP test seems to be OK...",
        "Closing test socket again....",
        "===============================",
    };
    Lines expected{"========= Async Mode ======================"};
    expected.insert(expected.end(), run.begin(), run.end());
    expected.push_back("=========  Sync Mode ======================");
    expected.insert(expected.end(), run.begin(), run.end());
    EXPECT_EQ(Log(), expected);

    EXPECT_TRUE(state.selfTestRunning);
    EXPECT_EQ(main.Caption, "VK3d secplayer = Self testing mode, do NOT enter a VK server!!");
    EXPECT_EQ(main.Memo1.lines, (Lines{"_____________________________________________", "_____________________________________________",
                                       "_____________________________________________", "_____________________________________________",
                                       "Start of Local IP test............"}))
        << "each run starts with a cleared server log";
    // Each run restarts the listener: cancel, 400 ms, listen, 400 ms, 200 ms, the send's 400
    // ms, and 1000 ms more in Async mode.
    EXPECT_EQ(connection.calls, (Lines{"CancelListen@1000", "Listen@1400", "CancelListen@3400", "Listen@3800"}));
    EXPECT_EQ(clock.totalSlept(), (400u + 400u + 200u + 400u + 1000u) + (400u + 400u + 200u + 400u));

    // The Async connection waited in the old listener, which the Sync run replaced; the Sync
    // one is accepted and its message comes as two records once the main thread is free.
    ASSERT_TRUE(Settle([&] { return connection.received.size() >= SelfTestMessage("Local IP").size(); }));
    EXPECT_EQ(connection.received, "srvinf:==>From WDNplyr Self-Testing: Local IP=OK\xC8srvinf:EOT\xC8");
    EXPECT_EQ(connection.accepted, 1);
    EXPECT_EQ(test.testsocket.FSocket, -1) << "the test socket is closed after each run";
}

TEST_F(SelfTestTest, NobodyListeningGivesDiagnosticsAndNeverOk) {
    UseListener();
    form.wdnports.text = "1";  // nothing listens on port 1 of loopback
    form.locIP.text = "127.0.0.1";
    test.testLocalNowClick();
    const Lines log = Log();
    EXPECT_EQ(Count("Local IP test seems to be OK..."), 0u);
    // Async: the refused connection makes the send fail.
    EXPECT_TRUE(Logged(" Diagnostics: (not necessarily correct!):10061\r\nConnection refused")) << ::testing::PrintToString(log);
    EXPECT_TRUE(Logged("Diagnostic: Socket error while sending, Local IP"));
    // Sync: the blocking connect fails before anything is sent.
    EXPECT_TRUE(Logged("Diagnostic: socket not OK, before start of Self-Testing Local IP"));
    EXPECT_EQ(Count("Closing test socket again...."), 2u);
    EXPECT_FALSE(test.testsocket.ErrorOccurred);
}

TEST_F(SelfTestTest, TheInternetTestWantsAnAddress) {
    UseListener();
    struct Case {
        std::string inetIP;
        bool runs;
    } cases[] = {{"fill in your Internet IP", false}, {"", false}, {"0.1.2.3", false}, {" 127.0.0.1", false},
                 {"127.0.0.1", true}};
    for (const auto& c : cases) {
        form.Memo.Clear();
        form.InetIP.text = c.inetIP;
        test.testINnowClick();
        if (!c.runs) {
            const std::string refused = "ATN!==>" + c.inetIP + " is not an IP address!";
            EXPECT_EQ(Log(), (Lines{refused, "===============================", refused, "==============================="}));
        } else {
            EXPECT_EQ(Count("Inet IP test seems to be OK..."), 2u) << ::testing::PrintToString(Log());
            EXPECT_TRUE(Logged("Start of Inet IP = 127.0.0.1 test............"));
            ASSERT_TRUE(Settle([&] { return connection.received.size() >= SelfTestMessage("Inet IP").size(); }));
            EXPECT_EQ(connection.received, SelfTestMessage("Inet IP"));
        }
    }
}

TEST_F(SelfTestTest, TheInternetTestToAClosedPortShowsNoOk) {
    UseListener();
    form.wdnports.text = "1";
    form.InetIP.text = "127.0.0.1";
    test.testINnowClick();
    EXPECT_EQ(Count("Inet IP test seems to be OK..."), 0u);
    EXPECT_TRUE(Logged(" Diagnostics: (not necessarily correct!):10061\r\nConnection refused"));
    EXPECT_FALSE(Logged("Diagnostic: Socket error while sending, Inet IP")) << "that line is the local test's";
    EXPECT_TRUE(Logged("Diagnostic: socket not OK, before start of Self-Testing Inet IP"));
}

TEST_F(SelfTestTest, ALongAddressIsCutToTwentyCharacters) {
    UseListener();
    form.wdnports.text = "1";
    form.locIP.text = "127.0.0.1-and-something-long";
    test.testLocalNowClick();
    EXPECT_TRUE(Logged("Start of Local IP = 127.0.0.1-and-someth test............"));
}

// ---- saving and closing ------------------------------------------------------------------

TEST_F(SelfTestTest, SavingWritesTheLogWithCrLfAndTheSupportLine) {
    form.Memo.Add("Local IP:192.168.0.10");
    form.Memo.Add("\r==> IMPORTANT! PC seems to be behind Modem/Router, \r\nportforwarding is necessary ");
    form.Memo.Add(" Diagnostics: (not necessarily correct!):10061\r\nConnection refused");
    game.file("WDNplyr-Self-test.txt", "an older log\r\n");
    test.savelogClick();
    EXPECT_EQ(game.read("WDNplyr-Self-test.txt"),
              "Local IP:192.168.0.10\r\n"
              "\r\n==> IMPORTANT! PC seems to be behind Modem/Router, \r\nportforwarding is necessary \r\n"
              " Diagnostics: (not necessarily correct!):10061\r\nConnection refused\r\n"
              "In case of problems, please send this file (WDNplyr-Self-test.txt) to: support@volkar.example\r\n");
    EXPECT_EQ(Log().back(), "In case of problems, please send this file (WDNplyr-Self-test.txt) to: support@volkar.example");
    EXPECT_TRUE(dialogs.shown.empty());
    struct stat st {};
    ASSERT_EQ(::stat(game.osPath("WDNplyr-Self-test.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(SelfTestTest, ASaveThatFailsSaysSoAndKeepsTheOldFile) {
    game.folder("WDNplyr-Self-test.txt");  // a folder in the file's place: the rename fails
    test.savelogClick();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].kind, BoxKind::Warning);
    EXPECT_EQ(dialogs.shown[0].text.rfind("Could not save WDNplyr-Self-test.txt: ", 0), 0u) << dialogs.shown[0].text;
    EXPECT_TRUE(game.exists("WDNplyr-Self-test.txt"));
    for (const auto& e : FindFiles(game.root(), "*"))
        EXPECT_EQ(e.name.rfind("WDNplyr-Self-test.txt.", 0), std::string::npos) << "no half-written file is left";
}

TEST_F(SelfTestTest, ClosingAndHidingEndTheSelfTest) {
    test.dotestClick();
    EXPECT_TRUE(test.FormCloseQuery());
    EXPECT_FALSE(state.selfTestRunning);
    state.selfTestRunning = true;
    test.FormHide();
    EXPECT_FALSE(state.selfTestRunning);
    EXPECT_EQ(main.Caption, "VK3d Secure Player Listening!!");
    EXPECT_EQ(main.cfgstatus.caption, "Self test ended..");
    EXPECT_EQ(main.cfgstatus.color, clGreen);
}

TEST_F(SelfTestTest, TheWindowHasEveryControlAndItsHandlers) {
    WindowDef w = test.SelfTestWindow();
    EXPECT_EQ(w.name(), "selftest");
    EXPECT_EQ(w.caption(), "Self Test ");
    const std::pair<const char*, Kind> controls[] = {
        {"Label1", Kind::Label},   {"locIP", Kind::Edit},      {"Label2", Kind::Label},      {"InetIP", Kind::Edit},
        {"Label3", Kind::Label},   {"wdnports", Kind::ComboBox}, {"Label4", Kind::Label},    {"pingsite", Kind::Edit},
        {"testLocalnow", Kind::Button}, {"testINnow", Kind::Button}, {"cleartest", Kind::Button}, {"Memo", Kind::Memo},
        {"savelog", Kind::Button},
    };
    ASSERT_EQ(w.controls().size(), std::size(controls));
    for (const auto& [name, kind] : controls) {
        const ControlDef* c = w.control(name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(c->kind, kind) << name;
        EXPECT_GT(c->place.width, 0) << name;
    }
    EXPECT_EQ(form.locIP.text, "192.168.0.10");
    EXPECT_EQ(form.InetIP.text, "fill in your Internet IP");
    EXPECT_EQ(form.pingsite.text, "ping.example");
    EXPECT_EQ(form.savelog.caption, "Save this log window to: WDNplyr-Self-test.txt in the Volkar Folder");
    for (const char* button : {"testLocalnow", "testINnow", "cleartest", "savelog"})
        EXPECT_NE(w.handler(button, Event::Click), nullptr) << button;
    EXPECT_NE(w.handler("", Event::Create), nullptr);
    EXPECT_NE(w.handler("", Event::Hide), nullptr);
    ASSERT_TRUE(w.closeQuery());
    state.selfTestRunning = true;
    EXPECT_TRUE(w.closeQuery()());
    EXPECT_FALSE(state.selfTestRunning);
    w.fire("cleartest", Event::Click);
    EXPECT_EQ(Log()[0], "SecPlayer File Version: 2.2.0.1");
}

}  // namespace
}  // namespace vk
