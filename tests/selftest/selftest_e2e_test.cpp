// The self-test in the headless client, driven through the control language: the local test
// against the client's own listener, the Internet test's refusals and diagnostics, the saved
// log, and the diagnostics' temporary files. Everything stays on loopback: the route ping goes
// to 127.0.0.1 and the tests connect to 127.0.0.1 only.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "client/core/getproc.h"
#include "platform/processes.h"
#include "tests/app/app_harness.h"
#include "tests/app/client_process.h"

namespace vk::test {
namespace {

constexpr int kPort = 50972;  // Port=27972 in the fixture's mplayer.ini

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class SelfTestProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ProcProcesses processes;
        if (CountModuleUsers(processes, "wdnplyr") > 0)
            GTEST_SKIP() << "another wdnplyr runs on this machine; the client would end as a second instance";
        Installation(game, kPort - 50000 + 27000);
        game.file("wdnhelp.exe", "#!/bin/sh\nexit 0\n");  // the companion program really runs
        ::chmod(game.osPath("wdnhelp.exe").c_str(), 0755);
        ::unlink(game.osPath("wdnplyr").c_str());  // the client's own copy takes its place
        // The diagnostics' files go to a folder of this test, where they can be counted.
        tmp = game.outside() + "tmp";
        std::filesystem::create_directories(tmp);
        const char* old = getenv("TMPDIR");
        if (old) oldTmp = old;
        setenv("TMPDIR", tmp.c_str(), 1);
    }
    void TearDown() override {
        if (oldTmp.empty()) unsetenv("TMPDIR"); else setenv("TMPDIR", oldTmp.c_str(), 1);
    }
    size_t TempFiles() const {
        size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(tmp))
            n += e.path().filename().string().rfind("WDNplyr-netstat.", 0) == 0;
        return n;
    }

    GameFolder game;
    std::string tmp, oldTmp;
};

TEST_F(SelfTestProgram, LocalTestReachesTheListenerAndTheLogIsSaved) {
    ClientProcess c(game.root());
    c.start();
    ASSERT_TRUE(c.waitFor("[status] Ready to enter Lobby")) << c.log();

    c.command("set selftest.pingsite 127.0.0.1");
    c.command("click Form1.Mselftest");
    ASSERT_TRUE(c.waitFor("[box] Now click on \"Test Local IP\" and after that on \"Test Internet IP\" -> OK", 30000))
        << c.log();
    EXPECT_TRUE(c.logged("[box] Self test: VK3dSecPlayer will now test your setup. \\rDo not enter a server while "
                         "testing! -> OK"));
    EXPECT_TRUE(c.logged("[status] Self testing..."));
    EXPECT_TRUE(c.logged("[self test] SecPlayer File Version: 2.2.0.1\n"));
    EXPECT_TRUE(c.logged("[self test] ========Interface information=========\n[self test] 1: lo: ")) << c.log();
    EXPECT_TRUE(c.logged("[self test] ========Routing information=========\n"));
    EXPECT_TRUE(c.logged("[self test] PING 127.0.0.1 (127.0.0.1)")) << c.log();
    EXPECT_FALSE(c.logged("Can not getTCP/IP information")) << c.log();
    EXPECT_EQ(TempFiles(), 0u) << "each output file is removed once read";

    c.command("set selftest.locIP 127.0.0.1");
    c.command("set selftest.wdnports " + std::to_string(kPort));
    c.command("click selftest.testLocalnow");
    ASSERT_TRUE(c.waitFor("[self test] Succes! => Self test string was received from: 127.0.0.1\n")) << c.log();
    const std::string log = c.log();
    EXPECT_EQ(Occurrences(log, "[self test] Local IP test seems to be OK...\n"), 2u) << log;
    EXPECT_LT(log.find("[self test] ========= Async Mode"), log.find("[self test] =========  Sync Mode"));
    EXPECT_TRUE(c.logged("[self test] OK Self-test: session accepted IP=127.0.0.1\n")) << log;
    EXPECT_TRUE(c.logged("  | session accepted IP=127.0.0.1\n")) << log;
    EXPECT_TRUE(c.logged("  | ==>From WDNplyr Self-Testing: Local IP=OK\n")) << log;
    EXPECT_FALSE(c.logged(" Diagnostics: (not necessarily correct!)")) << log;

    c.command("click selftest.savelog");
    ASSERT_TRUE(c.waitFor("[self test] In case of problems, please send this file (WDNplyr-Self-test.txt) to: "
                          "support@volkar.example\n"))
        << c.log();
    c.command("wait 100");
    ASSERT_TRUE(c.waitFor("> wait 100\n= ok"));
    ASSERT_TRUE(game.exists("WDNplyr-Self-test.txt"));
    const std::string saved = game.read("WDNplyr-Self-test.txt");
    EXPECT_EQ(saved.rfind("SecPlayer File Version: 2.2.0.1\r\nis Installed in: ", 0), 0u) << saved;
    EXPECT_NE(saved.find("\r\nLocal IP test seems to be OK...\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\r\nOK Self-test: session accepted IP=127.0.0.1\r\n"), std::string::npos) << saved;
    const std::string last =
        "In case of problems, please send this file (WDNplyr-Self-test.txt) to: support@volkar.example\r\n";
    ASSERT_GE(saved.size(), last.size());
    EXPECT_EQ(saved.substr(saved.size() - last.size()), last);
    EXPECT_EQ(Occurrences(saved, "\n"), Occurrences(saved, "\r\n")) << "every line ends in CR LF";

    c.command("hide selftest");
    ASSERT_TRUE(c.waitFor("[status] Self test ended..")) << c.log();
    EXPECT_TRUE(c.logged("[caption] VK3d Secure Player Listening!!"));
    c.terminate();
    EXPECT_EQ(c.wait(), 0) << c.log();
    EXPECT_EQ(TempFiles(), 0u);
}

TEST_F(SelfTestProgram, InternetTestRefusesNoAddressAndReportsAClosedPort) {
    ClientProcess c(game.root());
    c.start();
    ASSERT_TRUE(c.waitFor("[status] Ready to enter Lobby")) << c.log();
    c.command("show selftest");  // the test runs need no general information first
    c.command("set selftest.InetIP fill in your Internet IP");
    c.command("click selftest.testINnow");
    ASSERT_TRUE(c.waitFor("[self test] ATN!==>fill in your Internet IP is not an IP address!\n[self test] "
                          "===============================\n[self test] ATN!==>fill in your Internet IP is not an IP "
                          "address!\n"))
        << c.log();

    // Nothing listens on port 1 of loopback: the diagnostics speak, and nothing is OK.
    c.command("set selftest.InetIP 127.0.0.1");
    c.command("set selftest.wdnports 1");
    c.command("click selftest.testINnow");
    ASSERT_TRUE(c.waitFor("[self test] Diagnostic: socket not OK, before start of Self-Testing Inet IP\n")) << c.log();
    c.command("wait 100");
    ASSERT_TRUE(c.waitFor("> wait 100\n= ok"));
    const std::string log = c.log();
    EXPECT_NE(log.find("[self test]  Diagnostics: (not necessarily correct!):10061\n    Connection refused"),
              std::string::npos)
        << log;
    EXPECT_EQ(Occurrences(log, "seems to be OK"), 0u) << log;
    c.terminate();
    EXPECT_EQ(c.wait(), 0) << c.log();
}

}  // namespace
}  // namespace vk::test
