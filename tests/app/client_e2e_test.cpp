// The headless client as a program in fixture game folders: start-up failures, the terrain
// check, listening on the port of mplayer.ini and the secure-server simulator's conversations
// over loopback, the blocked list, and the end of the program.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>

#include "client/core/getproc.h"
#include "platform/processes.h"
#include "tests/app/app_harness.h"
#include "tests/app/client_process.h"
#include "tools/secsim/secsim.h"

namespace vk::test {
namespace {

secsim::Report Converse(int port, const std::string& game, const std::string& script, std::string& out) {
    secsim::Options o = secsim::DefaultOptions();
    o.port = port;
    o.gameFolder = game;
    o.gapMs = 1000;
    o.script = script;
    std::ostringstream ss;
    secsim::Report r = secsim::Run(o, ss);
    out = ss.str();
    return r;
}

TEST_F(ClientProgram, ExampleConversationEndsGoFlyNow) {
    GameFolder g;
    RunnableInstallation(g, 27965);
    ClientProcess c(g.root());
    c.start();
    ASSERT_TRUE(c.waitFor("[status] Ready to enter Lobby")) << c.log();
    std::string report;
    const secsim::Report r = Converse(50965, g.root(), "", report);
    EXPECT_TRUE(r.connected) << report;
    EXPECT_EQ(r.mismatches, 0) << report;
    ASSERT_TRUE(c.waitFor("[status] Go Fly Now.... Salute!")) << c.log();
    EXPECT_TRUE(c.logged("  | session accepted IP=127.0.0.1\n"));
    EXPECT_TRUE(c.logged("  | (bg) finished set to True\n"));  // rgb.txt: the check ran in its thread
    EXPECT_TRUE(c.logged("  | EOT Connection closed.. \n"));

    c.command("about");
    EXPECT_TRUE(c.waitFor("File Version: 2.2.0.1")) << c.log();
    c.terminate();
    EXPECT_EQ(c.wait(), 0) << c.log();
    EXPECT_TRUE(c.logged("[box] Shutdown Secure Player ? -> OK"));
    ASSERT_TRUE(g.exists("plyrBlockedIPs.txt"));
    EXPECT_EQ(g.read("plyrBlockedIPs.txt"), "");
}

TEST_F(ClientProgram, ConfigErrorEndsGroundedAndFillsTheLastErrorWindow) {
    GameFolder g;
    RunnableInstallation(g, 27966, false);
    ClientProcess c(g.root());
    c.start();
    ASSERT_TRUE(c.waitFor("[status] Ready to enter Lobby")) << c.log();
    std::string report;
    const secsim::Report r = Converse(50966, g.root(),
                                      "@time\n"
                                      "ver?\n"
                                      "check=plyr-cfg.txt=data\\|-fmparam*?.dat|acspecs?.dat|\n"
                                      "snd?\n"
                                      "srvinf:URIP:127.0.0.1:4242::WDN check of your configuration >Config ERROR\n"
                                      "srvinf:errinf:File in error: fmparam3.dat\n"
                                      "srvinf:EOT:\n",
                                      report);
    EXPECT_EQ(r.mismatches, 0) << report;
    ASSERT_TRUE(c.waitFor("[status] Grounded, do NOT fly!!!")) << c.log();
    EXPECT_TRUE(c.logged("[last errors] WDN check of your configuration >Config ERROR\n")) << c.log();
    EXPECT_TRUE(c.logged("[last errors] File in error: fmparam3.dat Location = data\\fmparam3.dat\n")) << c.log();
    EXPECT_TRUE(c.logged("[window] Last error information shown"));
    EXPECT_TRUE(c.logged("[URIP] Your Internet IP : 127.0.0.1:4242"));
    c.command("exit");
    EXPECT_EQ(c.wait(), 0) << c.log();
}

TEST_F(ClientProgram, BlockedServerIsRefusedBeforeAnyConversation) {
    GameFolder g;
    RunnableInstallation(g, 27967);
    g.file("plyrBlockedIPs.txt", "192.0.2.9\r\n127.0.0.1\r\n192.0.2.9\r\n");
    ClientProcess c(g.root());
    c.start();
    ASSERT_TRUE(c.waitFor("[status] Ready to enter Lobby")) << c.log();
    std::string report;
    const secsim::Report r = Converse(50967, g.root(), "", report);
    EXPECT_GT(r.mismatches, 0) << report;  // the client hung up
    ASSERT_TRUE(c.waitFor("!! ==> This IP (127.0.0.1)has been blocked by you")) << c.log();
    EXPECT_FALSE(c.logged(" parsing: ")) << c.log();
    EXPECT_FALSE(c.logged("Go Fly Now"));

    c.command("blocked");
    EXPECT_TRUE(c.waitFor("  servip: servip\n  Label2: Blocked (bogus?) Server IP's\n  srvlist: 0: 127.0.0.1\n"
                          "  srvlist: 1: 192.0.2.9\n"))
        << c.log();
    c.terminate();
    EXPECT_EQ(c.wait(), 0) << c.log();
    EXPECT_EQ(g.read("plyrBlockedIPs.txt"), "127.0.0.1\r\n192.0.2.9\r\n");
}

// A player's script over a pipe: the blocked-servers window driven by the names of its
// controls, a confirming box answered No, a disabled menu item and malformed lines refused
// while the client goes on.
TEST_F(ClientProgram, ControlLanguageDrivesTheWindowsByTheirNames) {
    GameFolder g;
    RunnableInstallation(g, 27968);
    ClientProcess c(g.root());
    c.start();
    ASSERT_TRUE(c.waitFor("[status] Ready to enter Lobby")) << c.log();
    EXPECT_EQ(c.ask("click Form1.Mblockedservers"), "= ok");
    EXPECT_TRUE(c.logged("[window] Blocked (Bogus?) Servers  shown\n"));
    EXPECT_EQ(c.ask("set blockedIPs.servip 10.1.2.3"), "= ok");
    EXPECT_EQ(c.ask("click blockedIPs.blockserv"), "= ok");
    const std::string list = c.ask("get blockedIPs.srvlist");
    EXPECT_NE(list.find("\"items\":[\"10.1.2.3\"]"), std::string::npos) << list;
    EXPECT_EQ(g.read("plyrBlockedIPs.txt"), "10.1.2.3\r\n");

    EXPECT_EQ(c.ask("answer No"), "= ok");
    EXPECT_EQ(c.ask("click Form1.Mquit"), "= ok");
    EXPECT_TRUE(c.logged("[box] Exit now? -> No\n")) << c.log();

    const std::string listen = c.ask("get Form1.Mlisten");
    EXPECT_NE(listen.find("\"enabled\":false"), std::string::npos) << listen;
    EXPECT_EQ(c.ask("click Form1.Mlisten"), "= error: Form1.Mlisten is disabled");
    EXPECT_EQ(c.ask("click Nowhere.x"), "= error: unknown form: Nowhere");
    EXPECT_EQ(c.ask("set blockedIPs.servip"), "= ok");  // an empty text is a text
    EXPECT_EQ(c.ask("select blockedIPs.srvlist"), "= error: select needs an index");
    EXPECT_EQ(c.ask("set blockedIPs.servip bad\\q"), "= error: bad escape in: bad\\q");
    EXPECT_EQ(c.ask("wait 100"), "= ok");
    EXPECT_EQ(c.ask("get Form1.cfgstatus").rfind("= {\"kind\":\"label\",\"caption\":\"Ready to enter Lobby\"", 0), 0u);

    EXPECT_EQ(c.ask("hide Form1"), "= ok");  // closing the main window asks, then ends
    EXPECT_EQ(c.wait(), 0) << c.log();
    EXPECT_TRUE(c.logged("[box] Shutdown Secure Player ? -> OK")) << c.log();
}

TEST_F(ClientProgram, StartUpFailuresShowTheirMessageAndEnd) {
    struct Case {
        std::string remove;
        std::string name;
        std::string message;
    } cases[] = {
        {"volkarmmp.exe", "WDNplyr", " WRONG folder, not the orvane folder, quitting...."},
        {"wdnhelp.exe", "WDNplyr", "wdnhelp.exe not there... exiting..."},
        {"", "WDNplayer", "wdnplyr not there / wrong name.. exiting..."},
    };
    for (const auto& k : cases) {
        GameFolder g;
        RunnableInstallation(g, 27968);
        if (!k.remove.empty()) {
            ASSERT_EQ(::unlink(g.osPath(k.remove).c_str()), 0);
        }
        ClientProcess c(g.root(), k.name);
        c.start();
        EXPECT_EQ(c.wait(), 1) << c.log();
        EXPECT_TRUE(c.logged("[box] " + k.message + " -> OK\n")) << c.log();
        EXPECT_FALSE(c.logged("[caption]")) << "no window may exist: " << c.log();
        EXPECT_FALSE(g.exists("plyrBlockedIPs.txt"));
    }
}

TEST_F(ClientProgram, SecondInstanceEndsAndTheFirstGoesOn) {
    GameFolder first, second;
    RunnableInstallation(first, 27968);
    RunnableInstallation(second, 27969);
    ClientProcess a(first.root());
    a.start();
    ASSERT_TRUE(a.waitFor("[status] Ready to enter Lobby")) << a.log();
    ClientProcess b(second.root());
    b.start();
    EXPECT_EQ(b.wait(), 1) << b.log();
    EXPECT_TRUE(b.logged("[box] VK3dsecplayer allready running..... -> OK\n")) << b.log();
    EXPECT_FALSE(b.logged("Listening"));
    EXPECT_FALSE(a.exited());
    a.terminate();
    EXPECT_EQ(a.wait(), 0) << a.log();
}

TEST_F(ClientProgram, MissingMplayerIniCancelsListening) {
    GameFolder g;
    RunnableInstallation(g, 27970);
    ASSERT_EQ(::unlink(g.osPath("mplayer.ini").c_str()), 0);
    ClientProcess c(g.root());
    c.start();
    ASSERT_TRUE(c.waitFor("[caption] VK Secure Player cannot find mplayer.ini .....")) << c.log();
    EXPECT_TRUE(c.logged("  | XXXXXXXXXXXXXXXXXXXXXXXXXXXX\n  | ATTENTION !!\n"
                         "  | Can not find mplayer.ini.. cancelling listen request\n")) << c.log();
    EXPECT_TRUE(c.waitFor("[Port] 50993"));
    EXPECT_FALSE(c.logged("Terrain Check"));
    c.terminate();
    EXPECT_EQ(c.wait(), 0) << c.log();
}

}  // namespace
}  // namespace vk::test
