// The detectors end to end: generated captures replayed through VKST -r, console lines and
// VKST.csv event lines compared byte for byte.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "tests/monitor_detect/replay_fixture.h"

namespace vkdetect {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

class Detect : public ReplayTest {};

// A landmark matching a player that never sent a position (grid 0: 48.42, 2.53, altitude 0), so
// that the drome check of in-game players stays quiet in the tests of other detectors.
const Landmark kOrigin{48.425f, 2.533f, 0.0f};

TEST_F(Detect, SingleMessageDetectorsReportWithoutBlocking) {
    RunResult r = replay(std::string(kHead) +
                         "player Kestrel 10.0.0.5:2301\n"
                         "player Falke 10.0.0.6:2302\n"
                         "player Stranger 10.0.0.9:2309\n"
                         "at 0 Kestrel goldroom aircraft=3\n"
                         "at 0.2 Falke goldroom aircraft=7\n"
                         "at 0.5 Kestrel checksum 12-200\n"
                         "at 0.6 Falke checksum 12-201\n"
                         "at 1.0 Kestrel chat \"You CHEAT\"\n"
                         "at 1.1 Kestrel chat \"good luck all\"\n"
                         "at 1.2 Falke observe\n"
                         "at 2.3 Stranger observe\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.loopLines(), ElementsAre("Creating player session 0, Kestrel (10.0.0.5:2301)",
                                           "Kestrel sent a Gold Room MSG (aircraft # = 3)",
                                           "Creating player session 1, Falke (10.0.0.6:2302)",
                                           "Falke sent a Gold Room MSG (aircraft # = 7)",
                                           "Kestrel (10.0.0.5) joined game",
                                           "Logged checksum MSG from 10.0.0.5",
                                           "Falke (10.0.0.6) joined game",
                                           "Logged checksum MSG from 10.0.0.6",
                                           "INCORRECT PLAYER CHECKSUM MSG from 10.0.0.6",
                                           "BAD CHAT from 10.0.0.5,  you cheat ",
                                           "OBSERVE MSG from 10.0.0.6",
                                           "OBSERVE MSG from 10.0.0.9"));
    EXPECT_THAT(r.events(), ElementsAre("12:00:00, 10.0.0.5, 2301, Kestrel, NEW SESSION, NEW SESSION, 0, ",
                                        "12:00:00, 10.0.0.5, 2301, Kestrel, GR-EVENT, GR-EVENT, 3, ",
                                        "12:00:00, 10.0.0.6, 2302, Falke, NEW SESSION, NEW SESSION, 1, ",
                                        "12:00:00, 10.0.0.6, 2302, Falke, GR-EVENT, GR-EVENT, 7, ",
                                        "12:00:00, 10.0.0.5, 2301, event_msg, CHECKSUM, CHECKSUM, 12-200, ",
                                        "12:00:00, 10.0.0.6, 2302, event_msg, CHECKSUM, CHECKSUM, 12-201, ",
                                        "12:00:00, 10.0.0.6, 2302, event_msg, BAD CHECK, BAD CHECK, 12-201, ",
                                        "12:00:01, 10.0.0.5, 2301, event_msg, BAD_CHAT, BAD_CHAT, you cheat,",
                                        "12:00:01, 10.0.0.6, 2302, event_msg, OBSERVE, OBSERVE, OBSERVE, ",
                                        "12:00:02, 10.0.0.9, 2309, event_msg, OBSERVE, OBSERVE, OBSERVE, "));
}

// Each single-message detector blocks with its reason when its switch is on, and not otherwise.
TEST_F(Detect, SingleMessageDetectorsBlockWhenSwitchedOn) {
    struct Case {
        const char* line;
        int Flags::*flag;
        const char* reason;
    } cases[] = {
        {"at 1 Kestrel observe\n", &Flags::observe, "OBSERVE"},
        {"at 1 Kestrel checksum 12-201\n", &Flags::checksum, "BAD CHECK"},
        {"at 1 Kestrel chat \"a CHEAT here\"\n", &Flags::badChat, "BAD CHAT"},
    };
    for (const Case& c : cases) {
        for (int on : {0, 1}) {
            SCOPED_TRACE(std::string(c.line) + (on ? " switched on" : " switched off"));
            Flags f;
            f.*c.flag = on;
            f.blockTime = 2;
            RunResult r = replay(std::string(kHead) +
                                 "player Kestrel 10.0.0.5:2301\n"
                                 "at 0 Kestrel goldroom\n"
                                 "at 0.5 Kestrel checksum 12-200\n" + c.line +
                                 "from 1 to 9 every 0.5 Kestrel noise\n",
                                 f);
            std::string block = std::string("Kestrel, BLOCK, BLOCK, ") + c.reason + ", ";
            std::string unblock = std::string("Kestrel, UNBLOCK, UNBLOCK, ") + c.reason + ", ";
            if (on) {
                EXPECT_THAT(r.csv, HasSubstr(block));
                EXPECT_THAT(r.csv, HasSubstr(unblock));
                EXPECT_THAT(r.out, HasSubstr("BLOCKING Kestrel (10.0.0.5)\n"));
            } else {
                EXPECT_THAT(r.csv, Not(HasSubstr("BLOCK, BLOCK")));
                EXPECT_THAT(r.out, Not(HasSubstr("BLOCKING")));
            }
        }
    }
}

// 10 packets a second, then 5 (lag), then 20 (high); the lag hold keeps the high counts from
// being judged for five ticks, then one warning tick and speeding on the next.
TEST_F(Detect, LagHoldThenTwoTicksOfHighCountsIsSpeeding) {
    file("lndmrks0.dat", landmarkFile({kOrigin}));
    Flags f;
    f.speeder = 1;
    f.blockTime = 1;
    RunResult r = replay(std::string(kHead) +
                         "player Kestrel 10.0.0.5:2301\n"
                         "at 0 Kestrel goldroom\n"
                         "at 0.5 Kestrel checksum 12-200\n"
                         "from 0 to 10 10/s Kestrel noise\n"
                         "from 10 to 13 5/s Kestrel noise\n"
                         "from 13 to 19.5 20/s Kestrel noise\n"
                         "from 19.5 to 26 10/s Kestrel noise\n",
                         f);
    EXPECT_THAT(r.loopLines(),
                ElementsAre("Creating player session 0, Kestrel (10.0.0.5:2301)",
                            "Kestrel sent a Gold Room MSG (aircraft # = 1)",
                            "Kestrel (10.0.0.5) joined game",
                            "Logged checksum MSG from 10.0.0.5",
                            "Kestrel drome location (LAT,LON,ALT) is 48.42, 2.53, 0",
                            "Kestrel drome number is #1",
                            "Kestrel in game",
                            // tick 11: 5 packets
                            "Kestrel lagging (msg cnt = 5, IP: 10.0.0.5)",
                            "Ignoring Kestrel numMsgs for 5 seconds",
                            // ticks 12, 13 lag again under the hold; 14 to 17 high but held
                            "High msg count by Kestrel (msg cnt = 20, IP: 10.0.0.5)",  // tick 18
                            "SPEEDING by Kestrel (msg cnt = 20, IP: 10.0.0.5)",        // tick 19
                            "(replay) route add 10.0.0.5 mask 255.255.255.255 192.0.2.1",
                            "BLOCKING Kestrel (10.0.0.5)",
                            "(replay) route delete 10.0.0.5 mask 255.255.255.255 192.0.2.1",
                            "UNBLOCKING Kestrel (10.0.0.5)",
                            "Closing player session 0, Kestrel (10.0.0.5:2301)"));
    std::vector<std::string> ev = r.events();
    EXPECT_THAT(ev, ::testing::Contains("12:00:11, 10.0.0.5, 2301, Kestrel, LAG, LAG, 5, "));
    EXPECT_THAT(ev, ::testing::Contains("12:00:19, 10.0.0.5, 2301, Kestrel, SPEEDER, SPEEDER, 20, "));
    EXPECT_THAT(ev, ::testing::Contains("12:00:04, 10.0.0.5, 2301, Kestrel, DROME LOC, DROME LOC, #1 @ 48.42-2.53-0, "));
}

// Lag for three ticks gives one report; after five normal ticks the hold has run down and the
// next lag is reported again.
TEST_F(Detect, LagIsReportedAgainOnlyAfterTheHoldRunsDown) {
    file("lndmrks0.dat", landmarkFile({kOrigin}));
    RunResult r = replay(std::string(kHead) +
                         "player Kestrel 10.0.0.5:2301\n"
                         "at 0 Kestrel goldroom\n"
                         "at 0.5 Kestrel checksum 12-200\n"
                         "from 0 to 10 10/s Kestrel noise\n"
                         "from 10 to 13 every 0.143 Kestrel noise\n"  // 7 a tick
                         "from 13 to 18 10/s Kestrel noise\n"
                         "from 18 to 20 every 0.143 Kestrel noise\n"
                         "at 21 Kestrel noise\n");
    std::vector<std::string> lag;
    for (const std::string& l : r.loopLines())
        if (l.find("lagging") != std::string::npos) lag.push_back(l);
    EXPECT_THAT(lag, ElementsAre("Kestrel lagging (msg cnt = 7, IP: 10.0.0.5)",    // tick 11
                                 "Kestrel lagging (msg cnt = 7, IP: 10.0.0.5)"));  // tick 19
    std::vector<std::string> ev;
    for (const std::string& l : r.events())
        if (l.find(", LAG,") != std::string::npos) ev.push_back(l);
    EXPECT_THAT(ev, ElementsAre("12:00:11, 10.0.0.5, 2301, Kestrel, LAG, LAG, 7, ",
                                "12:00:19, 10.0.0.5, 2301, Kestrel, LAG, LAG, 7, "));
}

// A player falls silent while another source keeps the detector ticking: lag, then FREEZE on
// the fifth silent tick, and the session is closed on the 37th.
TEST_F(Detect, FreezeThenIdleClose) {
    file("lndmrks0.dat", landmarkFile({kOrigin}));
    RunResult r = replay(std::string(kHead) +
                         "player Kestrel 10.0.0.5:2301\n"
                         "player Ticker 10.0.0.99:2399\n"
                         "at 0 Kestrel goldroom\n"
                         "at 0.5 Kestrel checksum 12-200\n"
                         "from 0 to 10 10/s Kestrel noise\n"
                         "from 0 to 50 10/s Ticker noise\n");
    EXPECT_THAT(r.loopLines(),
                ElementsAre("Creating player session 0, Kestrel (10.0.0.5:2301)",
                            "Kestrel sent a Gold Room MSG (aircraft # = 1)",
                            "Kestrel (10.0.0.5) joined game",
                            "Logged checksum MSG from 10.0.0.5",
                            "Kestrel drome location (LAT,LON,ALT) is 48.42, 2.53, 0",
                            "Kestrel drome number is #1",
                            "Kestrel in game",
                            "Kestrel lagging (msg cnt = 0, IP: 10.0.0.5)",           // tick 11
                            "Ignoring Kestrel numMsgs for 5 seconds",
                            "FREEZING by Kestrel (0 MSGs for 5 seconds, IP: 10.0.0.5)",  // tick 15
                            "Closing player session 0, Kestrel (10.0.0.5:2301)"));       // tick 47
    std::vector<std::string> ev = r.events();
    ASSERT_GE(ev.size(), 3u);
    EXPECT_THAT(std::vector<std::string>(ev.end() - 3, ev.end()),
                ElementsAre("12:00:11, 10.0.0.5, 2301, Kestrel, LAG, LAG, 0, ",
                            "12:00:15, 10.0.0.5, 2301, Kestrel, FREEZE, FREEZE, 5, ",
                            "12:00:47, 10.0.0.5, 2301, Kestrel, CLOSE SESSION, CLOSE SESSION, 0, "));
}

TEST_F(Detect, FreezeBlocksWhenSwitchedOnAndTheBlockKeepsTheSlot) {
    file("lndmrks0.dat", landmarkFile({kOrigin}));
    Flags f;
    f.freeze = 1;
    f.blockTime = 2;
    RunResult r = replay(std::string(kHead) +
                         "player Kestrel 10.0.0.5:2301\n"
                         "player Ticker 10.0.0.99:2399\n"
                         "at 0 Kestrel goldroom\n"
                         "at 0.5 Kestrel checksum 12-200\n"
                         "from 0 to 10 10/s Kestrel noise\n"
                         "from 0 to 30 10/s Ticker noise\n",
                         f);
    std::vector<std::string> ev = r.events();
    EXPECT_THAT(ev, ::testing::Contains("12:00:15, 10.0.0.5, 2301, Kestrel, FREEZE, FREEZE, 5, "));
    EXPECT_THAT(r.csv, HasSubstr("Kestrel, BLOCK, BLOCK, FREEZE, "));
    // Closed once, by the end of the block, not by the idle check.
    int closes = 0;
    for (const std::string& l : ev) closes += l.find("CLOSE SESSION") != std::string::npos;
    EXPECT_EQ(closes, 1);
}

// Repairs: ignored before the player is in game; logged with the stored position; the 16-second
// block starts, an early repair is reported, and a return to the Gold Room cancels the countdown
// silently. A later repair after a new join, past EnterRepairTime, is not "too soon".
TEST_F(Detect, RepairCountdownCancelledByGoldRoom) {
    file("lndmrks0.dat", landmarkFile({kOrigin, {48.70f, 2.57f, 1000.0f}}));
    Flags f;
    f.repair = 1;
    f.enterRepair = 1;
    RunResult r = replay(std::string(kHead) +
                         "player Kestrel 10.0.0.5:2301\n"
                         "at 0 Kestrel goldroom\n"
                         "at 0.5 Kestrel checksum 12-200\n"
                         "from 0 to 40 10/s Kestrel noise\n"
                         "at 4.5 Kestrel repair\n"                        // 5 in-game ticks: ignored
                         "at 7.05 Kestrel position lat=100000 lon=10000 alt=1000\n"
                         "at 10.5 Kestrel repair\n"                       // 10 s after joining
                         "at 14.5 Kestrel goldroom\n"
                         "at 15.5 Kestrel checksum 12-200\n"
                         "at 36.5 Kestrel repair\n",                      // 21 s after joining
                         f);
    EXPECT_THAT(r.loopLines(),
                ElementsAre("Creating player session 0, Kestrel (10.0.0.5:2301)",
                            "Kestrel sent a Gold Room MSG (aircraft # = 1)",
                            "Kestrel (10.0.0.5) joined game",
                            "Logged checksum MSG from 10.0.0.5",
                            "Kestrel drome location (LAT,LON,ALT) is 48.42, 2.53, 0",
                            "Kestrel drome number is #1",
                            "Kestrel in game",
                            "REPAIR MSG from Kestrel (10.0.0.5)",
                            "Will block Kestrel (10.0.0.5) in 16 seconds",
                            "REPAIR too soon after enter, from Kestrel ",
                            "Kestrel sent a Gold Room MSG (aircraft # = 1)",
                            "Kestrel (10.0.0.5) joined game",
                            "Logged checksum MSG from 10.0.0.5",
                            "Kestrel drome location (LAT,LON,ALT) is 48.70, 2.57, 1000",
                            "Kestrel drome number is #2",
                            "Kestrel in game",
                            "REPAIR MSG from Kestrel (10.0.0.5)",
                            "Will block Kestrel (10.0.0.5) in 16 seconds"));
    EXPECT_THAT(r.events(),
                ::testing::IsSupersetOf({
                    "12:00:10, 10.0.0.5, 2301, Kestrel, REPAIR, REPAIR, 48.70 - 2.57 - 1000, ",
                    "12:00:10, 10.0.0.5, 2301, Kestrel, ENTER REPAIR, ENTER REPAIR, ENTER REPAIR,",
                    "12:00:36, 10.0.0.5, 2301, Kestrel, REPAIR, REPAIR, 48.70 - 2.57 - 1000, ",
                }));
    EXPECT_THAT(r.csv, Not(HasSubstr("BLOCK, BLOCK")));
}

// Six repairs within one detector tick are a wall ride (five in the tick before are not).
TEST_F(Detect, SixRepairsInOneTickAreAWallRide) {
    file("lndmrks0.dat", landmarkFile({kOrigin}));
    Flags f;
    f.wallRide = 1;
    f.enterRepairTime = 0;
    f.blockTime = 1;
    std::string s = std::string(kHead) +
                    "player Kestrel 10.0.0.5:2301\n"
                    "at 0 Kestrel goldroom\n"
                    "at 0.5 Kestrel checksum 12-200\n"
                    "from 0 to 15 10/s Kestrel noise\n"
                    "from 8.41 to 8.46 every 0.01 Kestrel repair\n"    // five
                    "from 9.41 to 9.47 every 0.01 Kestrel repair\n";  // six
    RunResult r = replay(s, f);
    std::vector<std::string> lines = r.loopLines();
    int repairs = 0;
    for (const std::string& l : lines) repairs += l == "REPAIR MSG from Kestrel (10.0.0.5)";
    EXPECT_EQ(repairs, 11);
    ASSERT_GE(lines.size(), 8u);
    std::vector<std::string> tail(lines.end() - 8, lines.end());
    // An in-game block request announces itself.
    EXPECT_THAT(tail, ElementsAre("REPAIR MSG from Kestrel (10.0.0.5)", "WALL RIDE from Kestrel ",
                                  "Will block Kestrel (10.0.0.5) in 1 seconds",
                                  "(replay) route add 10.0.0.5 mask 255.255.255.255 192.0.2.1",
                                  "BLOCKING Kestrel (10.0.0.5)",
                                  "(replay) route delete 10.0.0.5 mask 255.255.255.255 192.0.2.1",
                                  "UNBLOCKING Kestrel (10.0.0.5)",
                                  "Closing player session 0, Kestrel (10.0.0.5:2301)"))
        << r.loopText();
    EXPECT_THAT(r.events(), ::testing::Contains(
                                "12:00:09, 10.0.0.5, 2301, Kestrel, WALL RIDE, WALL RIDE, WALL RIDE,"));
    EXPECT_THAT(r.csv, HasSubstr("Kestrel, BLOCK, BLOCK, WALL RIDE, "));
}

// Position, smoke and damage are sampled only in the first 210 ms after a detector tick, one
// message per player per tick; the first message past 210 ms is still used and closes the window.
TEST_F(Detect, SmokeAndDamageSampledInTheWindow) {
    file("lndmrks0.dat", landmarkFile({kOrigin}));
    RunResult r = replay(std::string(kHead) +
                         "player Kestrel 10.0.0.5:2301\n"
                         "at 0 Kestrel goldroom\n"
                         "at 0.5 Kestrel checksum 12-200\n"
                         "from 0 to 20 10/s Kestrel noise\n"
                         "at 6.15 Kestrel position smoke=1\n"           // used
                         "at 7.25 Kestrel position smoke=3\n"           // first past 210 ms: used
                         "at 8.35 Kestrel position smoke=1\n"           // window closed at 8.3
                         "at 9.05 Kestrel position smoke=0\n"           // used, no smoke
                         "at 9.10 Kestrel position smoke=1\n"           // second in the tick
                         "at 10.05 Kestrel damage smoke=1\n"            // DmgCnt 1
                         "at 10.5 Kestrel damage\n"                     // outside the window
                         "at 11.05 Kestrel damage len=16\n"             // 2
                         "at 12.05 Kestrel position\n"                  // back to 0
                         "at 13.05 Kestrel damage len=30\n");           // 1
    std::vector<std::string> lines = r.loopLines();
    std::vector<std::string> sampled(lines.begin() + 7, lines.end());
    EXPECT_THAT(sampled, ElementsAre("AIRSHOW SMOKE by Kestrel (10.0.0.5)", "AIRSHOW SMOKE by Kestrel (10.0.0.5)",
                                     "DAMAGE to Kestrel (10.0.0.5)", "DAMAGE to Kestrel (10.0.0.5)",
                                     "DAMAGE to Kestrel (10.0.0.5)"))
        << r.loopText();
    // Frame sizes: 42 + 3 + damage (len + 2) + filler (len + 27).
    std::vector<std::string> ev = r.events();
    ASSERT_GE(ev.size(), 5u);
    EXPECT_THAT(std::vector<std::string>(ev.end() - 5, ev.end()),
                ElementsAre("12:00:06, 10.0.0.5, 2301, Kestrel, SMOKE, SMOKE, 1, ",
                            "12:00:07, 10.0.0.5, 2301, Kestrel, SMOKE, SMOKE, 3, ",
                            "12:00:10, 10.0.0.5, 2301, Kestrel, DAMAGE, DAMAGE, DmgCnt: 1 - pktlen: 114 - Buf31: 20, ",
                            "12:00:11, 10.0.0.5, 2301, Kestrel, DAMAGE, DAMAGE, DmgCnt: 2 - pktlen: 106 - Buf31: 16, ",
                            "12:00:13, 10.0.0.5, 2301, Kestrel, DAMAGE, DAMAGE, DmgCnt: 1 - pktlen: 134 - Buf31: 30, "));
}

// A damage message reads its position from the decode buffer beyond itself: after a longer
// message of the same packet, those are that message's bytes (here a chat's, at message bytes
// 42 to 49 for a damage message of length 16), which a later repair report shows.
TEST_F(Detect, DamageAfterALongerMessageReadsThatMessagesBytes) {
    file("lndmrks0.dat", landmarkFile({kOrigin}));
    std::vector<uint8_t> chat(62, 0);
    chat[0] = 60;
    chat[3] = 18;
    chat[7] = 64;
    const uint8_t grid[] = {1, 16, 39, 0, 232, 3, 160, 134};  // 100000, 10000, 1000
    std::memcpy(&chat[42], grid, sizeof grid);
    std::string raw = "raw";
    for (uint8_t b : chat) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", b);
        raw += hex;
    }
    RunResult r = replay(std::string(kHead) +
                         "player Kestrel 10.0.0.5:2301\n"
                         "at 0 Kestrel goldroom\n"
                         "at 0.5 Kestrel checksum 12-200\n"
                         "from 0 to 10 10/s Kestrel noise\n"
                         "at 7.05 Kestrel " + raw + " + damage len=16\n"
                         "at 8.5 Kestrel repair\n");
    EXPECT_THAT(r.events(), ::testing::IsSupersetOf({
                                "12:00:07, 10.0.0.5, 2301, Kestrel, DAMAGE, DAMAGE, DmgCnt: 1 - pktlen: 168 - Buf31: 16, ",
                                "12:00:08, 10.0.0.5, 2301, Kestrel, REPAIR, REPAIR, 48.70 - 2.57 - 1000, ",
                            }));
}

// Five sampled damage messages in a row are a flamer; smoke blocks too when switched on.
TEST_F(Detect, FlamerAndSmokeBlock) {
    file("lndmrks0.dat", landmarkFile({kOrigin}));
    struct Case {
        const char* lines;
        int Flags::*flag;
        const char* reason;
    } cases[] = {
        {"from 6.05 to 11 every 1 Kestrel damage\n", &Flags::flamer, "FLAMER"},
        {"at 6.05 Kestrel position smoke=1\n", &Flags::smoke, "SMOKE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        Flags f;
        f.*c.flag = 1;
        f.blockTime = 1;
        RunResult r = replay(std::string(kHead) +
                             "player Kestrel 10.0.0.5:2301\n"
                             "at 0 Kestrel goldroom\n"
                             "at 0.5 Kestrel checksum 12-200\n"
                             "from 0 to 16 10/s Kestrel noise\n" + c.lines,
                             f);
        EXPECT_THAT(r.csv, HasSubstr(std::string("Kestrel, BLOCK, BLOCK, ") + c.reason + ", "));
    }
    Flags f;
    f.flamer = 1;
    RunResult four = replay(std::string(kHead) +
                            "player Kestrel 10.0.0.5:2301\n"
                            "at 0 Kestrel goldroom\n"
                            "at 0.5 Kestrel checksum 12-200\n"
                            "from 0 to 16 10/s Kestrel noise\n"
                            "from 6.05 to 10 every 1 Kestrel damage\n",
                            f);
    EXPECT_THAT(four.csv, HasSubstr("DmgCnt: 4 "));
    EXPECT_THAT(four.csv, Not(HasSubstr("BLOCK, BLOCK")));
}

// The 61st player gets no session; its messages still log what needs no session.
TEST_F(Detect, SixtyFirstPlayerIsNotFollowed) {
    RunResult r = replay(std::string(kHead) +
                         "players 61 P 10.1.0.1:3000\n"
                         "at 0 all goldroom\n"
                         "at 1 P61 observe\n"
                         "at 1.5 P61 checksum 12-200\n");
    std::vector<std::string> lines = r.loopLines();
    ASSERT_EQ(lines.size(), 60u * 2 + 4);
    EXPECT_EQ(lines[118], "Creating player session 59, P60 (10.1.0.60:3000)");
    // The operator learns of the full table; the checksum half a second later is not told again.
    EXPECT_EQ(lines[120], "Session table full (60 players): P61 (10.1.0.61:3000) is not followed or blocked; "
                          "1 turned away so far");
    EXPECT_EQ(lines[121], "P61 sent a Gold Room MSG (aircraft # = 1)");
    EXPECT_EQ(lines[122], "OBSERVE MSG from 10.1.0.61");
    EXPECT_EQ(lines[123], "Logged checksum MSG from 10.1.0.61");
    EXPECT_THAT(r.out, HasSubstr("players turned away by a full table: 1\n"));
    EXPECT_THAT(r.csv, Not(HasSubstr("P61, NEW SESSION")));
    EXPECT_THAT(r.csv, HasSubstr("12:00:00, 10.1.0.61, 3000, P61, GR-EVENT, GR-EVENT, 1, "));
    EXPECT_THAT(r.csv, HasSubstr("12:00:01, 10.1.0.61, 3000, event_msg, CHECKSUM, CHECKSUM, 12-200, "));
}

}  // namespace
}  // namespace vkdetect
