// The catalogue: classification, patch folders, gathered names, the two grids, the status flags
// with the running-game probe, the timestamp and the names a list may hold.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "client/patches/catalogue.h"
#include "tests/patches/patch_rig.h"



namespace vk::test {
namespace {

TEST(Classification, FollowsTheDirectorySearchRules) {
    struct Case {
        const char* file;
        bool fmdm;
    } cases[] = {
        {"fmparam1.dat", true},  {"FMPARAM3.DAT", true}, {"fmparam.dat", true},  // '?' before '.' may match nothing
        {"fmparam12.dat", false}, {"acspecs.dat", true},  {"acspec.dat", true},
        {"xxdamage.dat", true},   {"damage.dat", false},  {"wingj1.dat", true},
        {"wingj.txt", false},     {"readme.txt", false},
    };
    for (const auto& c : cases) {
        GameFolder g;
        g.file(std::string("p\\") + c.file, "x");
        EXPECT_EQ(IsFmDmPatch(g.osPath("p")), c.fmdm) << c.file;
    }
    GameFolder g;
    g.folder("empty");
    EXPECT_FALSE(IsFmDmPatch(g.osPath("empty")));
}

struct Catalogue : ::testing::Test {
    GameFolder g;
    std::string area;
    void SetUp() override {
        g.file("data\\multi\\fmB\\fmparam1.dat", "x")
            .file("data\\multi\\fmA\\wingj2.dat", "x")
            .file("data\\multi\\skins\\plane.bmp", "x")
            .file("data\\multi\\hidden\\fmparam1.dat", "x")
            .file("data\\multi\\hidden\\notapatch.txt", "")
            .file("data\\multi\\.dotted\\fmparam1.dat", "x")
            .file("data\\multi\\locked\\fmparam1.dat", "x")
            .file("data\\multi\\loose.dat", "a file, not a folder");
        ::chmod(g.osPath("data/multi/locked").c_str(), 0555);
        area = AreaPath(g.root(), 0);
    }
};

TEST_F(Catalogue, ListsOnlyPatchFoldersOfTheMode) {
    EXPECT_EQ(BuildCatalogue(area, true).lines(), (std::vector<std::string>{"fmA", "fmB"}));
    EXPECT_EQ(BuildCatalogue(area, false).lines(), (std::vector<std::string>{"skins"}));
    EXPECT_EQ(PatchFolders(area).lines(), (std::vector<std::string>{"fmA", "fmB", "skins"}));
}

TEST_F(Catalogue, AllPatchesGridShowsBothKindsByArea) {
    g.file("data\\3dpatch\\glide\\tex.bmp", "x");
    PatchRig r(false);
    r.state.gameFolder = g.root();
    r.ps->FillAllGrid();
    const std::vector<std::vector<std::string>> want{{"fmA", "FM/DM", "multi"},
                                                     {"fmB", "FM/DM", "multi"},
                                                     {"skins", "Non - FM/DM", "multi"},
                                                     {"glide", "Non - FM/DM", "3dpatch"}};
    EXPECT_EQ(r.sw.allpat.cells, want);
    EXPECT_EQ(r.sw.allpat.rowCount, 4);
}

TEST(GatherNames, LowerCasesFilesAndSkipsDotNamesAndFolders) {
    GameFolder g;
    g.file("p\\Fmparam1.DAT", "x").file("p\\.hidden", "x").file("p\\sub\\a.txt", "x").file("p\\ro.bmp", "x");
    ::chmod(g.osPath("p/ro.bmp").c_str(), 0444);
    std::vector<std::string> names{"kept"};
    GatherNames(g.osPath("p"), "*", names);
    EXPECT_EQ(names, (std::vector<std::string>{"kept", "fmparam1.dat", "ro.bmp"}));
}

TEST(ActiveGrid, BothMarkersOfOneNameGetARowAndAGoneFolderReadsNonFm) {
    PatchRig r;
    r.g.file("data\\multi\\fm1\\fmparam1.dat", "x")
        .file("data\\multi\\fm1.act", "fmparam1.dat\r\n")
        .file("data\\multi\\fm1.abp", "x\r\n")
        .file("data\\multi\\gone.abp", "x\r\n");
    r.sw.showAll.checked = false;
    r.ps->FillActiveGrid(false);
    const std::vector<std::vector<std::string>> want{
        {"fm1.act", "FM/DM", "multi"}, {"fm1.abp", "FM/DM", "multi"}, {"gone.abp", "non -FM/DM", "multi"}};
    EXPECT_EQ(r.sw.actpat.cells, want);
    EXPECT_EQ(r.sw.actpat.rowCount, 25);
    EXPECT_EQ(r.sw.patchon.items, (std::vector<std::string>{"fm1.act", "fm1.abp", "gone.abp"}));
}

TEST(ActiveGrid, ShowAllKeepsTheRowCountOfTheCurrentArea) {
    PatchRig r;
    for (int i = 0; i < 10; ++i) r.g.file("data\\multi\\m" + std::to_string(i) + ".abp", "");
    for (int i = 0; i < 20; ++i) r.g.file("data\\simpatch\\s" + std::to_string(10 + i) + ".abp", "");
    r.ps->FillActiveGrid(true);
    EXPECT_EQ(r.sw.actpat.rowCount, 25);
    EXPECT_EQ(r.sw.patchon.items.size(), 30u);
    EXPECT_EQ(r.sw.actpat.cell(0, 24), "s24.abp");  // the last visible row
    EXPECT_EQ(r.sw.actpat.cell(2, 24), "simpatch");
    EXPECT_EQ(r.sw.actpat.cells.size(), 25u);      // s25..s29 are not shown
    r.ps->FillActiveGrid(false);
    EXPECT_EQ(r.activeMarkers().size(), 10u);
}

TEST(Probe, AnotherProgramHoldingAnArchiveMeansRunning) {
    struct Case {
        const char* held;
        bool removeVk;
        bool running;
    } cases[] = {
        {nullptr, false, false},
        {"data/vk.vol", false, true},
        {"data/vkshell.vol", false, true},
        {nullptr, true, true},  // a missing vk.vol reads as running
    };
    for (const auto& c : cases) {
        PatchRig r;
        if (c.held) r.processes.held.push_back(r.g.osPath(c.held));
        if (c.removeVk) ::unlink(r.g.osPath("data/vk.vol").c_str());
        EXPECT_EQ(VolkarRunning(r.g.root(), r.processes), c.running) << (c.held ? c.held : "-");
        // Whatever the outcome, the archives keep their names.
        EXPECT_EQ(r.g.exists("data/vk.vol"), !c.removeVk);
        EXPECT_TRUE(r.g.exists("data/vkshell.vol"));
        EXPECT_FALSE(r.g.exists("data/vk.vo_"));
        EXPECT_FALSE(r.g.exists("data/vkshell.vo_"));
    }
}

// A real program holding vk.vol open, as the running game does.
TEST(Probe, AnotherProcessHoldingVkVolOpen) {
    PatchRig r;
    ProcProcesses proc;
    EXPECT_FALSE(VolkarRunning(r.g.root(), proc));
    const std::string script = "exec 3<\"" + r.g.osPath("data/vk.vol") + "\"; echo held > \"" +
                               r.g.osPath("held.txt") + "\"; exec sleep 30";
    std::string sh = "/bin/sh", c = "-c";
    char* argv[] = {sh.data(), c.data(), const_cast<char*>(script.c_str()), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ), 0);
    for (int i = 0; i < 500 && !r.g.exists("held.txt"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(VolkarRunning(r.g.root(), proc));
    EXPECT_TRUE(r.g.exists("data/vk.vol"));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_FALSE(VolkarRunning(r.g.root(), proc));
}

TEST(Status, OnlyVolAndTedPatchesAreBlockedByARunningGame) {
    PatchRig r;
    r.g.file("data\\multi\\terrain\\volkar2.ted", "t").file("data\\multi\\skins\\a.bmp", "b");
    r.processes.held.push_back(r.g.osPath("data/vk.vol"));
    EXPECT_TRUE(r.ps->Status(r.g.osPath("data/multi/terrain")));
    EXPECT_TRUE(r.st.volsorteds.checked);
    EXPECT_TRUE(r.st.volkarruns.checked);
    EXPECT_FALSE(r.st.candoit.checked);
    EXPECT_FALSE(r.ps->Status(r.g.osPath("data/multi/skins")));
    EXPECT_TRUE(r.st.candoit.checked);
    r.processes.held.clear();
    r.ps->Status(r.g.osPath("data/multi/terrain"));
    EXPECT_TRUE(r.st.candoit.checked);
}

TEST(Timestamp, MillisecondsWithoutLeadingZeros) {
    for (auto [tick, tail] : std::vector<std::pair<uint32_t, std::string>>{{1042, ".42"}, {7000, ".0"}, {999, ".999"}}) {
        VirtualClock clock(tick);
        const std::string ts = PatchTimestamp(clock);
        ASSERT_GT(ts.size(), 20u);
        EXPECT_EQ(ts.substr(19), tail);
        EXPECT_EQ(ts[4], '-');
        EXPECT_EQ(ts[10], '_');
        EXPECT_EQ(ts[13], '-');
    }
}

TEST(ListNames, OnlyNamesBelowTheFolderPass) {
    struct Case {
        const char* name;
        bool safe;
    } cases[] = {
        {"fmparam1.dat", true},  {"sounds\\engine.wav", true}, {"a..b.dat", true},
        {"..\\vk.vol", false},   {"../x", false},              {"sub\\..\\..\\x", false},
        {"\\windows\\x", false}, {"/etc/passwd", false},       {"c:\\x.dat", false},
        {"C:x.dat", false},      {"...\\x", false},            {".. \\x", false},
        {"", false},             {"bad\nname", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsSafeListName(c.name), c.safe) << c.name;
}

}  // namespace
}  // namespace vk::test
