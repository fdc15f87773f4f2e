// TForm1 with the patch switcher and the sound fix: the menu items open and toggle them, Sound
// ON runs at start, and the preference files get their write bits back at the end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/app/app_harness.h"

namespace vk::test {
namespace {

mode_t WriteBits(const std::string& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 0222;
}

TEST(AppWiring, SoundFixAtStartAndTheSwitcherFromTheMenu) {
    GameFolder g;
    Installation(g, 27983);
    g.file("XPsound=on", "XP sound patch = on\r\n")
        .file("data\\vkprefs.dat", std::string(80, '\x01'))
        .file("data\\multi\\mpprefs.dat", std::string(80, '\x01'))
        .file("data\\vk.vol", "vk")
        .file("data\\vkshell.vol", "shell")
        .file("data\\multi\\fm1\\fmparam3.dat", "fm1");
    {
        AppHarness h(g);
        TForm1& app = h.ready();
        EXPECT_TRUE(app.Form1.Mxpsound.checked);
        EXPECT_EQ(app.Form1.Mxpsound.hint,
                  "XP only. Uncheck if you want to change preferences, then check it again to restore sound....");
        EXPECT_EQ(g.read("data/vkprefs.dat")[68], '\0');
        EXPECT_EQ(WriteBits(g.osPath("data/multi/mpprefs.dat")), 0u);  // locked
        EXPECT_TRUE(app.xp.locked(0));

        const WindowDef& main = app.window(FormId::Main);
        ASSERT_TRUE(app.Form1.Mfmswitch.enabled);
        main.fire("Mfmswitch", Event::Click);
        app.windows.sync(true);
        EXPECT_TRUE(app.patchsw.visible);
        EXPECT_FALSE(app.Form1.visible);
        EXPECT_EQ(app.patchsw.patchav.items, std::vector<std::string>{"fm1"});
        app.window(FormId::PatchSwitcher).fire("wrdone", Event::Click);
        app.windows.sync(true);
        EXPECT_TRUE(app.Form1.visible);

        main.fire("Mxpsound", Event::Click);
        EXPECT_FALSE(app.Form1.Mxpsound.checked);
        EXPECT_FALSE(g.exists("XPsound=on"));
        EXPECT_NE(WriteBits(g.osPath("data/multi/mpprefs.dat")), 0u);
        main.fire("Mxpsound", Event::Click);
        EXPECT_EQ(WriteBits(g.osPath("data/multi/mpprefs.dat")), 0u);
        EXPECT_THAT(h.boxTexts(), ::testing::Contains("VK pref files locked"));
    }
    // The program's end released the lock.
    EXPECT_NE(WriteBits(g.osPath("data/vkprefs.dat")), 0u);
    EXPECT_NE(WriteBits(g.osPath("data/multi/mpprefs.dat")), 0u);
}

}  // namespace
}  // namespace vk::test
