#include <gtest/gtest.h>

#include <sys/stat.h>

#include "client/core/path_guard.h"
#include "game_folder.h"
#include "platform/paths.h"

namespace vk {
namespace {

using test::GameFolder;

TEST(ResolvePath, EveryComponentWithoutRegardToCase) {
    GameFolder g;
    g.file("Data\\Multi\\FMParam3.DAT", "x").file("data2\\a.txt", "y");
    EXPECT_EQ(ResolvePath(g.root(), "data\\multi\\fmparam3.dat"), g.root() + "Data/Multi/FMParam3.DAT");
    EXPECT_EQ(ResolvePath(g.root(), "DATA/MULTI/fmparam3.dat"), g.root() + "Data/Multi/FMParam3.DAT");
    EXPECT_EQ(ResolvePath(g.root(), ".\\data\\multi\\"), g.root() + "Data/Multi/");
    // Missing parts keep their spelling: that is where the file would be created.
    EXPECT_EQ(ResolvePath(g.root(), "data\\Multi\\New.txt"), g.root() + "Data/Multi/New.txt");
    EXPECT_EQ(ResolvePath(g.root(), "nofolder\\Sub\\x"), g.root() + "nofolder/Sub/x");
    EXPECT_TRUE(PathExists(g.root(), "DATA\\MULTI\\FMPARAM3.DAT"));
    EXPECT_FALSE(PathExists(g.root(), "data\\multi\\fmparam4.dat"));
}

TEST(ResolvePath, ExactSpellingWinsOverOtherCase) {
    GameFolder g;
    g.file("data\\x.dat", "lower").file("data\\X.DAT", "upper");
    EXPECT_EQ(ResolvePath(g.root(), "data\\X.DAT"), g.root() + "data/X.DAT");
    EXPECT_EQ(ResolvePath(g.root(), "data\\x.dat"), g.root() + "data/x.dat");
    EXPECT_EQ(ResolvePath(g.root(), "data\\x.DAT"), g.root() + "data/X.DAT");  // first in byte order
}

TEST(FindFiles, WildcardAndAttributes) {
    GameFolder g;
    g.file("data\\FMPARAM3.DAT", "123").file("data\\fmparam12.dat", "1").file("data\\acspecs1.dat", "")
        .file("data\\.hidden.dat", "h").folder("data\\fmparamdir.dat").file("data\\other.txt", "o");
    chmod(g.osPath("data\\acspecs1.dat").c_str(), 0444);
    auto all = FindFiles(g.root(), "Data\\*.dat");
    std::vector<std::string> names;
    for (auto& e : all) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{".hidden.dat", "acspecs1.dat", "fmparam12.dat", "FMPARAM3.DAT",
                                                "fmparamdir.dat"}));
    auto byName = [&](const std::string& n) {
        for (auto& e : all)
            if (e.name == n) return e;
        return DirEntry{};
    };
    EXPECT_EQ(byName("FMPARAM3.DAT").size, 3u);
    EXPECT_EQ(byName("FMPARAM3.DAT").attributes, kAttrArchive);
    EXPECT_EQ(byName("acspecs1.dat").attributes, kAttrArchive | kAttrReadOnly);
    EXPECT_EQ(byName(".hidden.dat").attributes, kAttrArchive | kAttrHidden);
    EXPECT_EQ(byName("fmparamdir.dat").attributes & kAttrDirectory, kAttrDirectory);
    EXPECT_EQ(FindFiles(g.root(), "data\\fmparam?.dat").size(), 1u);
    EXPECT_EQ(FindFiles(g.root(), "data\\*.*").size(), 6u);
    EXPECT_TRUE(FindFiles(g.root(), "nodata\\*.dat").empty());
    EXPECT_TRUE(FindFiles(g.root(), "data\\").empty());
}

// The directory search matches as Windows' does: a '?' before a '.' or at the end of the name
// may match nothing, so the default patterns also find the shorter names.
TEST(FindFiles, QuestionMarksFollowTheWindowsRules) {
    GameFolder g;
    for (const char* n : {"acspecs.dat", "acspecs1.dat", "acspecs12.dat", "wingj.dat", "wingj1.dat", "wingj001.dat",
                          "wingj0001.dat", "fmparam.dat", "fmparam3.dat", "FMPARAM12.DAT", "x", "x.a", "x.ab",
                          "noext", "ac.specs.dat"})
        g.file(std::string("data\\") + n, "");
    struct Case {
        const char* pattern;
        std::vector<std::string> names;
    } cases[] = {
        {"acspecs?.dat", {"acspecs.dat", "acspecs1.dat"}},
        {"wingj???.dat", {"wingj.dat", "wingj001.dat", "wingj1.dat"}},
        {"fmparam*?.dat", {"fmparam.dat", "FMPARAM12.DAT", "fmparam3.dat"}},
        {"fmparam?.dat", {"fmparam.dat", "fmparam3.dat"}},
        {"?", {"x"}},
        {"x.?", {"x", "x.a"}},
        {"*.", {"noext", "x"}},
        {"a?specs1.dat", {"acspecs1.dat"}},
        {"ac?specs.dat", {}},  // a '?' matches nothing only before a '.' or at the end
        {"*.dat", {"ac.specs.dat", "acspecs.dat", "acspecs1.dat", "acspecs12.dat", "fmparam.dat", "FMPARAM12.DAT",
                   "fmparam3.dat", "wingj.dat", "wingj0001.dat", "wingj001.dat", "wingj1.dat"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> names;
        for (auto& e : FindFiles(g.root(), std::string("data\\") + c.pattern)) names.push_back(e.name);
        EXPECT_EQ(names, c.names) << c.pattern;
    }
    // Long hostile patterns are matched in one pass over the name.
    EXPECT_FALSE(DirectoryNameMatch(std::string(5000, '*') + "?" + std::string(5000, '*') + "x", std::string(255, 'a')));
}

TEST(GameFolderPath, IsTheFolderOfThisExecutable) {
    std::string f = GameFolderPath();
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(f.back(), '/');
    struct stat st;
    EXPECT_EQ(stat((f + "core_checks_test").c_str(), &st), 0) << f;
}

TEST(PathGuard, RefusesNamesThatLeaveTheGameFolder) {
    struct Case {
        const char* name;
        bool inside;
    } cases[] = {
        {"plyr-cfg.txt", true},
        {"data\\fmparam3.dat", true},
        {".\\data\\multi\\", true},
        {"data/multi/x.dat", true},
        {"a..b\\c...d", true},
        {"", true},
        {"..\\secret.txt", false},
        {"../secret.txt", false},
        {"data\\..\\..\\secret.txt", false},
        {"data/../../secret.txt", false},
        {"data\\..", false},
        {"..", false},
        {"\\etc\\passwd", false},
        {"/etc/passwd", false},
        {"C:\\windows\\win.ini", false},
        {"c:secret.txt", false},
        {"data\\x.dat:stream", false},
        {"\\\\server\\share\\x", false},
    };
    for (auto c : cases) EXPECT_EQ(StaysInGameFolder(c.name), c.inside) << c.name;
    EXPECT_FALSE(StaysInGameFolder(std::string_view("data\0/../x", 10)));
}

}  // namespace
}  // namespace vk
