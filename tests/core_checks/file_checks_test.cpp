#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "client/core/file_checks.h"
#include "common/crc32.h"
#include "game_folder.h"

namespace vk {
namespace {

using test::GameFolder;
using test::MakeArchive;
using test::Member;

std::string Line(const std::string& name, const std::string& content, int status = 1) {
    return name + "=" + std::to_string(content.size()) + "|" + std::to_string(content.empty() ? 0 : Crc32(content)) +
           "|" + std::to_string(content.empty() ? 0 : status);
}

std::vector<std::string> Lines(std::string text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "line without CR LF";
        if (end == std::string::npos) break;
        out.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return out;
}

TEST(FileCrc32, StatusOfFoundMissingEmptyAndUnopenable) {
    GameFolder g;
    g.file("data\\FMPARAM3.DAT", "123456789").file("data\\empty.dat", "").folder("data\\adir");
    struct Case {
        const char* name;
        uint32_t crc;
        int status;
    } cases[] = {
        {"data\\fmparam3.dat", 3421780262u, 1},
        {"DATA/FMPARAM3.DAT", 3421780262u, 1},
        {"data\\missing.dat", 0, 0},
        {"data\\empty.dat", 0, 0},
        {"data\\adir", 0, 0},       // a folder is no file that exists
        {"data\\fmparam?.dat", 0, -1},  // a search finds it, opening the name fails
        {"data\\", 0, 0},
        {"", 0, 0},
    };
    for (auto c : cases) {
        FileCrc r = FileCrc32(g.root(), c.name);
        EXPECT_EQ(r.crc, c.crc) << c.name;
        EXPECT_EQ(r.status, c.status) << c.name;
    }
}

// A file that exists but cannot be opened: status -1, and no byte sum (an error, not the -1 of a
// missing file). Root opens anything, so as root the check runs in a child process that gives
// up its rights first.
TEST(FileCrc32, UnreadableFileHasStatusMinusOne) {
    GameFolder g;
    g.file("data\\locked.dat", "abc");
    chmod(g.osPath("data\\locked.dat").c_str(), 0);
    auto probe = [&] {
        FileCrc r = FileCrc32(g.root(), "data\\locked.dat");
        bool sumFailed = false;
        try {
            FileByteSum(g.root(), "data\\locked.dat");
        } catch (const std::runtime_error&) {
            sumFailed = true;
        }
        return r.status == -1 && r.crc == 0 && sumFailed;
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(probe());
        return;
    }
    for (const std::string& dir : {g.outside(), g.root(), g.osPath("data")}) chmod(dir.c_str(), 0755);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
        _exit(probe() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "cannot give up root rights here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(FileByteSum, AllButTheLastFiveBytes) {
    GameFolder g;
    struct Case {
        std::string content;
        int64_t sum;
    } cases[] = {
        {"", 0},
        {"abcde", 0},
        {"\x01\x02\x03\x04\x05\x06", 1},
        {std::string("\xFF\xFF\x10") + "12345", 0xFF + 0xFF + 0x10},
    };
    int i = 0;
    for (const auto& c : cases) {
        std::string name = "data\\f" + std::to_string(i++) + ".dat";
        g.file(name, c.content);
        EXPECT_EQ(FileByteSum(g.root(), name), c.sum) << name;
    }
    EXPECT_EQ(FileByteSum(g.root(), "data\\missing.dat"), -1);
    EXPECT_EQ(FileByteSum(g.root(), "data"), -1);
}

long MaxRssKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// A 1 GiB file (sparse, with a marked tail) is checksummed and summed in pieces: the peak memory
// of the process grows by far less than the file.
TEST(FileCrc32, LargeFileIsNotHeldInMemory) {
    GameFolder g;
    g.folder("data");
    const uint64_t size = 1ull << 30;
    const std::string tail = "tail-of-the-file";
    {
        int fd = ::open(g.osPath("data\\big.ted").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size - tail.size())), 0);
        ASSERT_EQ(pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(size - tail.size())),
                  static_cast<ssize_t>(tail.size()));
        ::close(fd);
    }
    // Expected CRC: zeros in pieces, then the tail.
    std::string zeros(1 << 20, '\0');
    uint32_t expect = 0;
    for (uint64_t done = 0; done < size - tail.size(); done += zeros.size())
        expect = Crc32Update(expect, zeros.data(), std::min<uint64_t>(zeros.size(), size - tail.size() - done));
    expect = Crc32Update(expect, tail.data(), tail.size());
    zeros.clear();
    zeros.shrink_to_fit();

    const long before = MaxRssKiB();
    FileCrc r = FileCrc32(g.root(), "data\\big.ted");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.crc, expect);
    int64_t sum = 0;
    for (char c : tail.substr(0, tail.size() - 5)) sum += static_cast<unsigned char>(c);
    EXPECT_EQ(FileByteSum(g.root(), "data\\big.ted"), sum);
    EXPECT_LT(MaxRssKiB() - before, 64 * 1024) << "KiB of peak memory grown";
}

TEST(ResultText, LinesEachEndedByCrLf) {
    SortedList l;
    EXPECT_EQ(ResultText(l), "");
    l.add("b=1|2|1");
    l.add("a=1|2|1");
    EXPECT_EQ(ResultText(l), "a=1|2|1\r\nb=1|2|1\r\n");
}

// A check over a fixture game folder with a virtual clock and no other programs.
struct Check {
    GameFolder g;
    FileCheckState state;
    SortedList target;
    VirtualClock clock;
    FixedProcesses processes;
    bool run(const std::string& log, const std::string& folders, const std::string& patterns) {
        return CheckFileSets(state, g.root(), {log, folders, patterns}, target, clock, processes);
    }
};

TEST(CheckFileSets, DefaultListsFirstFolderWinsAndLogs) {
    Check c;
    c.g.file("data\\multi\\fmparam3.dat", "multi fm")
        .file("data\\simpatch\\wingj001.dat", "wing")
        .file("data\\FMPARAM3.DAT", "plain fm")        // same name: data\multi\ came first
        .file("data\\acspecs1.dat", "specs")
        .file("data\\cntrlj123.dat", "")
        .file("data\\notes.txt", "not a pattern")
        .file("fmparam9.dat", "in the game folder: .\\ is searched by relative patterns only");
    ASSERT_TRUE(c.run("plyr-cfg.txt", "", ""));
    const std::vector<std::string> lines = {
        Line("acspecs1.dat", "specs"),
        Line("cntrlj123.dat", ""),
        Line("fmparam3.dat", "multi fm"),
        Line("wingj001.dat", "wing"),
    };
    EXPECT_EQ(c.target.lines(), lines);
    const std::vector<std::string> relevant = {
        "data\\acspecs1.dat",
        "data\\cntrlj123.dat",
        "data\\multi\\fmparam3.dat",
        "data\\simpatch\\wingj001.dat",
    };
    EXPECT_EQ(c.state.relevantFiles.lines(), relevant);
    EXPECT_EQ(Lines(c.g.read("plyr-cfg.txt")), lines);
    EXPECT_EQ(Lines(c.g.read("log-plyr-cfg.txt")), relevant);
    EXPECT_EQ(c.state.folders[0], "data\\multi\\");
    EXPECT_EQ(c.state.folders[3], ".\\");
}

TEST(CheckFileSets, RelativePatternAndItsRelevantEntry) {
    Check c;
    c.g.file("Data\\FMParam3.dat", "fm3").file("Data\\fmparam4.dat", "fm4");
    ASSERT_TRUE(c.run("x.txt", ".\\|", "!data\\fmparam3.dat|"));
    EXPECT_EQ(c.target.lines(), std::vector<std::string>{Line("fmparam3.dat", "fm3")});
    EXPECT_EQ(c.state.relevantFiles.lines(), std::vector<std::string>{".\\data\\fmparam3.dat"});
    // A relative pattern is not searched in other folders, a plain one not in ".\".
    c.target.clear();
    ASSERT_TRUE(c.run("x.txt", "data\\|", "!fmparam3.dat|"));
    EXPECT_EQ(c.target.lines(), std::vector<std::string>{std::string(kNothingFound)});
    // With a wildcard the pattern itself is opened, which no file can be: CRC 0, status -1
    // (see PatternWithFolderPart for why).
    c.target.clear();
    ASSERT_TRUE(c.run("x.txt", ".\\|", "!data\\fmparam?.dat|"));
    EXPECT_EQ(c.target.lines(), (std::vector<std::string>{"fmparam3.dat=3|0|-1", "fmparam4.dat=3|0|-1"}));
}

TEST(CheckFileSets, ArchiveMembersAndProbeLines) {
    Check c;
    const std::string fm = "archived fm", specs = "archived specs";
    c.g.file("data\\vkmulti.vol", MakeArchive({{"fmparam3.dat", fm},
                                                {"acspecs2.dat", specs},
                                                {"acspecs3.dat", "flag 0", 0},
                                                {"FMPARAM4.DAT", "case differs"},
                                                {"readme.txt", "no pattern"}}))
        .file("data\\vklow.vol", MakeArchive({{"fmparam5.dat", "low"}}))
        .file("data\\held.vol", MakeArchive({}))
        .file("data\\fmparam1.dat", "disk");
    c.processes.held.push_back(c.g.osPath("data\\held.vol"));
    ASSERT_TRUE(c.run("log.txt", "data\\&vkmulti.vol&vkmissing.vol&vklow.vol&vklowgone.vol&held.vol&|", ""));
    const std::vector<std::string> lines = {
        "!data\\vkmissing.vol=87237|98328732|1",
        "_data\\vkmulti.vol",
        Line("acspecs2.dat", specs),
        Line("fmparam1.dat", "disk"),
        Line("fmparam3.dat", fm),
        Line("fmparam5.dat", "low"),
    };
    EXPECT_EQ(c.target.lines(), lines);
    EXPECT_EQ(c.state.relevantFiles.lines(), (std::vector<std::string>{"data\\fmparam1.dat", "vklow.vol:fmparam5.dat",
                                                                        "vkmulti.vol:acspecs2.dat",
                                                                        "vkmulti.vol:fmparam3.dat"}));
    // The probe renamed the archive back.
    EXPECT_TRUE(c.g.exists("data\\vkmulti.vol"));
    EXPECT_FALSE(c.g.exists("data\\vkmulti.vol_"));
    // The table keeps the folder without its archive list.
    EXPECT_EQ(c.state.folders[0], "data\\");
    EXPECT_EQ(c.state.folders[1], "");
}

// A plain pattern with a folder part takes the size of the file it found there, but the file it
// checksums is folder + that name, without the pattern's folder part. That is not the file
// found, and it is on purpose: the secure server compares our lines with those the game's own
// client made this way, so a "truer" checksum would ground an honest player.
TEST(CheckFileSets, PatternWithFolderPart) {
    Check c;
    c.g.file("data\\multi\\fmparam3.dat", "in multi").file("data\\fmparam3.dat", "in data");
    c.g.file("data\\multi\\acspecs1.dat", "only in multi");
    ASSERT_TRUE(c.run("l.txt", "data\\|", "multi\\fmparam?.dat|multi\\acspecs?.dat|"));
    EXPECT_EQ(c.target.lines(), (std::vector<std::string>{"acspecs1.dat=13|0|0",  // data\acspecs1.dat: missing
                                                          "fmparam3.dat=8|" + std::to_string(Crc32("in data")) + "|1"}));
    EXPECT_EQ(c.state.relevantFiles.lines(), (std::vector<std::string>{"data\\acspecs1.dat", "data\\fmparam3.dat"}));
}

// However many times a check names an archive's members, each is read once and the lines are
// those of naming them once: the pattern list of a 24 KB request must not cost minutes.
TEST(CheckFileSets, RepeatedPatternsGiveTheLinesOfOne) {
    std::vector<Member> members;
    for (int i = 0; i < 50; ++i) members.push_back({"member" + std::to_string(i) + ".dat", std::string(100 + i, 'm')});
    members.push_back({"fmparam3.dat", "archived"});  // also on disk: the disk file wins
    std::string many;
    for (int i = 0; i < 5000; ++i) many += "*|";
    struct Case {
        const char* name;
        std::string patterns;
    };
    for (const Case& cs : {Case{"5000 stars", many}, Case{"stars and names", "member1*|*|fm*|" + many + "zz*|"}}) {
        SCOPED_TRACE(cs.name);
        Check once, repeated;
        for (Check* c : {&once, &repeated})
            c->g.file("data\\vkmulti.vol", MakeArchive(members)).file("data\\fmparam3.dat", "on disk");
        ASSERT_TRUE(once.run("log.txt", "data\\&vkmulti.vol&|", "*|"));
        ASSERT_TRUE(repeated.run("log.txt", "data\\&vkmulti.vol&|", cs.patterns));
        EXPECT_EQ(repeated.target.lines(), once.target.lines());
        EXPECT_EQ(repeated.state.relevantFiles.lines(), once.state.relevantFiles.lines());
        EXPECT_EQ(repeated.g.read("log.txt"), once.g.read("log.txt"));
        EXPECT_EQ(once.target.size(), 53u);  // 50 members, fmparam3.dat, the archive itself, its probe line
    }
}

// A check that a newer one supersedes stops before its next file and writes no logs.
TEST(CheckFileSets, CancelledCheckStopsAndWritesNothing) {
    Check c;
    c.g.file("data\\fmparam3.dat", "fm").file("data\\vk.vol", MakeArchive({{"acspecs1.dat", "a"}}));
    std::atomic<bool> cancel{true};
    EXPECT_THROW(CheckFileSets(c.state, c.g.root(), {"log.txt", "data\\&vk.vol&|", "*|"}, c.target, c.clock,
                               c.processes, &cancel),
                 CheckCancelled);
    EXPECT_FALSE(c.g.exists("log.txt"));
    EXPECT_FALSE(c.g.exists("log-log.txt"));
    cancel = false;
    EXPECT_TRUE(CheckFileSets(c.state, c.g.root(), {"log.txt", "data\\&vk.vol&|", "*|"}, c.target, c.clock,
                              c.processes, &cancel));
    EXPECT_TRUE(c.g.exists("log.txt"));
}

TEST(CheckFileSets, MemberWhoseNameBeginsASeenNameIsSkipped) {
    Check c;
    c.g.file("data\\fmparam3.dat", "disk")
        .file("data\\vk.vol", MakeArchive({{"fmparam3.dat", "member"}, {"fmparam3.d", "prefix of a seen name"}}));
    ASSERT_TRUE(c.run("log.txt", "data\\&vk.vol&|", "fmparam3*|"));
    EXPECT_EQ(c.target.lines(), (std::vector<std::string>{"_data\\vk.vol", Line("fmparam3.dat", "disk")}));
}

TEST(CheckFileSets, CorruptArchiveEndsTheCheckWithAnError) {
    std::string good = MakeArchive({{"fmparam3.dat", "content"}});
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"short header", good.substr(0, 20)},
        {"name block beyond the end", [&] { auto s = good; s[24] = '\x7F'; s[25] = '\x7F'; s[22] = '\x01'; return s; }()},
        {"name block larger than its chunk", [&] { auto s = good; s[20] = '\x05'; return s; }()},
        {"directory beyond the end", [&] { auto s = good; s[21] = '\x7F'; return s; }()},
        {"member data cut", good.substr(0, good.size() - 3)},
        {"member block beyond the end", [&] { auto s = good; s[28 + 13 + 8 + 5] = '\x7F'; return s; }()},
        {"name offset outside the name block", [&] { auto s = good; s[28 + 13 + 8] = '\x40'; return s; }()},
    };
    for (const auto& cs : cases) {
        Check c;
        c.g.file("data\\vk.vol", cs.bytes);
        EXPECT_THROW(c.run("log.txt", "data\\&vk.vol&|", "fmparam3.dat|"), CheckError) << cs.what;
    }
}

TEST(CheckFileSets, FolderTableKeptBetweenChecks) {
    Check c;
    c.g.file("a\\x1.dat", "1").file("b\\x2.dat", "2").file("data\\x3.dat", "3");
    ASSERT_TRUE(c.run("l.txt", "a\\|b\\|", "x?.dat|"));
    EXPECT_EQ(c.target.size(), 2u);
    EXPECT_EQ(c.state.folders[2], "");
    c.target.clear();
    ASSERT_TRUE(c.run("l.txt", "", "x?.dat|"));  // no folder list: the table as it was left
    EXPECT_EQ(c.target.lines(), (std::vector<std::string>{Line("x1.dat", "1"), Line("x2.dat", "2")}));
}

TEST(CheckFileSets, TerrainResultsCountAsChecked) {
    Check c;
    c.g.file("data\\volkar0.ted", "terrain changed since the start");
    c.state.tedResults.add("volkar0.ted=5|123|1");
    c.target.add("volkar0.ted=5|123|1");  // what check= preloads
    ASSERT_TRUE(c.run("l.txt", "data\\|", "volkar?.ted|"));
    EXPECT_EQ(c.target.lines(), std::vector<std::string>{"volkar0.ted=5|123|1"});
    EXPECT_TRUE(c.state.relevantFiles.empty());
}

TEST(CheckFileSets, EmptyResultReadsNothingFoundButSavesAnEmptyFile) {
    Check c;
    c.g.folder("data");
    ASSERT_TRUE(c.run("empty.txt", "data\\|", "none?.xyz|"));
    EXPECT_EQ(c.target.lines(), std::vector<std::string>{std::string(kNothingFound)});
    EXPECT_TRUE(c.g.exists("empty.txt"));
    EXPECT_EQ(c.g.read("empty.txt"), "");
    EXPECT_EQ(c.g.read("log-empty.txt"), "");
}

// Lists and log names that reach outside the game folder check nothing and write nothing,
// neither inside nor outside it; the target and the folder table stay as they were, and the
// locations of the previous check are gone (a file in error must not be placed by them).
TEST(CheckFileSets, OutsideFolderListsAreRefused) {
    struct Case {
        const char* log;
        const char* folders;
        const char* patterns;
    } cases[] = {
        {"l.txt", "..\\|", ""},
        {"l.txt", "../|", ""},
        {"l.txt", "data\\..\\..\\|", ""},
        {"l.txt", "data/../../|", ""},
        {"l.txt", "C:\\|", ""},
        {"l.txt", "c:/windows/|", ""},
        {"l.txt", "/tmp/|", ""},
        {"l.txt", "\\data\\|", ""},
        {"l.txt", "data\\|", "..\\secret.txt|"},
        {"l.txt", "data\\|", "../secret.txt|"},
        {"l.txt", ".\\|", "!../secret.txt|"},
        {"l.txt", ".\\|", "!/etc/passwd|"},
        {"l.txt", "data\\&../data/vk.vol&|", ""},
        {"l.txt", "data\\&..\\vk.vol&|", ""},
        {"..\\l.txt", "data\\|", ""},
        {"../l.txt", "data\\|", ""},
        {"/tmp/l.txt", "data\\|", ""},
        {"C:\\l.txt", "data\\|", ""},
    };
    for (const auto& cs : cases) {
        Check c;
        c.g.file("data\\fmparam3.dat", "inside");
        const auto before = c.g.outsideSnapshot();
        c.target.add("kept=1|1|1");
        c.state.relevantFiles.add("data\\previous.dat");
        EXPECT_FALSE(c.run(cs.log, cs.folders, cs.patterns)) << cs.log << " " << cs.folders << " " << cs.patterns;
        EXPECT_EQ(c.target.lines(), std::vector<std::string>{"kept=1|1|1"});
        EXPECT_TRUE(c.state.relevantFiles.empty());
        EXPECT_EQ(c.state.folders[0], "data\\multi\\");
        EXPECT_EQ(c.g.outsideSnapshot(), before);
        EXPECT_FALSE(c.g.exists("l.txt"));
        EXPECT_FALSE(c.g.exists("log-l.txt"));
    }
}

TEST(CheckFileSets, LastCheckTimeFromTheClock) {
    struct TickingClock final : Clock {
        uint32_t t = 0xFFFFFFF0u;  // wraps during the check
        uint32_t tickCount() override { return t += 25; }
        void sleep(uint32_t) override {}
        std::time_t now() override { return 0; }
    } clock;
    GameFolder g;
    g.folder("data");
    FileCheckState state;
    SortedList target;
    FixedProcesses none;
    ASSERT_TRUE(CheckFileSets(state, g.root(), {"l.txt", "data\\|", ""}, target, clock, none));
    EXPECT_EQ(state.lastCheckMs, 25u);
}

// Content with a chosen CRC-32: the prefix and four bytes that steer the register to it.
std::string WithCrc(const std::string& prefix, uint32_t target) {
    uint32_t table[256];
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i;
        for (int k = 0; k < 8; ++k) r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1u)));
        table[i] = r;
    }
    uint8_t idx[4];
    uint32_t x = ~target;
    for (int i = 3; i >= 0; --i) {
        uint32_t j = 0;
        while ((table[j] >> 24) != (x >> 24)) ++j;
        idx[i] = static_cast<uint8_t>(j);
        x = (x ^ table[j]) << 8;
    }
    std::string out = prefix;
    uint32_t reg = ~Crc32(prefix);
    for (int i = 0; i < 4; ++i) {
        uint8_t b = static_cast<uint8_t>((reg ^ idx[i]) & 0xFF);
        out += static_cast<char>(b);
        reg = (reg >> 8) ^ table[(reg ^ b) & 0xFF];
    }
    return out;
}

TEST(IdentifyFlightModel, Captions) {
    const std::string orvane = WithCrc("shipped flight model", 2577850363u);
    ASSERT_EQ(Crc32(orvane), 2577850363u);
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;
        bool vk2;
        std::string caption;
    } cases[] = {
        {"act in multi first", {{"data\\simpatch\\Alpha.act", ""}, {"data\\multi\\Zulu.ACT", ""}}, false, "FM: Zulu"},
        {"act in simpatch", {{"data\\simpatch\\Alpha.act", ""}}, false, "FM: Alpha"},
        {"nothing in data", {}, false, "FM in data\\ : NOT Orvane !!! "},
        {"other fm in data", {{"data\\fmparam3.dat", "x"}}, false, "FM in data\\ : NOT Orvane !!! "},
        {"unknown in multi", {{"data\\multi\\fmparam3.dat", "x"}}, false, "FM in data\\multi: Unknown !!"},
        {"unknown in simpatch", {{"data\\simpatch\\fmparam3.dat", "x"}}, false, "FM in data\\simpatch : Unknown !!"},
        {"multi holds other fm file", {{"data\\multi\\wingj001.dat", "x"}}, false, "Unknown FM"},
        {"vk2 without fm files", {}, true, "Unknown FM"},
        {"orvane in data", {{"data\\FMPARAM3.DAT", orvane}}, false, "FM : (in data\\) Orvane "},
        {"orvane in multi", {{"data\\multi\\fmparam3.dat", orvane}}, false, "FM in data\\multi : seems to be Orvane "},
        {"orvane in simpatch", {{"data\\simpatch\\fmparam3.dat", orvane}}, false,
         "FM in data\\simpatch : seems to be Orvane "},
        {"orvane in simpatch of VKII", {{"data\\simpatch\\fmparam3.dat", orvane}}, true,
         "FM in data\\simpatch : seems to be Orvane \r\n VKII install"},
    };
    for (const auto& cs : cases) {
        GameFolder g;
        std::string base = g.root();
        if (cs.vk2) {
            base = g.root() + "VolkarII/";
            g.folder("VolkarII");
        }
        for (const auto& [name, content] : cs.files) {
            std::string path = (cs.vk2 ? "VolkarII\\" : "") + name;
            g.file(path, content);
        }
        g.folder(std::string(cs.vk2 ? "VolkarII\\" : "") + "data\\multi\\sub.act");  // folders are skipped
        EXPECT_EQ(IdentifyFlightModel(base), cs.caption) << cs.what;
    }
}

}  // namespace
}  // namespace vk
