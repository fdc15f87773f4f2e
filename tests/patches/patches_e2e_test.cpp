// The patch switcher and the XP sound fix in the client program, driven by their component
// names through the headless control language; and a switch killed with the program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "client/core/getproc.h"
#include "platform/processes.h"
#include "tests/app/app_harness.h"
#include "tests/app/client_process.h"

namespace vk::test {
namespace {

using ::testing::HasSubstr;

void PatchInstallation(GameFolder& g, int port) {
    Installation(g, port);
    g.file("wdnhelp.exe", "#!/bin/sh\nexit 0\n");
    ::chmod(g.osPath("wdnhelp.exe").c_str(), 0755);
    ::unlink(g.osPath("wdnplyr").c_str());
    g.file("data\\vk.vol", "original vk.vol")
        .file("data\\vkshell.vol", "original vkshell.vol")
        .file("data\\multi\\fmparam3.dat", "original fmparam3")
        .file("data\\multi\\fm1\\fmparam3.dat", "fm1 fmparam3")
        .file("data\\multi\\fm1\\readme.txt", "fm1 readme")
        .file("data\\multi\\skins\\plane.bmp", "skins plane")
        .file("data\\vkprefs.dat", std::string(100, '\x05'))
        .file("data\\multi\\mpprefs.dat", std::string(100, '\x05'));
    for (const char* area : {"data\\simpatch", "data\\shellpat", "data\\3dpatch"}) g.folder(area);
}

class PatchProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ProcProcesses processes;
        if (CountModuleUsers(processes, "wdnplyr") > 0)
            GTEST_SKIP() << "another wdnplyr runs on this machine; the client would end as a second instance";
    }
};

TEST_F(PatchProgram, SwitchingThroughTheControlLanguage) {
    GameFolder g;
    PatchInstallation(g, 27981);
    ClientProcess c(g.root());
    c.start();
    ASSERT_TRUE(c.waitFor("[status] Ready to enter Lobby")) << c.log();
    EXPECT_EQ(g.read("data/vkprefs.dat")[68], '\0');  // Sound ON at start, fix on or off

    ASSERT_EQ(c.ask("click Form1.Mfmswitch"), "= ok");
    EXPECT_THAT(c.ask("get patchsw"), HasSubstr("\"visible\":true"));
    EXPECT_THAT(c.ask("get Form1"), HasSubstr("\"visible\":false"));  // hidden while the switcher shows
    EXPECT_THAT(c.ask("get patchsw.patchav"), HasSubstr("\"items\":[\"fm1\"]"));

    ASSERT_EQ(c.ask("select patchsw.patchav 0"), "= ok");
    EXPECT_THAT(c.ask("get patchsw.stat"), HasSubstr("\"caption\":\"Patch fm1 can be enabled now\""));
    EXPECT_THAT(c.ask("get patchsw.viewinfo"), HasSubstr("\"caption\":\"View fm1 info\""));
    ASSERT_EQ(c.ask("click patchsw.turnon"), "= ok");
    EXPECT_EQ(g.read("data/multi/fmparam3.dat"), "fm1 fmparam3");
    EXPECT_THAT(c.ask("get patchsw.actpat"), HasSubstr("[\"fm1.act\",\"FM/DM\",\"multi\"]"));
    EXPECT_THAT(c.ask("get patchsw.ProgBar"), HasSubstr("\"visible\":false"));

    // The other patches, and one of them on beside the FM patch.
    ASSERT_EQ(c.ask("click patchsw.exclus"), "= ok");
    EXPECT_THAT(c.ask("get patchsw.descr"), HasSubstr("patches without FM/DM can be mixed"));
    ASSERT_EQ(c.ask("select patchsw.patchav 0"), "= ok");
    ASSERT_EQ(c.ask("click patchsw.turnon"), "= ok");
    EXPECT_EQ(g.read("data/multi/plane.bmp"), "skins plane");

    // Jump back to the FM patch from the active grid, and turn it off.
    ASSERT_EQ(c.ask("select patchsw.actpat 0"), "= ok");
    ASSERT_EQ(c.ask("dblclick patchsw.actpat"), "= ok");
    EXPECT_THAT(c.ask("get patchsw.exclus"), HasSubstr("\"checked\":true"));
    EXPECT_THAT(c.ask("get patchsw.patchav"), HasSubstr("\"itemIndex\":0"));
    ASSERT_EQ(c.ask("click patchsw.turnoff"), "= ok");
    EXPECT_EQ(g.read("data/multi/fmparam3.dat"), "original fmparam3");
    EXPECT_FALSE(g.exists("data/multi/fm1.act"));

    ASSERT_EQ(c.ask("click patchsw.wrdone"), "= ok");
    EXPECT_THAT(c.ask("get Form1"), HasSubstr("\"visible\":true"));

    // The XP sound fix from the main window's menu.
    ASSERT_EQ(c.ask("click Form1.Mxpsound"), "= ok");
    EXPECT_TRUE(c.waitFor("[box] VK pref files locked -> OK")) << c.log();
    EXPECT_TRUE(g.exists("XPsound=on"));
    EXPECT_THAT(c.ask("get Form1.Mxpsound"), HasSubstr("\"checked\":true"));
    ASSERT_EQ(c.ask("click Form1.Mxpsound"), "= ok");
    EXPECT_FALSE(g.exists("XPsound=on"));

    c.command("answer OK");
    c.terminate();
    EXPECT_EQ(c.wait(), 0) << c.log();
    EXPECT_EQ(g.read("data/multi/plane.bmp"), "skins plane");  // still on: markers and store survive
}

TEST_F(PatchProgram, ASwitchKilledWithTheProgramIsUndoneAtTheNextActivation) {
    GameFolder g;
    PatchInstallation(g, 27982);
    g.file("data\\multi\\big\\fmparam3.dat", "big fmparam3").file("data\\multi\\big\\vk.vol", std::string(64 << 20, 'b'));
    auto c = std::make_unique<ClientProcess>(g.root());
    c->start();
    ASSERT_TRUE(c->waitFor("[status] Ready to enter Lobby")) << c->log();
    ASSERT_EQ(c->ask("click Form1.Mfmswitch"), "= ok");
    ASSERT_THAT(c->ask("get patchsw.patchav"), HasSubstr("\"items\":[\"big\",\"fm1\"]"));
    ASSERT_EQ(c->ask("select patchsw.patchav 0"), "= ok");
    c->command("click patchsw.turnon");
    for (int i = 0; i < 4000 && !g.exists("data/.vkbackup/journal"); ++i) ::usleep(500);
    c.reset();  // killed (SIGKILL) in the middle of the switch

    const bool switched = g.exists("data/multi/big.act") && !g.exists("data/.vkbackup/journal");
    RecordProperty("finished_before_the_kill", switched ? "yes" : "no");
    c = std::make_unique<ClientProcess>(g.root());
    c->start();
    ASSERT_TRUE(c->waitFor("[status] Ready to enter Lobby")) << c->log();
    ASSERT_EQ(c->ask("click Form1.Mfmswitch"), "= ok");
    if (switched) {
        EXPECT_EQ(g.read("data/vk.vol").size(), size_t{64} << 20);
        EXPECT_EQ(g.read("data/multi/fmparam3.dat"), "big fmparam3");
    } else {
        EXPECT_TRUE(c->logged("was interrupted; its files were put back as they were before it. -> OK")) << c->log();
        EXPECT_EQ(g.read("data/vk.vol"), "original vk.vol");
        EXPECT_EQ(g.read("data/multi/fmparam3.dat"), "original fmparam3");
        EXPECT_FALSE(g.exists("data/multi/big.act"));
        EXPECT_FALSE(g.exists("data/multi/big/patchfilelist.txt"));
        EXPECT_FALSE(g.exists("data/.vkbackup"));
    }
}

}  // namespace
}  // namespace vk::test
