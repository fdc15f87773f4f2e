// The switcher window: activation, texts and colours per area and mode, selection status, the
// jumps from both grids, the readme viewer, game start and closing; and its definition.
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "tests/patches/patch_rig.h"

namespace vk::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Window : ::testing::Test {
    PatchRig r;
    void SetUp() override {
        r.g.file("data\\multi\\fm1\\fmparam1.dat", "x")
            .file("data\\multi\\fm1\\readme.txt", "line one\r\nline two\r\n")
            .file("data\\multi\\skins\\plane.bmp", "x")
            .file("data\\multi\\volpatch\\vkmulti.vol", "x")
            .file("data\\3dpatch\\glide\\wingj1.dat", "x")
            .file("data\\3dpatch\\glide3\\tex.bmp", "x")
            .file("data\\simpatch\\sp1\\acspecs.dat", "x");
    }
};

TEST_F(Window, FirstActivationHidesTheMainWindowAndFillsBothGrids) {
    r.main.visible = true;
    r.open();
    EXPECT_FALSE(r.main.visible);
    EXPECT_EQ(r.sw.Caption, "VK3d Patch Switcher for MMP + SP " + r.g.osPath("data/multi/"));
    EXPECT_EQ(r.sw.patchav.items, (std::vector<std::string>{"fm1"}));
    EXPECT_EQ(r.sw.patchav.itemIndex, -1);
    EXPECT_EQ(r.sw.allpat.rowCount, 6);
    EXPECT_EQ(r.sw.actpat.colWidths, (std::vector<int>{120, 70, 60}));
    EXPECT_EQ(r.sw.exclus.caption, "FM/DM patches, click for non - FM/DM patches");
    EXPECT_THAT(r.boxes(), IsEmpty());
    // Closing with "Done....." shows the main window again.
    r.ps->wrdoneClick();
    EXPECT_FALSE(r.sw.visible);
    r.ps->FormHide();
    EXPECT_TRUE(r.main.visible);
}

TEST(WindowMissingArea, WarnsAboutAMissingMultiAndStaysUsable) {
    PatchRig r(false);
    r.g.file("volkarmmp.exe", "MZ").file("data\\simpatch\\sp1\\a.bmp", "x");
    r.open();
    EXPECT_THAT(r.boxes(), ElementsAre("Attention! no data\\multi.... not in Orvane VK3d folder ?? "));
    EXPECT_TRUE(r.sw.patchav.items.empty());
    EXPECT_EQ(r.sw.allpat.cell(0, 0), "sp1");
}

TEST_F(Window, AreaAndModeTexts) {
    r.open();
    r.sw.setdir.itemIndex = 3;
    r.ps->setdirChange();
    EXPECT_EQ(r.sw.setdir.hint, "for 3dFX Glide or openGLide only, not for DirectDraw users");
    EXPECT_EQ(r.sw.stat.caption, "No patch selected yet, no status available ");
    EXPECT_EQ(r.sw.patchav.items, (std::vector<std::string>{"glide"}));
    EXPECT_EQ(r.sw.showAll.caption, "Active patches in ALL folders, click for 3DPATCH");
    EXPECT_EQ(r.sw.showAll.color, clGray);

    r.sw.exclus.checked = false;
    r.ps->exclusClick();
    EXPECT_EQ(r.sw.patchav.items, (std::vector<std::string>{"glide3"}));
    EXPECT_EQ(r.sw.exclus.caption, "Other patches, click to switch to FM/DM patches");
    EXPECT_EQ(r.sw.descr.caption,
              "patches without FM/DM can be mixed ..... but, they *may* have (conflicting) files in common! ....");
    EXPECT_EQ(r.sw.descr.color, clWhite);
    EXPECT_NE(r.sw.descr.background, clWhite);  // readable
    EXPECT_NE(r.sw.exclus.color, clRed);
    EXPECT_NE(r.sw.exclus.background, r.sw.exclus.color);

    r.sw.exclus.checked = true;
    r.ps->exclusClick();
    EXPECT_EQ(r.sw.descr.color, clRed);
    EXPECT_EQ(r.sw.exclus.color, clRed);

    struct Case {
        int area;
        bool all;
        const char* caption;
        Color color;
    } cases[] = {
        {0, false, "Active patches in MULTI, click to show All ", clOlive},
        {0, true, "Active patches in ALL folders, click for MULTI", clGray},
        {1, false, "Active patches in SIMPATCH, click to show All ", clOlive},
    };
    for (const auto& c : cases) {
        r.sw.setdir.itemIndex = c.area;
        r.ps->setdirChange();
        r.sw.showAll.checked = c.all;
        r.ps->showAllClick();
        EXPECT_EQ(r.sw.showAll.caption, c.caption);
        EXPECT_EQ(r.sw.actpat.hint, c.caption);
        EXPECT_EQ(r.sw.showAll.color, c.color);
    }
    const std::string hints[] = {"for MMP only", "for SP and MMP", "for SP only, but data\\simpatch overrules",
                                 "for 3dFX Glide or openGLide only, not for DirectDraw users"};
    for (int i = 0; i < 4; ++i) {
        r.sw.setdir.itemIndex = i;
        r.ps->setdirChange();
        EXPECT_EQ(r.sw.setdir.hint, hints[i]);
    }
}

TEST_F(Window, SelectionStatusWhileTheGameRuns) {
    r.open();
    r.processes.held.push_back(r.g.osPath("data/vk.vol"));
    r.pick("volpatch", 0, false);
    EXPECT_FALSE(r.sw.turnon.enabled);
    EXPECT_FALSE(r.sw.turnoff.enabled);
    const std::string text = "Patch volpatch can NOT be enabled now, close Volkar first!! ";
    EXPECT_EQ(r.sw.stat.caption, text);
    EXPECT_EQ(r.sw.turnon.hint, text);
    EXPECT_EQ(r.sw.patchav.hint, text);
    EXPECT_EQ(r.sw.stat.background, clRed);
    EXPECT_EQ(r.sw.viewinfo.caption, "No info for volpatch");
    r.ps->viewinfoClick();
    EXPECT_FALSE(r.info.visible);

    r.pick("skins", 0, false);  // no vol or ted file: never blocked
    EXPECT_TRUE(r.sw.turnon.enabled);
    EXPECT_EQ(r.sw.stat.caption, "Patch skins can be enabled now");
    EXPECT_EQ(r.sw.stat.background, clOlive);
    EXPECT_FALSE(r.st.batonoff.checked);
    EXPECT_FALSE(r.st.patchlistfound.checked);
    r.ps->statinfClick();
    EXPECT_TRUE(r.st.visible);
}

TEST_F(Window, ReadmeViewer) {
    r.open();
    r.pick("fm1");
    EXPECT_EQ(r.sw.viewinfo.caption, "View fm1 info");
    r.ps->viewinfoClick();
    EXPECT_TRUE(r.info.visible);
    EXPECT_EQ(r.info.view.lines, (std::vector<std::string>{"line one", "line two"}));
}

TEST_F(Window, JumpToAnActivePatchOfAnotherArea) {
    r.open();
    r.on("glide", 3, true);
    r.on("skins", 0, false);
    r.sw.showAll.checked = true;
    r.ps->showAllClick();  // now data\multi, other patches, all areas shown
    int row = -1;
    for (size_t i = 0; i < r.sw.actpat.cells.size(); ++i)
        if (r.sw.actpat.cells[i][0] == "glide.act") row = static_cast<int>(i);
    ASSERT_GE(row, 0);
    EXPECT_EQ(r.sw.actpat.cell(2, row), "3dpatch");
    r.sw.actpat.row = row;
    r.ps->actpatDblClick();
    EXPECT_EQ(r.sw.setdir.itemIndex, 3);
    EXPECT_EQ(r.sw.setdir.text, "data\\3dpatch");
    EXPECT_TRUE(r.sw.exclus.checked);
    EXPECT_TRUE(r.ps->fmdmMode);
    ASSERT_GE(r.sw.patchav.itemIndex, 0);
    EXPECT_EQ(r.sw.patchav.items[static_cast<size_t>(r.sw.patchav.itemIndex)], "glide");
    EXPECT_EQ(r.sw.actpat.cell(0, r.sw.actpat.row), "glide.act");
}

TEST_F(Window, JumpToAnyPatch) {
    r.open();
    int row = -1;
    for (size_t i = 0; i < r.sw.allpat.cells.size(); ++i)
        if (r.sw.allpat.cells[i][0] == "sp1") row = static_cast<int>(i);
    ASSERT_GE(row, 0);
    r.sw.allpat.row = row;
    r.ps->allpatDblClick();
    EXPECT_EQ(r.sw.setdir.itemIndex, 1);
    ASSERT_GE(r.sw.patchav.itemIndex, 0);
    EXPECT_EQ(r.sw.patchav.items[static_cast<size_t>(r.sw.patchav.itemIndex)], "sp1");
    EXPECT_EQ(r.sw.stat.caption, "Patch sp1 can be enabled now");

    // A patch deleted since the grid was filled.
    std::filesystem::remove_all(r.g.osPath("data/multi/skins"));
    for (size_t i = 0; i < r.sw.allpat.cells.size(); ++i)
        if (r.sw.allpat.cells[i][0] == "skins") row = static_cast<int>(i);
    r.sw.allpat.row = row;
    r.ps->allpatDblClick();
    EXPECT_THAT(r.boxes(), ElementsAre("Error finding skins"));
}

TEST_F(Window, GameStartAndFolderBrowsing) {
    r.open();
    r.ps->runMPPClick();
    EXPECT_THAT(r.boxes(), IsEmpty());
    r.shell.result = 2;
    r.ps->runSPClick();
    EXPECT_THAT(r.boxes(), ElementsAre("error encountered, DOS exitcode: 2"));
    r.pick("fm1");
    r.ps->patchavDblClick();
    EXPECT_THAT(r.shell.calls,
                ElementsAre("open " + r.g.osPath("volkarmmp.exe") + " in " + r.g.root(),
                            "open " + r.g.osPath("volkar.exe") + " in " + r.g.root(),
                            "explore " + r.g.osPath("data/multi/fm1") + " in "));
}

TEST_F(Window, DefinitionsNameEveryControlAndBindTheHandlers) {
    const WindowDef sw = r.ps->PatchSwWindow();
    for (const char* c : {"setdir", "exclus", "descr", "patchav", "stat", "turnon", "turnoff", "cautious", "viewinfo",
                          "statinf", "actpat", "showAll", "allpat", "Refresh", "runMPP", "runSP", "wrdone", "ProgBar",
                          "StatBar", "patchon", "step1", "step2", "step3", "Label2"})
        EXPECT_NE(sw.control(c), nullptr) << c;
    for (auto [c, e] : std::vector<std::pair<std::string, Event>>{{"", Event::Activate},
                                                                  {"", Event::Hide},
                                                                  {"setdir", Event::Change},
                                                                  {"actpat", Event::DblClick},
                                                                  {"allpat", Event::DblClick},
                                                                  {"turnon", Event::Click},
                                                                  {"turnoff", Event::Click}})
        EXPECT_NE(sw.handler(c, e), nullptr) << c;
    // Every control sits inside the window.
    for (const auto& c : sw.controls()) {
        EXPECT_LE(c.place.left + c.place.width, sw.place().width) << c.name;
        EXPECT_LE(c.place.top + c.place.height, sw.place().height) << c.name;
    }
    const WindowDef st = r.ps->StatWinWindow();
    for (const char* c : {"candoit", "volsorteds", "volkarruns", "patchlistfound", "batonoff"}) {
        ASSERT_NE(st.control(c), nullptr) << c;
        EXPECT_FALSE(std::get<CheckBox*>(st.control(c)->model)->enabled) << c;  // read-only
    }
    EXPECT_NE(r.ps->InfoWindow().control("view"), nullptr);
    // Opening from the main window's menu shows it; the front end then activates it.
    r.ps->fmpatcherClick();
    EXPECT_TRUE(r.sw.visible);
}

// The shell starts a Windows program through wine when PATH has one.
TEST(ShellOpenWine, WindowsProgramsRunThroughWine) {
    GameFolder g;
    g.file("bin\\wine", "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/ran.txt\"\n").file("volkar.exe", "MZ\x90");
    ::chmod(g.osPath("bin/wine").c_str(), 0755);
    ::chmod(g.osPath("volkar.exe").c_str(), 0755);
    const char* old = std::getenv("PATH");
    const std::string saved = old ? old : "";
    ::setenv("PATH", g.osPath("nowhere").c_str(), 1);
    EXPECT_EQ(ShellOpen(g.osPath("volkar.exe"), "", g.root()), 11);
    ::setenv("PATH", (g.osPath("bin") + ":/usr/bin:/bin").c_str(), 1);
    EXPECT_GT(ShellOpen(g.osPath("volkar.exe"), "", g.root()), 32);
    ::setenv("PATH", saved.c_str(), 1);
    for (int i = 0; i < 500 && g.read("bin/ran.txt").empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(g.read("bin/ran.txt"), g.osPath("volkar.exe") + "\n");
    EXPECT_EQ(ShellOpen(g.osPath("missing.exe"), "", g.root()), 2);
}

}  // namespace
}  // namespace vk::test
