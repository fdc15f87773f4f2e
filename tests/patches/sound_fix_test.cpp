// The XP sound fix: byte 68 of both preference files, the marker, the lock (files held open
// with their write bits cleared) and its release, and the boxes.
#include <sys/stat.h>

#include "client/patches/sound_fix.h"
#include "tests/patches/patch_rig.h"

namespace vk::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

mode_t ModeOf(const std::string& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 0777;
}

struct Sound : ::testing::Test {
    GameFolder g;
    Txpform xp;
    MenuItem Mxpsound{"XP sound fix", false};
    ScriptedDialogs dialogs;
    RecordingShell shell;
    std::string prefs = std::string(100, '\x07');
    std::unique_ptr<SoundFix> fix;
    void SetUp() override {
        g.file("volkarmmp.exe", "MZ").file("data\\vkprefs.dat", prefs).file("data\\multi\\mpprefs.dat", prefs);
    }
    SoundFix& make() {
        fix = std::make_unique<SoundFix>(xp, Mxpsound, dialogs, shell, g.root());
        return *fix;
    }
    std::vector<std::string> boxes() const {
        std::vector<std::string> t;
        for (const auto& b : dialogs.shown) t.push_back(b.text);
        return t;
    }
    void expectSoundOn(const char* name) {
        const std::string d = g.read(name);
        ASSERT_EQ(d.size(), 100u) << name;
        EXPECT_EQ(d[68], '\0') << name;
        EXPECT_EQ(d.substr(0, 68), prefs.substr(0, 68)) << name;
        EXPECT_EQ(d.substr(69), prefs.substr(69)) << name;
    }
};

TEST_F(Sound, StartWithTheMarkerLocksBothFiles) {
    g.file("XPsound=on", "XP sound patch = on\r\n");
    make().FormCreate();
    EXPECT_TRUE(Mxpsound.checked);
    EXPECT_TRUE(xp.Lockfiles.checked);
    expectSoundOn("data/vkprefs.dat");
    expectSoundOn("data/multi/mpprefs.dat");
    EXPECT_TRUE(fix->locked(0));
    EXPECT_TRUE(fix->locked(1));
    EXPECT_EQ(ModeOf(g.osPath("data/vkprefs.dat")) & 0222, 0u);  // the game cannot rewrite it
    EXPECT_THAT(boxes(), IsEmpty());
    fix.reset();  // program end: the write bits come back
    EXPECT_EQ(ModeOf(g.osPath("data/vkprefs.dat")) & 0200, 0200u);
    EXPECT_EQ(ModeOf(g.osPath("data/multi/mpprefs.dat")) & 0200, 0200u);
}

TEST_F(Sound, StartWithoutTheMarkerStillWritesTheByte) {
    ::chmod(g.osPath("data/vkprefs.dat").c_str(), 0444);  // read-only loses its attribute
    make().FormCreate();
    EXPECT_FALSE(Mxpsound.checked);
    EXPECT_FALSE(xp.Lockfiles.checked);
    expectSoundOn("data/vkprefs.dat");
    expectSoundOn("data/multi/mpprefs.dat");
    EXPECT_FALSE(fix->locked(0));
    EXPECT_FALSE(fix->locked(1));
    EXPECT_EQ(ModeOf(g.osPath("data/vkprefs.dat")) & 0200, 0200u);
}

TEST_F(Sound, ToggleWritesTheMarkerAndTakesOrReleasesTheLock) {
    make().FormCreate();
    fix->showxpClick();
    EXPECT_TRUE(Mxpsound.checked);
    EXPECT_EQ(g.read("XPsound=on"), "XP sound patch = on\r\n");
    EXPECT_TRUE(fix->locked(0));
    EXPECT_EQ(ModeOf(g.osPath("data/multi/mpprefs.dat")) & 0222, 0u);
    // While locked, Sound ON still writes (it reopens the file for writing).
    g.file("data\\multi\\mpprefs.dat", prefs);
    fix->soundonClick();
    expectSoundOn("data/multi/mpprefs.dat");

    fix->showxpClick();
    EXPECT_FALSE(Mxpsound.checked);
    EXPECT_FALSE(g.exists("XPsound=on"));
    EXPECT_FALSE(fix->locked(0));
    EXPECT_FALSE(fix->locked(1));
    EXPECT_EQ(ModeOf(g.osPath("data/multi/mpprefs.dat")) & 0200, 0200u);
    EXPECT_THAT(boxes(), ElementsAre("VK pref files locked",
                                     "VK pref files unlocked, \r\nchange your preferences and then turn XP sound on again"));
}

TEST_F(Sound, FailuresShowTheirBoxAndTheOtherFileIsStillHandled) {
    // A folder in the place of the single-player file cannot be written; the multiplayer file can.
    g.file("data\\multi\\mpprefs.dat", std::string(20, 'x'));  // too short to be the game's
    ::unlink(g.osPath("data/vkprefs.dat").c_str());
    g.folder("data\\vkprefs.dat");
    make().soundonClick();
    EXPECT_THAT(boxes(), ElementsAre("Error turning sound on, was VK SP allready running?",
                                     "Error turning sound on, was VK MMP allready running?"));
    EXPECT_EQ(g.read("data/multi/mpprefs.dat"), std::string(20, 'x'));  // left as it was

    // A missing file is skipped without a box.
    dialogs.shown.clear();
    ::rmdir(g.osPath("data/vkprefs.dat").c_str());
    g.file("data\\multi\\mpprefs.dat", prefs);
    fix->soundonClick();
    EXPECT_THAT(boxes(), IsEmpty());
    expectSoundOn("data/multi/mpprefs.dat");
}

TEST_F(Sound, StartButtonsTurnSoundOnFirst) {
    make();
    shell.result = 2;
    fix->startspClick();
    expectSoundOn("data/vkprefs.dat");
    EXPECT_THAT(shell.calls, ElementsAre("open " + g.osPath("volkar.exe") + " in " + g.root()));
    EXPECT_THAT(boxes(), ElementsAre("error encountered, DOS exitcode: 2"));
    const WindowDef w = fix->XpWindow();
    for (const char* c : {"soundon", "startsp", "startMP", "Lockfiles"}) EXPECT_NE(w.control(c), nullptr) << c;
}

}  // namespace
}  // namespace vk::test
