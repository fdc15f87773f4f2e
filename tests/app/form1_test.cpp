// TForm1: start-up, the Ready transition, the connection menu, the check threads, the blocked
// list and the report windows, over test ports in fixture game folders.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <mutex>
#include <thread>

#include "client/app/file_version.h"
#include "client/core/list_file.h"
#include "tests/app/app_harness.h"

namespace vk::test {
namespace {

TEST(PortRule, OnlyTheLastThreeDigitsOfPortCount) {
    struct Case {
        std::string ini;
        std::string port;
        std::string listening;
    } cases[] = {
        {"Port=27961\r\n", "27961", "50961"},
        {"port=5\r\n", "5", "50005"},
        {"PORT=1999\r\nPort=27961\r\n", "1999", "50999"},  // the first Port line counts
        {"Port=abc\r\n", "50998", "50998"},
        {"Port=\r\n", "50998", "50998"},
        {"Server=1.2.3.4\r\n", "50998", "50998"},
        {"Ports=27961\r\n", "50998", "50998"},
        {"Port=99999999999\r\n", "50998", "50998"},  // does not fit 32 bits
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines;
        std::string rest = c.ini;
        for (size_t p; (p = rest.find("\r\n")) != std::string::npos; rest.erase(0, p + 2)) lines.push_back(rest.substr(0, p));
        EXPECT_EQ(PortFromIni(lines), c.port) << c.ini;
        EXPECT_EQ(ListeningPort(PortFromIni(lines)), c.listening) << c.ini;
    }
}

TEST(Startup, EachMissingPieceEndsTheProgramWithItsMessage) {
    struct Case {
        std::string remove;
        std::string message;
    } cases[] = {
        {"volkarmmp.exe", " WRONG folder, not the orvane folder, quitting...."},
        {"wdnhelp.exe", "wdnhelp.exe not there... exiting..."},
        {"wdnplyr", "wdnplyr not there / wrong name.. exiting..."},
    };
    for (const auto& c : cases) {
        GameFolder g;
        Installation(g, 27961);
        ASSERT_EQ(::unlink(g.osPath(c.remove).c_str()), 0);
        AppHarness h(g);
        TForm1& app = h.make();
        EXPECT_FALSE(app.Startup()) << c.remove;
        EXPECT_TRUE(app.terminated);
        EXPECT_EQ(app.exitCode, 1);
        ASSERT_EQ(h.boxTexts(), std::vector<std::string>{c.message});
        EXPECT_EQ(app.heldFileCount(), 0u);
    }
}

TEST(Startup, HoldsTheSixFilesThatExistAndMatchesNamesWithoutRegardToCase) {
    GameFolder g;
    Installation(g, 27961);
    ASSERT_EQ(std::rename(g.osPath("volkarmmp.exe").c_str(), g.osPath("VolkarMMP.exe").c_str()), 0);
    ASSERT_EQ(::unlink(g.osPath("data\\volkar4.ted").c_str()), 0);
    AppHarness h(g);
    TForm1& app = h.make();
    ASSERT_TRUE(app.Startup());
    EXPECT_EQ(app.heldFileCount(), 5u);  // companion + four terrain files; the missing one is skipped
    app.ReleaseHeldFiles();
    EXPECT_EQ(app.heldFileCount(), 0u);
}

TEST(Startup, SecondInstanceStopsAtTheFirstListen) {
    GameFolder g;
    Installation(g, 27961);
    AppHarness h(g);
    h.processes.table.push_back({102, {"/elsewhere/WDNplyr"}});
    TForm1& app = h.make();
    ASSERT_TRUE(app.Startup());
    std::vector<FormId> created;
    app.CreateWindows([&](FormId id) { created.push_back(id); });
    EXPECT_TRUE(app.terminated);
    EXPECT_EQ(h.boxTexts(), std::vector<std::string>{"VK3dsecplayer allready running....."});
    EXPECT_EQ(created, std::vector<FormId>{FormId::Main});
    // The blocked list was never loaded, so the end leaves the file alone.
    app.Shutdown([&] { h.reactor.processEvents(20); });
    EXPECT_FALSE(g.exists("plyrBlockedIPs.txt"));
    EXPECT_EQ(h.dialogs.shown.size(), 1u);  // the kick socket was never opened: closing it is no error
}

TEST(Startup, WindowsAreCreatedInTheirOrderWithTheirCaptions) {
    GameFolder g;
    Installation(g, 27961);
    AppHarness h(g);
    TForm1& app = h.make();
    ASSERT_TRUE(app.Startup());
    std::vector<std::string> captions;
    std::vector<std::string> names;
    app.CreateWindows([&](FormId id) {
        captions.push_back(app.window(id).caption());
        names.push_back(app.window(id).name());
    });
    EXPECT_EQ(names, (std::vector<std::string>{"Form1", "AboutBox", "relconfigfiles", "Form3", "metabrws", "serverinf",
                                               "blockedIPs", "Form6", "geturl", "selftest", "patchsw", "info", "xpform",
                                               "statwin", "mplayeredit"}));
    EXPECT_EQ(captions, (std::vector<std::string>{
                            "Volkar3d Secure Player", "About", "Relevant config files found by the server",
                            "Last error information", "Meta Browser", "Server Info", "Blocked (Bogus?) Servers ",
                            "Hidden list.....", "get Patch", "Self Test ", "VK3d Patch Switcher for MMP + SP",
                            "Info on patch", "XP VK3d kickstarter", "Status Information", "Mplayer edit (manual)"}));
    EXPECT_EQ(app.Title, "VK3d sec player");
    EXPECT_TRUE(app.Form1.visible);
    for (const auto& box : h.dialogs.shown) EXPECT_EQ(box.caption, "VK3d sec player");
}

TEST(Listen, MissingMplayerIniCancelsTheListenRequest) {
    GameFolder g;
    Installation(g, 27961);
    ASSERT_EQ(::unlink(g.osPath("mplayer.ini").c_str()), 0);
    AppHarness h(g);
    TForm1& app = h.make();
    ASSERT_TRUE(app.Startup());
    app.CreateWindows();
    EXPECT_FALSE(app.terminated);
    EXPECT_EQ(app.Form1.Port.text, "50993");
    EXPECT_EQ(app.Form1.Caption, "VK Secure Player cannot find mplayer.ini .....");
    const auto& lines = app.Form1.Memo1.lines;
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string>{"XXXXXXXXXXXXXXXXXXXXXXXXXXXX", "ATTENTION !!",
                                        "Can not find mplayer.ini.. cancelling listen request"}));
    EXPECT_EQ(app.checks.running(), 0);  // no terrain check either
    EXPECT_EQ(app.Form1.cfgstatus.caption, "------");
}

TEST(Listen, FirstListenChecksTerrainThenTheReadyListenListens) {
    GameFolder g;
    Installation(g, 27961);
    AppHarness h(g);
    h.processes.table.pop_back();  // the companion is not running: Listen starts it
    ASSERT_EQ(std::rename(g.osPath("wdnhelp.exe").c_str(), g.osPath("WDNhelp.EXE").c_str()), 0);
    TForm1& app = h.make();
    ASSERT_TRUE(app.Startup());
    app.CreateWindows();
    EXPECT_EQ(app.Form1.Memo1.lines.front(), "Chged priority to Normal");
    EXPECT_EQ(app.state.boost, PriorityClass::High);
    EXPECT_EQ(app.Form1.cfgstatus.caption, "Wait.. do NOT enter yet!!");
    EXPECT_EQ(app.Form1.cfgstatus.color, clRed);
    EXPECT_EQ(app.Sockets1.FListenSocket, -1);  // not listening yet
    ASSERT_EQ(h.dialogs.shown.size(), 1u);
    EXPECT_EQ(h.dialogs.shown[0].x, 20);
    EXPECT_EQ(h.dialogs.shown[0].y, 20);
    EXPECT_EQ(h.shell.calls, std::vector<std::string>{"open " + g.root() + "WDNhelp.EXE in " + g.root()});
    EXPECT_EQ(h.clock.totalSlept(), 1000u);
    EXPECT_TRUE(app.Form1.Meta_toggle.checked);
    EXPECT_EQ(app.Form1.Meta_toggle.caption, "Using KAL meta servers");

    ASSERT_TRUE(h.reactor.runUntil([&] { return app.state.tedCheckDone; }, 15000)) << h.log();
    EXPECT_TRUE(h.logged("Ted files checked & locked..."));
    ASSERT_EQ(h.dialogs.shown.size(), 2u);
    EXPECT_EQ(h.dialogs.shown[1].text, "TED files check done.... ");
    EXPECT_EQ(h.dialogs.shown[1].x, 110);
    EXPECT_EQ(h.dialogs.shown[1].y, 110);
    for (const MenuItem* m : {&app.Form1.Mfmswitch, &app.Form1.Mupdmplyr, &app.Form1.Mxpsound, &app.Form1.Mselftest})
        EXPECT_TRUE(m->enabled) << m->caption;
    EXPECT_TRUE(app.Form1.cantforward.enabled);
    EXPECT_FALSE(app.state.checks.tedResults.empty());
    EXPECT_EQ(app.Form1.Port.text, "50961");
    EXPECT_EQ(app.Sockets1.GetLocalPort(app.Sockets1.FListenSocket), "50961");
    EXPECT_EQ(app.state.connectionMode, ConnectionMode::Listening);
    EXPECT_FALSE(app.Form1.Mlisten.enabled);
    EXPECT_FALSE(app.Form1.Mclose.enabled);
    EXPECT_TRUE(app.Form1.MCancellisten.enabled);
    EXPECT_EQ(app.Form1.Caption, "VK sec Player listening.....");
    EXPECT_EQ(app.Form1.cfgstatus.caption, "Ready to enter Lobby");
    EXPECT_EQ(app.Form1.cfgstatus.color, clGreen);
    EXPECT_TRUE(h.logged(" Port=50961"));
    EXPECT_TRUE(h.logged(" IP=127.0.0.1"));
    EXPECT_EQ(app.Form1.IPAddr.text, "127.0.0.1");
    EXPECT_EQ(app.Form1.Memo1.lines.back(), "Waiting for contact with secured game server....\r\n" + std::string(48, '_'));
    EXPECT_TRUE(app.udpkick.IsOpen());
    EXPECT_TRUE(g.exists("plyr-cfg.txt"));
    EXPECT_TRUE(g.exists("log-plyr-cfg.txt"));
}

TEST(Listen, TheTerrainCheckStartsOnlyOnceTheNotReadyBoxIsClosed) {
    GameFolder g;
    Installation(g, 27961);
    PollReactor reactor;
    VirtualClock clock;
    RecordingShell shell;
    FixedProcesses processes;
    processes.table = {{100, {"/games/vk/wdnplyr"}}, {101, {"/games/vk/wdnhelp.exe"}}};
    RecordingPriority priority;
    LoopbackResolver resolver;
    struct WatchingDialogs final : Dialogs {
        BoxButton show(const BoxRequest& box) override {
            if (onShow) onShow(box);
            return box.defaultButton;
        }
        std::function<void(const BoxRequest&)> onShow;
    } dialogs;
    TForm1 app(AppPorts{reactor, dialogs, clock, shell, processes, priority, resolver, g.root()});
    int runningWhileShown = -1;
    dialogs.onShow = [&](const BoxRequest& box) {
        if (box.x == 20) runningWhileShown = app.checks.running();
    };
    ASSERT_TRUE(app.Startup());
    app.CreateWindows();
    EXPECT_EQ(runningWhileShown, 0);
    EXPECT_TRUE(reactor.runUntil([&] { return app.state.tedCheckDone; }, 15000));
    app.Shutdown([&] { reactor.processEvents(20); });
}

TEST(Listen, OnlyTheFirstListenTurnsTheSoundOn) {
    GameFolder g;
    Installation(g, 27975);
    AppHarness h(g);
    TForm1& app = h.make();
    int soundOn = 0;
    app.soundonClick = [&] { ++soundOn; };
    app.Form1.Mxpsound.checked = true;
    ASSERT_TRUE(app.Startup());
    app.CreateWindows();
    ASSERT_TRUE(h.reactor.runUntil([&] { return app.state.tedCheckDone; }, 15000));
    app.ListenClick();
    EXPECT_EQ(soundOn, 1);
    EXPECT_FALSE(app.state.firstListen);
}

TEST(Listen, FailingTerrainCheckKeepsTheClientNotReady) {
    GameFolder g;
    Installation(g, 27962);
    g.folder("plyr-cfg.txt");  // the check cannot write its log
    AppHarness h(g);
    TForm1& app = h.make();
    ASSERT_TRUE(app.Startup());
    app.CreateWindows();
    h.settle();
    EXPECT_TRUE(h.logged("=>error in fixed relfiles (excpt)")) << h.log();
    EXPECT_FALSE(app.state.tedCheckDone);
    EXPECT_EQ(app.Form1.cfgstatus.caption, "Wait.. do NOT enter yet!!");
    EXPECT_FALSE(app.Form1.Mfmswitch.enabled);
    EXPECT_EQ(app.Sockets1.FListenSocket, -1);
    EXPECT_EQ(h.dialogs.shown.size(), 1u);  // no "check done" box
}

TEST(Listen, APortThatIsTakenIsNotReportedAsReady) {
    GameFolder g;
    Installation(g, 27974);
    const int other = ::socket(AF_INET, SOCK_STREAM, 0);  // another program holds the port
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(50974);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(other, 1), 0);
    AppHarness h(g);
    TForm1& app = h.ready();
    EXPECT_TRUE(h.logged("==> Can not listen on port 50974: Address already in use")) << h.log();
    EXPECT_EQ(app.Form1.cfgstatus.caption, "NOT listening, port 50974 is not free!");
    EXPECT_EQ(app.Form1.cfgstatus.color, clRed);
    ::close(other);
    app.CancelListenClick();
    app.ListenClick();  // free now
    EXPECT_EQ(app.Form1.cfgstatus.caption, "Ready to enter Lobby");
}

TEST(Listen, WithoutRgbTxtTheBackgroundControlsHideAndChecksRunInTheForeground) {
    for (bool rgb : {false, true}) {
        GameFolder g;
        Installation(g, 27961, rgb);
        AppHarness h(g);
        TForm1& app = h.make();
        ASSERT_TRUE(app.Startup());
        app.CreateWindows();
        EXPECT_EQ(app.state.foregroundChecks, !rgb);
        for (const CheckBox* c : {&app.Form1.bgcheck, &app.Form1.pidle, &app.Form1.plowest, &app.Form1.plower, &app.Form1.pnormal})
            EXPECT_EQ(c->visible, rgb) << c->caption;
        EXPECT_EQ(app.Form1.pgroup.visible, rgb);
        app.Form1.bgcheck.checked = false;
        app.bgcheckClick();
        EXPECT_TRUE(app.state.foregroundChecks);
        app.Form1.bgcheck.checked = true;
        app.bgcheckClick();
        EXPECT_FALSE(app.state.foregroundChecks);
    }
}

TEST(Connection, CancelListenKeepsListeningModeSoCloseLeavesTheMenu) {
    GameFolder g;
    Installation(g, 27963);
    AppHarness h(g);
    TForm1& app = h.ready();
    app.CancelListenClick();
    EXPECT_EQ(app.Sockets1.FListenSocket, 0);
    EXPECT_EQ(app.state.connectionMode, ConnectionMode::Listening);
    EXPECT_TRUE(app.Form1.Mlisten.enabled);
    EXPECT_TRUE(app.Form1.IPAddr.enabled);
    EXPECT_FALSE(app.Form1.MCancellisten.enabled);
    EXPECT_EQ(app.Form1.Caption, "Player mode, NOT listening.....");
    app.Form1.Mlisten.enabled = false;  // as if the front end had greyed it
    app.CloseClick();
    EXPECT_FALSE(app.Form1.Mlisten.enabled);
    EXPECT_EQ(app.state.connectionMode, ConnectionMode::Listening);

    app.Form1.cantforward.checked = true;
    app.CancelListenClick();
    EXPECT_EQ(app.Form1.Caption, "Player mode, NOT listening..... using Kickstart..");
    app.ListenClick();
    EXPECT_EQ(app.Form1.Caption, "VK sec Player listening..... using Kickstart..");
    EXPECT_GT(app.Sockets1.FListenSocket, 0);
}

TEST(Connection, CloseOutsideListeningModeReturnsToIdle) {
    GameFolder g;
    Installation(g, 27964);
    AppHarness h(g);
    TForm1& app = h.make();
    ASSERT_TRUE(app.Startup());
    app.CreateWindows();
    app.state.connectionMode = ConnectionMode::Client;
    app.Form1.Mlisten.enabled = false;
    app.CloseClick();
    EXPECT_EQ(app.state.connectionMode, ConnectionMode::Idle);
    EXPECT_TRUE(app.Form1.Mlisten.enabled);
    EXPECT_FALSE(app.Form1.Mclose.enabled);
    EXPECT_FALSE(app.Form1.MCancellisten.enabled);
}

TEST(Priority, TheListChoosesTheBoostOperation) {
    GameFolder g;
    Installation(g, 27961);
    AppHarness h(g);
    TForm1& app = h.make();
    const PriorityClass expected[] = {PriorityClass::High, PriorityClass::Realtime, PriorityClass::Normal, PriorityClass::Idle};
    for (int i = 3; i >= 0; --i) {
        app.Form1.priolist.itemIndex = i;
        app.priolistChange();
        EXPECT_EQ(app.state.boost, expected[i]) << i;
        EXPECT_EQ(app.Form1.priolist.text, app.Form1.priolist.items[static_cast<size_t>(i)]);
    }
}

TEST(QuitAndClose, AskFirstAndKeepRunningOnNo) {
    GameFolder g;
    Installation(g, 27961);
    AppHarness h(g);
    TForm1& app = h.make();
    h.dialogs.answers = {BoxButton::No, BoxButton::Cancel};
    app.QuitClick();
    EXPECT_FALSE(app.FormCloseQuery());
    EXPECT_FALSE(app.terminated);
    ASSERT_EQ(h.dialogs.shown.size(), 2u);
    EXPECT_EQ(h.dialogs.shown[0].text, "Exit now?");
    EXPECT_EQ(h.dialogs.shown[0].buttons, (std::vector<BoxButton>{BoxButton::Yes, BoxButton::No}));
    EXPECT_EQ(h.dialogs.shown[1].text, "Shutdown Secure Player ?");
    EXPECT_EQ(h.dialogs.shown[1].buttons, (std::vector<BoxButton>{BoxButton::Ok, BoxButton::Cancel}));
    app.QuitClick();  // default answer Yes
    EXPECT_TRUE(app.terminated);
}

TEST(Conversation, EndOfConversationClosesEvenAfterAnEarlierSocketFailure) {
    GameFolder g;
    Installation(g, 27971);
    AppHarness h(g);
    TForm1& app = h.ready();
    app.Sockets1.ErrorOccurred = true;  // left by an earlier connection
    LoopbackPeer peer(50971);
    ASSERT_TRUE(peer.connected);
    ASSERT_TRUE(h.reactor.runUntil([&] { return h.logged("session accepted IP=127.0.0.1"); }, 5000)) << h.log();
    EXPECT_EQ(app.blockedIPs.servip.text, "127.0.0.1");
    peer.send("ver?\xC8srvinf:EOT:\xC8");
    EXPECT_TRUE(h.reactor.runUntil([&] { return peer.closedByClient(); }, 5000)) << h.log();
    EXPECT_EQ(app.Form1.cfgstatus.caption, "Grounded, do NOT fly!!!");
    EXPECT_EQ(h.priority.set.back(), "Normal");  // restored at the end
    EXPECT_FALSE(app.Form1.prboost.checked);
    EXPECT_EQ(app.state.connectionMode, ConnectionMode::Listening);  // still listening for the next server
    EXPECT_GT(app.Sockets1.FListenSocket, 0);
}

TEST(Conversation, ServerHangingUpEndsTheConversationButNotTheListener) {
    GameFolder g;
    Installation(g, 27972);
    AppHarness h(g);
    TForm1& app = h.ready();
    {
        LoopbackPeer peer(50972);
        ASSERT_TRUE(peer.connected);
        ASSERT_TRUE(h.reactor.runUntil([&] { return h.logged("session accepted IP=127.0.0.1"); }, 5000)) << h.log();
    }
    ASSERT_TRUE(h.reactor.runUntil([&] { return h.logged("End of conversation, session continues......"); }, 5000))
        << h.log();
    EXPECT_EQ(app.Sockets1.FSocket, -1);
    EXPECT_EQ(app.state.connectionMode, ConnectionMode::Listening);
    EXPECT_GT(app.Sockets1.FListenSocket, 0);
    LoopbackPeer next(50972);  // the next server is still accepted
    EXPECT_TRUE(next.connected);
}

TEST(Connection, ConnectClickConnectsOutToTheAddressInIPAddr) {
    GameFolder g;
    Installation(g, 27973);
    AppHarness h(g);
    TForm1& app = h.ready();
    // A loopback listener stands in for the secure server's port.
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(server, 1), 0);
    socklen_t len = sizeof a;
    ::getsockname(server, reinterpret_cast<sockaddr*>(&a), &len);
    app.Sockets1.Port = std::to_string(ntohs(a.sin_port));
    app.Form1.IPAddr.text = "127.0.0.1";
    app.ConnectClick();
    EXPECT_EQ(app.state.connectionMode, ConnectionMode::Client);
    EXPECT_EQ(app.Form1.Caption, "Client mode.....");
    ASSERT_TRUE(h.reactor.runUntil([&] {
        for (const auto& l : app.Form1.Memo1.lines)
            if (l.rfind("Connected to IP=127.0.0.1 on his port #" + app.Sockets1.Port + " socket#: ", 0) == 0) return true;
        return false;
    }, 5000)) << h.log();
    app.CloseClick();  // the connection made, not the listener's newest
    EXPECT_EQ(app.Sockets1.FSocket, -1);
    EXPECT_EQ(app.state.connectionMode, ConnectionMode::Idle);
    // Closed before the connect has reported: the outgoing socket goes too.
    app.ConnectClick();
    ASSERT_GE(app.Sockets1.FSocket, 0);
    app.CloseClick();
    EXPECT_EQ(app.Sockets1.FSocket, -1);
    ::close(server);

    ::unlink(g.osPath("mplayer.ini").c_str());
    app.Form1.Caption = "unchanged";
    app.ConnectClick();  // only with mplayer.ini
    EXPECT_EQ(app.Form1.Caption, "unchanged");
}

// ---- check threads ---------------------------------------------------------------------

struct CheckFixture {
    explicit CheckFixture(GameFolder& g) : h(g) {
        Installation(g, 27961);
        h.make();
        h.app->checks.setThreadPriority = [this](bool timeCritical) {
            std::lock_guard<std::mutex> lock(m);
            priorities.push_back(timeCritical);
        };
        h.app->state.checkParams = CheckParams{"plyr-cfg.txt", "data\\|", "fmparam*?.dat|"};
    }
    AppHarness h;
    std::mutex m;
    std::vector<bool> priorities;
};

TEST(CheckThread, EveryFourthServerCheckRunsAtNormalPriority) {
    GameFolder g;
    CheckFixture f(g);
    TForm1& app = *f.h.app;
    for (int i = 0; i < 5; ++i) {
        app.checks.StartServerCheck();
        f.h.settle();  // one after the other: a newer check would supersede a running one
    }
    std::vector<std::string> starts;
    for (const auto& l : app.Form1.Memo1.lines)
        if (l.rfind("starting Check: ", 0) == 0) starts.push_back(l);
    // Only the fourth start, the one at normal priority, is logged.
    ASSERT_EQ(starts.size(), 1u) << f.h.log();
    EXPECT_EQ(starts[0].size(), std::string("starting Check: 12:00:00 Normal priority").size()) << starts[0];
    EXPECT_EQ(starts[0].substr(24), " Normal priority");
    EXPECT_EQ(app.checks.startCounter(), 1);
    // Threads start in any order: one of the five ran at normal priority.
    EXPECT_EQ(std::count(f.priorities.begin(), f.priorities.end(), false), 1);
    EXPECT_EQ(f.priorities.size(), 5u);
    EXPECT_TRUE(app.checks.CheckFinished());
    EXPECT_TRUE(f.h.logged("(bg) finished set to True"));
}

TEST(CheckThread, FailingServerCheckLogsAndLeavesTheFlagFalse) {
    for (bool verbose : {true, false}) {
        GameFolder g;
        CheckFixture f(g);
        g.folder("plyr-cfg.txt");
        TForm1& app = *f.h.app;
        app.state.verboseTrace = verbose;
        app.checks.StartServerCheck();
        f.h.settle();
        EXPECT_EQ(f.h.logged("=>error in cfg perf.exec"), verbose) << f.h.log();
        EXPECT_FALSE(app.checks.CheckFinished());
        EXPECT_FALSE(f.h.logged("(bg) finished set to True"));
    }
}

TEST(CheckThread, ResultsReachTheSharedListOnlyOnTheMainThreadAndOnlyFromTheNewestCheck) {
    GameFolder g;
    CheckFixture f(g);
    TForm1& app = *f.h.app;
    app.state.checkParams.patterns = "acspecs?.dat|";
    app.checks.StartServerCheck();
    app.state.checkParams.patterns = "fmparam*?.dat|";
    app.checks.StartServerCheck();
    // The threads finish and wait for their reports; until the main thread takes over, the
    // shared list stays as check= left it.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(app.state.resultList.empty());
    f.h.settle();
    ASSERT_EQ(app.state.resultList.size(), 1u);
    EXPECT_EQ(app.state.resultList[0].rfind("fmparam3.dat=", 0), 0u) << app.state.resultList[0];
    EXPECT_FALSE(app.state.checks.relevantFiles.empty());
}

TEST(CheckThread, ConversationPollSeesTheFinishedListButNotTheFlag) {
    GameFolder g;
    CheckFixture f(g);
    TForm1& app = *f.h.app;
    app.checks.StartServerCheck();
    // The main thread does not serve its queue: the report (and the flag) wait, the list does not.
    bool finished = false;
    for (int i = 0; i < 400 && app.state.resultList.empty(); ++i) {
        finished = app.checks.CheckFinished() || finished;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(finished);
    EXPECT_EQ(app.state.resultList.size(), 1u);
    f.h.settle();
    EXPECT_TRUE(app.checks.CheckFinished());
}

// ---- blocked servers --------------------------------------------------------------------

TEST(BlockedList, NoFileGivesAnEmptyFileAndAnEmptyList) {
    GameFolder g;
    Installation(g, 27961);
    AppHarness h(g);
    TForm1& app = h.make();
    ASSERT_TRUE(app.Startup());
    app.CreateWindows();
    ASSERT_TRUE(g.exists("plyrBlockedIPs.txt"));
    EXPECT_EQ(g.read("plyrBlockedIPs.txt"), "");
    EXPECT_TRUE(app.blockedIPs.srvlist.items.empty());
}

TEST(BlockedList, IsShownSortedWithoutDuplicatesAndWrittenBackSoAtExit) {
    GameFolder g;
    Installation(g, 27961);
    g.file("plyrBlockedIPs.txt", "192.0.2.9\r\n10.0.0.1\r\n192.0.2.9\r\n198.51.100.7\n");
    AppHarness h(g);
    TForm1& app = h.make();
    ASSERT_TRUE(app.Startup());
    app.CreateWindows();
    EXPECT_EQ(app.blockedIPs.srvlist.items, (std::vector<std::string>{"10.0.0.1", "192.0.2.9", "198.51.100.7"}));
    app.Shutdown([&] { h.reactor.processEvents(20); });
    EXPECT_EQ(g.read("plyrBlockedIPs.txt"), "10.0.0.1\r\n192.0.2.9\r\n198.51.100.7\r\n");
    EXPECT_FALSE(g.exists("plyrBlockedIPs.txt.new"));
}

TEST(BlockedList, ToggleSavesEachTimeUnblockOnlyChangesTheList) {
    GameFolder g;
    Installation(g, 27961);
    g.file("plyrBlockedIPs.txt", "192.0.2.9\r\n");
    AppHarness h(g);
    TForm1& app = h.make();
    ASSERT_TRUE(app.Startup());
    app.CreateWindows();
    EXPECT_EQ(app.blockedIPs.servip.text, "servip");

    app.blockedIPs.servip.text = "10.1.2.3";
    app.blocked.toggleip();
    EXPECT_EQ(g.read("plyrBlockedIPs.txt"), "10.1.2.3\r\n192.0.2.9\r\n");
    app.blocked.toggleip();
    EXPECT_EQ(g.read("plyrBlockedIPs.txt"), "192.0.2.9\r\n");
    EXPECT_EQ(app.blockedIPs.srvlist.items, std::vector<std::string>{"192.0.2.9"});

    app.blockedIPs.srvlist.itemIndex = -1;
    app.blocked.unblock();  // nothing selected: nothing changes
    EXPECT_EQ(app.blockedIPs.srvlist.items, std::vector<std::string>{"192.0.2.9"});
    EXPECT_EQ(app.blockedIPs.servip.text, "10.1.2.3");

    app.blockedIPs.srvlist.itemIndex = 0;
    app.blocked.unblock();
    EXPECT_EQ(app.blockedIPs.servip.text, "192.0.2.9");
    EXPECT_TRUE(app.blockedIPs.srvlist.items.empty());
    EXPECT_EQ(g.read("plyrBlockedIPs.txt"), "192.0.2.9\r\n");  // written only at exit
    app.Shutdown([&] { h.reactor.processEvents(20); });
    EXPECT_EQ(g.read("plyrBlockedIPs.txt"), "");
}

TEST(BlockedList, ShowingTheListAgainClearsItsSelection) {
    GameFolder g;
    Installation(g, 27961);
    g.file("plyrBlockedIPs.txt", "192.0.2.1\r\n192.0.2.5\r\n192.0.2.9\r\n");
    AppHarness h(g);
    TForm1& app = h.make();
    ASSERT_TRUE(app.Startup());
    app.CreateWindows();

    app.blockedIPs.srvlist.itemIndex = 0;
    app.blocked.unblock();
    EXPECT_EQ(app.blockedIPs.srvlist.itemIndex, -1);
    app.blocked.unblock();  // a second click must not take the address that moved up into the row
    EXPECT_EQ(app.blockedIPs.srvlist.items, (std::vector<std::string>{"192.0.2.5", "192.0.2.9"}));
    EXPECT_EQ(app.blockedIPs.servip.text, "192.0.2.1");

    app.blockedIPs.srvlist.itemIndex = 1;
    app.blockedIPs.servip.text = "192.0.2.7";
    app.blocked.toggleip();
    EXPECT_EQ(app.blockedIPs.srvlist.itemIndex, -1);
    app.blocked.unblock();
    EXPECT_EQ(app.blockedIPs.srvlist.items, (std::vector<std::string>{"192.0.2.5", "192.0.2.7", "192.0.2.9"}));
}

// ---- report windows ---------------------------------------------------------------------

TEST(Reports, ShowcfgAppendsTheExplanationToTheLogFileOrToWhatTheMemoHeld) {
    GameFolder g;
    Installation(g, 27961);
    AppHarness h(g);
    TForm1& app = h.make();
    app.reports.Showcfg();
    app.reports.Showcfg();
    const auto& lines = app.relconfigfiles.Memo1.lines;
    ASSERT_EQ(lines.size(), 28u);
    EXPECT_EQ(lines[0], std::string(53, '_'));
    EXPECT_EQ(lines[4], "=> Find the \"problem\" files in \"Last error info\", check in this list where they are");
    EXPECT_EQ(lines[7], "==> When ONLY the 5 data\\volkar*.TED files are showing");
    EXPECT_EQ(lines[13], std::string(53, '_'));
    EXPECT_EQ(lines[14], lines[0]);
    EXPECT_TRUE(app.relconfigfiles.visible);

    g.file("log-plyr-cfg.txt", "data\\fmparam3.dat\r\ndata\\volkar0.ted\r\n");
    app.reports.Showcfg();
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[0], "data\\fmparam3.dat");
    EXPECT_EQ(lines[1], "data\\volkar0.ted");
    app.reports.ConfigWindow().fire("Button1", Event::Click);
    EXPECT_TRUE(lines.empty());
}

TEST(Reports, WindowsOpenFromTheirCommandsAndClearTheirMemos) {
    GameFolder g;
    Installation(g, 27961);
    AppHarness h(g);
    TForm1& app = h.make();
    app.Form3.cfgerrors.Add("x");
    app.serverinf.servinfo.Add("y");
    app.Form1.Memo1.Add("z");
    app.reports.Showerrlist();
    app.reports.getservinfClick();
    app.blockfakeClick();
    EXPECT_TRUE(app.Form3.visible);
    EXPECT_TRUE(app.serverinf.visible);
    EXPECT_TRUE(app.blockedIPs.visible);
    EXPECT_FALSE(app.Form6.visible);
    app.reports.ErrorsWindow().fire("Button1", Event::Click);
    app.reports.ServerInfoWindow().fire("Button1", Event::Click);
    app.Button4Click();
    EXPECT_TRUE(app.Form3.cfgerrors.lines.empty());
    EXPECT_TRUE(app.serverinf.servinfo.lines.empty());
    EXPECT_TRUE(app.Form1.Memo1.lines.empty());
}

TEST(About, ShowsVersionsFolderAndTheGame) {
    GameFolder g;
    Installation(g, 27961);
    g.file("volkarmmp.exe", std::string("MZ\0\0F\0i\0l\0e\0V\0e\0r\0s\0i\0o\0n\0\0\0" "1\0.\0" "5\0,\0 \0" "7\0\0\0", 42));
    AppHarness h(g);
    TForm1& app = h.make();
    app.AboutClick();
    EXPECT_TRUE(app.AboutBox.visible);
    EXPECT_EQ(app.AboutBox.FileVersion.caption, "File Version: No info.");  // the fixture's own file is no program
    std::string folder = g.root();
    folder.pop_back();
    EXPECT_EQ(app.AboutBox.InstalledIn.caption, "Installed in: " + folder);
    EXPECT_EQ(app.AboutBox.VolkarFound.caption, "VolkarMMP.exe found: Yes");
    EXPECT_EQ(app.AboutBox.VolkarVersion.caption, "VolkarMMP.exe version: 1.5, 7");
    ::unlink(g.osPath("volkarmmp.exe").c_str());
    app.AboutClick();
    EXPECT_EQ(app.AboutBox.VolkarFound.caption, "VolkarMMP.exe found: NO!!");
    EXPECT_EQ(app.AboutBox.VolkarVersion.caption, "VolkarMMP.exe version: Not found?");
}

TEST(FileVersion, ReadsTheNumberAfterTheFirstFileVersion) {
    GameFolder g;
    struct Case {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"no version here", "No info."},
        {"FileVersion", ""},
        {std::string("F\0ileVersion\0\0002.2.0.1\0\0", 23), "2.2.0.1"},
        {"FileVersion 1.2.3.4 (beta) FileVersion 9", " 1.2.3.4 "},
        {"FileVersion12345678901234567890123", "1234567890123456789"},  // at most 19
    };
    for (const auto& c : cases) {
        g.file("v.exe", c.bytes);
        EXPECT_EQ(FileVersionText(g.osPath("v.exe")), c.text) << c.bytes;
    }
    EXPECT_EQ(FileVersionText(g.osPath("missing.exe")), "Not found?");
    // This program carries the client's own version record, whatever else of its text holds
    // the word (the cases above do).
    EXPECT_EQ(FileVersionText("/proc/self/exe"), "2.2.0.1");
}

}  // namespace
}  // namespace vk::test
