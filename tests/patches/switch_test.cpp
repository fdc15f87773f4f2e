// Turn ON and Turn OFF: file lists, markers, FM/DM exclusivity, protection, the archives of the
// data folder, batch files and the progress bar, with every overwritten game file kept and put back.
#include "client/patches/catalogue.h"
#include "tests/patches/patch_rig.h"

namespace vk::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Switching : ::testing::Test {
    PatchRig r;
    void SetUp() override {
        r.g.file("data\\multi\\fm1\\fmparam3.dat", "fm1 fmparam3")
            .file("data\\multi\\fm1\\acspecs1.dat", "fm1 acspecs")
            .file("data\\multi\\fm2\\fmparam3.dat", "fm2 fmparam3")
            .file("data\\multi\\fm2\\readme.txt", "the fm2 patch")
            .file("data\\multi\\fm2\\patchon.bat", "echo on")
            .file("data\\multi\\skins\\plane.bmp", "skins plane")
            .file("data\\multi\\skins\\action.bmp", "skins action");
        r.open();
    }
};

TEST_F(Switching, FmDmPatchesAreExclusiveAndTheOriginalComesBack) {
    r.on("fm1");
    EXPECT_EQ(r.g.read("data/multi/fmparam3.dat"), "fm1 fmparam3");
    EXPECT_EQ(r.g.read("data/multi/acspecs1.dat"), "fm1 acspecs");
    EXPECT_TRUE(r.g.exists("data/multi/fm1.act"));

    r.on("fm2");
    EXPECT_FALSE(r.g.exists("data/multi/fm1.act"));
    EXPECT_FALSE(r.g.exists("data/multi/acspecs1.dat"));  // fm1 added it where nothing stood
    EXPECT_EQ(r.g.read("data/multi/fmparam3.dat"), "fm2 fmparam3");
    EXPECT_EQ(r.activeMarkers(), std::vector<std::string>{"fm2.act"});

    r.off("fm2");
    EXPECT_EQ(r.g.read("data/multi/fmparam3.dat"), "original fmparam3");
    EXPECT_FALSE(r.g.exists("data/multi/readme.txt"));
    EXPECT_FALSE(r.g.exists("data/multi/fm2.act"));
    EXPECT_FALSE(r.g.exists("data/.vkbackup"));  // an empty store leaves nothing behind
    EXPECT_THAT(r.boxes(), IsEmpty());
}

TEST_F(Switching, GeneratedListIsUsedSavedInTheMarkerAndDeleted) {
    r.on("fm2");
    EXPECT_FALSE(r.g.exists("data/multi/fm2/patchfilelist.txt"));
    const std::string marker = r.g.read("data/multi/fm2.act");
    EXPECT_THAT(marker, HasSubstr("fmparam3.dat\r\npatchon.bat\r\nreadme.txt\r\n# patch activated from path:fm2\r\n"
                                  "# at time:"));
    EXPECT_EQ(r.g.read("data/multi/readme.txt"), "the fm2 patch");  // copied like any file
    EXPECT_EQ(r.g.read("data/multi/patchon.bat"), "echo on");
    // The batch file runs in the patch area, not waited for.
    EXPECT_THAT(r.shell.calls, ElementsAre("open " + r.g.osPath("data/multi/fm2/patchon.bat") + " in " +
                                           r.g.osPath("data/multi/")));
    EXPECT_TRUE(r.sw.ProgBar.visible == false);
}

TEST_F(Switching, FmPatchTurnedOnTwiceKeepsOneRecord) {
    r.on("fm1");
    r.clock.advance(1234);
    r.on("fm1");
    const std::string marker = r.g.read("data/multi/fm1.act");
    size_t records = 0;
    for (size_t at = 0; (at = marker.find("# at time:", at)) != std::string::npos; ++at) ++records;
    EXPECT_EQ(records, 1u);
    EXPECT_EQ(r.g.read("data/multi/fmparam3.dat"), "fm1 fmparam3");
    r.off("fm1");
    EXPECT_EQ(r.g.read("data/multi/fmparam3.dat"), "original fmparam3");
}

TEST_F(Switching, NonFmPatchLeavesOtherMarkersAlone) {
    r.on("fm1");
    r.on("skins", 0, false);
    EXPECT_TRUE(r.g.exists("data/multi/fm1.act"));
    EXPECT_TRUE(r.g.exists("data/multi/skins.abp"));
    EXPECT_EQ(r.g.read("data/multi/action.bmp"), "skins action");
    r.off("skins", 0, false);
    EXPECT_EQ(r.g.read("data/multi/action.bmp"), "original action.bmp");
    EXPECT_EQ(r.g.read("data/multi/fmparam3.dat"), "fm1 fmparam3");
}

TEST_F(Switching, RefusedWhileTheGameRunsKeepsTheGeneratedList) {
    r.g.file("data\\multi\\terrain\\volkar1.ted", "patched terrain");
    r.processes.held.push_back(r.g.osPath("data/vk.vol"));
    r.on("terrain", 0, false);
    EXPECT_THAT(r.boxes(), ElementsAre("VolkarMMP must be stopped to apply this patch!"));
    EXPECT_TRUE(r.g.exists("data/multi/terrain/patchfilelist.txt"));
    EXPECT_FALSE(r.g.exists("data/multi/terrain.abp"));
    r.ps->turnoffClick();
    EXPECT_EQ(r.boxes().back(), "VolkarMMP must be stopped first!!!");
}

TEST_F(Switching, ArchivesGoTwoLevelsUpAroundTheHeldFiles) {
    r.g.file("data\\multi\\bigvol\\vk.vol", "patched vk.vol").file("data\\multi\\bigvol\\plane.bmp", "p");
    r.on("bigvol", 0, false);
    EXPECT_EQ(r.g.read("data/vk.vol"), "patched vk.vol");
    EXPECT_FALSE(r.g.exists("data/multi/vk.vol"));
    EXPECT_GE(r.released, 1);
    EXPECT_EQ(r.released, r.taken);
    r.off("bigvol", 0, false);
    EXPECT_EQ(r.g.read("data/vk.vol"), "original vk.vol");  // the game's main archive is back
    EXPECT_EQ(r.released, r.taken);
}

TEST_F(Switching, ProtectionRefusesCriticalNamesInListMode) {
    r.g.file("data\\multi\\crit\\vk.vol", "patched vk.vol")
        .file("data\\multi\\crit\\action.bmp", "patched action")
        .file("data\\multi\\crit\\plane.bmp", "patched plane");
    r.sw.cautious.checked = true;
    r.on("crit", 0, false);
    const std::string tail =
        " uncheck \"Do not overwrite critical VK files if you want this file processed. It may render your game "
        "unusable...";
    EXPECT_THAT(r.boxes(), ElementsAre("Not processing file: action.bmp" + tail, "Not processing file: vk.vol" + tail));
    EXPECT_EQ(r.g.read("data/vk.vol"), "original vk.vol");
    EXPECT_EQ(r.g.read("data/multi/action.bmp"), "original action.bmp");
    EXPECT_EQ(r.g.read("data/multi/plane.bmp"), "patched plane");
    EXPECT_TRUE(IsProtectedName("shell.vol", true));  // a substring of vkshell.vol
    EXPECT_FALSE(IsProtectedName("plane.bmp", true));
}

TEST_F(Switching, ListingModeTurnOffSwitchesWhatItsTextLacks) {
    // Neither a list nor a marker: the folder's listing drives Turn OFF, and its protected
    // text lacks action.bmp and lowres.vol.
    r.g.file("data\\multi\\loose\\action.bmp", "loose action")
        .file("data\\multi\\loose\\lowres.vol", "loose lowres")
        .file("data\\multi\\loose\\vk.vol", "loose vk")
        .file("data\\multi\\action.bmp", "loose action")  // left by an earlier tool
        .file("data\\lowres.vol", "loose lowres");
    r.sw.cautious.checked = true;
    r.off("loose", 0, false);
    EXPECT_THAT(r.boxes(), ElementsAre(HasSubstr("Not processing file: vk.vol")));
    EXPECT_FALSE(r.g.exists("data/multi/action.bmp"));
    EXPECT_FALSE(r.g.exists("data/lowres.vol"));
    EXPECT_EQ(r.g.read("data/vk.vol"), "original vk.vol");
}

TEST_F(Switching, TurnOffWithoutTheStoreDeletesOnlyThePatchsOwnCopies) {
    // An old marker (no store): a file equal to the patch's copy goes, the game's own stays.
    r.g.file("data\\multi\\skins.abp", "plane.bmp\r\naction.bmp\r\n# patch activated from path:skins\r\n"
                                       "# at time:2020-01-01_00-00-00.5\r\n")
        .file("data\\multi\\plane.bmp", "skins plane");
    r.off("skins", 0, false);
    EXPECT_FALSE(r.g.exists("data/multi/plane.bmp"));
    EXPECT_EQ(r.g.read("data/multi/action.bmp"), "original action.bmp");
    EXPECT_FALSE(r.g.exists("data/multi/skins.abp"));
    EXPECT_THAT(r.boxes(), IsEmpty());
}

TEST_F(Switching, NamesLeavingThePatchAreaAreRefused) {
    const auto before = r.g.outsideSnapshot();
    r.g.file("data\\multi\\evil\\patchfilelist.txt",
             "..\\..\\..\\secret.txt\r\n..\\fmparam3.dat\r\n/etc/hostname\r\nc:\\x.dat\r\nplane.bmp\r\n")
        .file("data\\multi\\evil\\plane.bmp", "evil plane")
        .file("data\\multi\\evil\\fmparam3.dat", "evil");
    r.on("evil");
    EXPECT_EQ(r.boxes().size(), 4u);
    for (const auto& b : r.boxes()) EXPECT_THAT(b, HasSubstr("leads outside the patch folder"));
    EXPECT_EQ(r.g.read("data/multi/plane.bmp"), "evil plane");
    EXPECT_EQ(r.g.read("data/fmparam3.dat"), "");
    EXPECT_EQ(r.g.outsideSnapshot(), before);
    r.dialogs.shown.clear();
    r.off("evil");
    EXPECT_FALSE(r.g.exists("data/multi/plane.bmp"));
    EXPECT_EQ(r.g.outsideSnapshot(), before);
}

TEST_F(Switching, NoSelectionMessages) {
    r.sw.patchav.itemIndex = -1;
    r.ps->turnonClick();
    r.ps->turnoffClick();
    EXPECT_THAT(r.boxes(), ElementsAre("Select a Patch folder first!!", "Double click the patch you want de-activated !!"));
}

// Records the progress bar at the pause before it is hidden.
class BarClock final : public Clock {
public:
    explicit BarClock(ProgressBar& b) : bar(b) {}
    uint32_t tickCount() override { return tick; }
    void sleep(uint32_t ms) override {
        seen.push_back({ms, bar.visible, bar.position, bar.max});
        tick += ms;
    }
    std::time_t now() override { return 1700000000; }
    struct Seen {
        uint32_t ms;
        bool visible;
        int position, max;
    };
    ProgressBar& bar;
    uint32_t tick = 5000;
    std::vector<Seen> seen;
};

TEST(ProgressBar, VisibleDuringTheSwitchAndHidden200msAfter) {
    PatchRig r;
    r.g.file("data\\multi\\fm1\\fmparam3.dat", "a").file("data\\multi\\fm1\\b.dat", "b");
    BarClock clock(r.sw.ProgBar);
    PatchSwitcher ps({r.sw, r.st, r.info, r.main}, {clock, r.dialogs, r.shell, r.processes, r.state, {}, {}});
    r.sw.visible = true;
    ps.FormActivate();
    r.sw.patchav.itemIndex = 0;
    ps.turnonClick();
    ASSERT_EQ(clock.seen.size(), 1u);
    EXPECT_EQ(clock.seen[0].ms, 200u);
    EXPECT_TRUE(clock.seen[0].visible);
    EXPECT_EQ(clock.seen[0].max, 2);
    EXPECT_EQ(clock.seen[0].position, 2);
    EXPECT_FALSE(r.sw.ProgBar.visible);
    EXPECT_EQ(r.sw.ProgBar.position, 0);
}

}  // namespace
}  // namespace vk::test
