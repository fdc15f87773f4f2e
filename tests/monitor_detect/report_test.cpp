// vkreport: the match report of an event log, its table and timeline, several runs in one log,
// lines it cannot read, and the page as headless Chromium draws it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "replay_fixture.h"
#include "tools/vkreport/report.h"

namespace vkdetect {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string readPath(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

struct Output {
    int status = -1;
    std::string text;
};

Output run(const std::string& cmd) {
    Output o;
    std::FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return o;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) o.text.append(buf, n);
    int st = pclose(p);
    o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return o;
}

class Report : public ReplayTest {
protected:
    // The sample match of the demo, replayed; its VKST.csv is left in the folder.
    std::string sampleLog() {
        file("lndmrks0.dat", readPath(std::string(VK_SOURCE_DIR) + "/demo/sample/lndmrks0.dat"));
        RunResult r = replayWithIni(readPath(std::string(VK_SOURCE_DIR) + "/demo/sample/match.txt"),
                                    readPath(std::string(VK_SOURCE_DIR) + "/demo/sample/VKST.ini"));
        EXPECT_EQ(r.status, 0);
        file("VKST.csv", r.csv);
        return r.csv;
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
};

const vkreport::Player* find(const vkreport::Run& r, const std::string& name) {
    for (const vkreport::Player& p : r.players)
        if (p.name == name) return &p;
    return nullptr;
}

TEST_F(Report, SampleMatchTableAndTimeline) {
    const vkreport::Log log = vkreport::parseLog(sampleLog());
    EXPECT_TRUE(log.warnings.empty()) << log.warnings.front();
    ASSERT_EQ(log.runs.size(), 1u);
    const vkreport::Run& run = log.runs[0];
    EXPECT_EQ(run.date, "12/05/26");
    EXPECT_EQ(run.startTime, "20:00:00");
    EXPECT_EQ(run.server, "192.168.0.10:2300");
    EXPECT_TRUE(run.shutDown);
    EXPECT_EQ(run.length, 119);
    ASSERT_EQ(run.players.size(), 10u);
    EXPECT_EQ(run.players[0].name, "Kestrel");
    EXPECT_TRUE(run.players[0].blocks.empty());

    struct Case {
        const char* name;
        const char* reason;  // nullptr: never blocked
        int64_t from, length;
        const char* event;
        int count;
    };
    for (const Case& c : {Case{"Falke", "SPEEDER", 45, 21, "SPEEDER", 3}, Case{"Adler", "BAD DROME LOC", 11, 21, "BAD DROME LOC", 1},
                          Case{"Milan", "BAD CHAT", 33, 21, "BAD_CHAT", 1}, Case{"Geier", "FLAMER", 77, 21, "DAMAGE", 5},
                          Case{"Sperber", nullptr, 0, 0, "ENTER REPAIR", 1}, Case{"Uhu", nullptr, 0, 0, "FREEZE", 1}}) {
        SCOPED_TRACE(c.name);
        const vkreport::Player* p = find(run, c.name);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->counts.at(c.event), c.count);
        if (!c.reason) {
            EXPECT_TRUE(p->blocks.empty());
            continue;
        }
        ASSERT_EQ(p->blocks.size(), 1u);
        EXPECT_EQ(p->blocks[0].reason, c.reason);
        EXPECT_EQ(p->blocks[0].from, c.from);
        EXPECT_EQ(p->blocks[0].to - p->blocks[0].from, c.length);
        EXPECT_FALSE(p->blocks[0].open);
    }
    EXPECT_EQ(find(run, "Sperber")->sessions, 1);

    // The page: self-contained, one table row per player, one timeline row per player.
    const std::string html = vkreport::renderHtml(run, "VKST.csv");
    EXPECT_THAT(html, HasSubstr("<td>Falke</td><td>203.0.113.22:2301</td><td class=\"num\">1 (#1)</td>"));
    EXPECT_THAT(html, HasSubstr("SPEEDER at 0:45 for 21 s"));
    EXPECT_THAT(html, HasSubstr("match length 1:59"));
    EXPECT_THAT(html, Not(HasSubstr("src=")));
    EXPECT_THAT(html, Not(HasSubstr("href=")));
    EXPECT_THAT(html, Not(HasSubstr("<script")));
    const std::string svg = vkreport::renderTimeline(run);
    size_t shaded = 0;
    for (size_t at = svg.find("fill-opacity=\"0.22\""); at != std::string::npos; at = svg.find("fill-opacity=\"0.22\"", at + 1))
        ++shaded;
    EXPECT_EQ(shaded, 7u);  // the seven players blocked in the sample
    EXPECT_THAT(svg, HasSubstr(">Falke</text>"));
    EXPECT_THAT(svg, HasSubstr("<title>0:42 SPEEDER: 20</title>"));
}

// A hand-made log: an older run that ended without its shutdown line (a block still open), a
// line of rubbish, and a second run with names that try to break the page.
TEST_F(Report, TwoRunsAMalformedLineAndHostileNames) {
    file("VKST.csv",
         "\r\nVKS Terminator Version Beta 1.54 (for WinPcap 3.1 Beta) - Date: 12/04/26 - Time: 23:59:50,\r\n"
         "VK server IP:port is 192.168.0.10:2300\r\n"
         "Listening on eth0...\r\n\r\n"
         "23:59:50, 10.0.0.5, 2301, Kestrel, NEW SESSION, NEW SESSION, 0, \r\n"
         "23:59:55, 10.0.0.5, 2301, event_msg, OBSERVE, OBSERVE, OBSERVE, \r\n"
         "\r\n\r\n WARNING: PACKET LENTGH > MAX_PACKET_SIZE!! \r\n\r\n"
         "00:00:01, 10.0.0.5, 2301, Kestrel, BLOCK, BLOCK, OBSERVE, \r\n"
         "garbage, \x01\x02 not a line\r\n"
         "00:00:20, 10.0.0.5, 2301, Kestrel, SPEEDER, SPEEDER\r\n"
         "\r\nVKS Terminator Version Beta 1.54 (for WinPcap 3.1 Beta) - Date: 12/05/26 - Time: 20:00:00,\r\n"
         "VK server IP:port is 192.168.0.10:2300\r\n"
         "20:00:00, 10.0.0.7, 2301, <script>x</script>, NEW SESSION, NEW SESSION, 0, \r\n"
         "20:00:01, 10.0.0.8, 2302, A, B, NEW SESSION, NEW SESSION, 1, \r\n"
         "20:00:02, 10.0.0.9, 2303, \xC8Hans\xC8, NEW SESSION, NEW SESSION, 2, \r\n"
         "20:00:03, 10.0.0.9, 2303, event_msg, BAD_CHAT, BAD_CHAT, you, all, cheat,\r\n"
         "VKS Terminator shutting down - Date: 12/05/26 - Time: 20:01:00,\r\n");
    Output o = run(std::string(VK_BINARY_DIR) + "/bin/vkreport " + path("VKST.csv") + " -o " + path("match.html"));
    EXPECT_EQ(o.status, 0) << o.text;
    EXPECT_THAT(o.text, HasSubstr("VKST.csv: line 13: not an event line, skipped: garbage, ?? not a line\n"));
    // A line cut short after its event (a crash while writing it) still counts.
    EXPECT_THAT(o.text, Not(HasSubstr("line 14")));
    EXPECT_THAT(o.text, HasSubstr("run 1 (12/04/26 23:59:50, 1 players, 30 s) -> " + path("match-1.html")));
    EXPECT_THAT(o.text, HasSubstr("run 2 (12/05/26 20:00:00, 3 players, 60 s) -> " + path("match-2.html")));

    const std::string first = readPath(path("match-1.html"));
    // Across midnight: the block began 11 s into the run and was still in place when the log ended.
    EXPECT_THAT(first, HasSubstr("OBSERVE at 0:11 for 19 s (not lifted in the log)"));
    EXPECT_THAT(first, HasSubstr("SPEEDER &times;1"));
    EXPECT_THAT(first, HasSubstr("1 oversized-packet warnings"));
    EXPECT_THAT(first, HasSubstr("no shutdown line"));

    const std::string second = readPath(path("match-2.html"));
    EXPECT_THAT(second, Not(HasSubstr("<script>")));
    EXPECT_THAT(second, HasSubstr("&lt;script&gt;x&lt;/script&gt;"));
    EXPECT_THAT(second, HasSubstr("<td>A, B</td>"));
    EXPECT_THAT(second, HasSubstr("&#200;Hans&#200;"));
    EXPECT_THAT(second, HasSubstr("BAD_CHAT: you, all, cheat"));
    for (char c : second) EXPECT_LT(static_cast<unsigned char>(c), 128u) << "the page is plain ASCII";

    // Usage errors and an unreadable log are refused.
    EXPECT_EQ(run(std::string(VK_BINARY_DIR) + "/bin/vkreport").status, 2);
    Output missing = run(std::string(VK_BINARY_DIR) + "/bin/vkreport " + path("nothing.csv"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.text, HasSubstr("cannot read"));
}

// The sample match's report as headless Chromium draws it; the PNG is left in build/artifacts/
// (docs/vkreport-sample-match.png is a copy).
TEST_F(Report, SampleMatchScreenshotInHeadlessChromium) {
    Output which = run("command -v chromium");
    if (which.status != 0) GTEST_SKIP() << "chromium is not installed (scripts/setup.sh installs it)";
    // The page names the capture as the demo does, without this test's folder.
    std::string log = sampleLog();
    const std::string folder = dir_.string() + "/";
    for (size_t at; (at = log.find(folder)) != std::string::npos;) log.erase(at, folder.size());
    file("VKST.csv", log);
    Output o = run(std::string(VK_BINARY_DIR) + "/bin/vkreport " + path("VKST.csv") + " -o " + path("report.html"));
    ASSERT_EQ(o.status, 0) << o.text;
    const std::string shot = path("report.png");
    Output c = run("HOME=" + dir_.string() + " timeout 120 chromium --headless --no-sandbox --disable-gpu "
                   "--hide-scrollbars --no-first-run --user-data-dir=" + path("profile") +
                   " --window-size=1000,1000 --screenshot=" + shot + " file://" + path("report.html"));
    const std::string png = readPath(shot);
    if (png.empty()) GTEST_SKIP() << "chromium could not run here: " << c.text.substr(0, 400);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_GT(png.size(), 20000u) << "a blank page is far smaller";
    std::filesystem::create_directories(std::string(VK_BINARY_DIR) + "/artifacts");
    std::ofstream(std::string(VK_BINARY_DIR) + "/artifacts/vkreport-sample-match.png", std::ios::binary) << png;
}

}  // namespace
}  // namespace vkdetect
