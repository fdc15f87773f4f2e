// The session table, the block timeline with its route commands and journal, the event lines.
#include <gtest/gtest.h>

#include "fixture.h"

namespace vkst::test {
namespace {

class Sessions : public ::testing::Test {
protected:
    void SetUp() override {
        h.openLog();
        std::snprintf(h.m->pkt.eventTime, 9, "21:04:00");
        h.m->settings.DerouteIP = "192.0.2.254";
    }
    Monitor& m() { return *h.m; }
    // One wall-clock second, then the block timer.
    void tick() {
        h.clock.advance(1000);
        blockTick(m());
    }
    RunFolder f;
    Harness h{f};
};

TEST_F(Sessions, NewSessionLineAndRefreshOfAKnownPlayer) {
    for (int i = 0; i < 3; ++i) {
        std::string ip = "10.0.1." + std::to_string(i);
        touchSession(m(), ip.c_str(), 2300, "Filler");
    }
    std::snprintf(m().pkt.eventTime, 9, "21:04:17");
    touchSession(m(), "10.0.0.5", 2300, "Kestrel");
    m().sessions[3].inGameTicks = 7;
    m().sessions[3].lagHold = 2;
    touchSession(m(), "10.0.0.5", 2300, "Other name");  // Gold Room again: no new session
    EXPECT_EQ(m().sessions[3].inGameTicks, 0);
    EXPECT_EQ(m().sessions[3].lagHold, 0);
    EXPECT_STREQ(m().sessions[3].name, "Kestrel");
    EXPECT_EQ(findSession(m(), "10.0.0.5", 2301), -1);  // the port is part of the key
    const std::string log = h.log();
    EXPECT_NE(log.find("21:04:17, 10.0.0.5, 2300, Kestrel, NEW SESSION, NEW SESSION, 3, \r\n"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("Other name"), std::string::npos);
    EXPECT_NE(h.out.text.find("Creating player session 3, Kestrel (10.0.0.5:2300)\n"), std::string::npos);
}

TEST_F(Sessions, TheSixtyFirstPlayerGetsNoSessionAndTheOperatorIsToldOnceAMinute) {
    for (int i = 0; i < kSlots; ++i) {
        std::string ip = "10.0.1." + std::to_string(i);
        touchSession(m(), ip.c_str(), 2300, "P");
    }
    const std::string before = h.log();
    h.out.text.clear();
    touchSession(m(), "10.0.2.1", 2300, "Late");
    countPacket(m(), "10.0.2.1", 2300);
    markJoined(m(), "10.0.2.1", 2300, 5);
    scheduleBlock(m(), "10.0.2.1", 2300, BlockMode::Immediate, 1, "OBSERVE");
    EXPECT_EQ(findSession(m(), "10.0.2.1", 2300), -1);
    EXPECT_EQ(h.log(), before);
    EXPECT_EQ(h.out.text,
              "Session table full (60 players): Late (10.0.2.1:2300) is not followed or blocked; 1 turned away so far\n");
    // Within the minute: counted (once per player), not told again.
    h.clock.advance(30000);
    touchSession(m(), "10.0.2.1", 2300, "Late");
    touchSession(m(), "10.0.2.2", 2300, "Later");
    touchSession(m(), "10.0.2.2", 2301, "OtherPort");
    EXPECT_EQ(m().stats.turnedAway, 3u);
    EXPECT_EQ(h.out.text.find("Later"), std::string::npos);
    h.clock.advance(30000);
    touchSession(m(), "10.0.2.2", 2300, "Later");
    EXPECT_NE(h.out.text.find("Later (10.0.2.2:2300) is not followed or blocked; 3 turned away so far\n"),
              std::string::npos)
        << h.out.text;
    // A freed slot is taken by the next new player, the lowest first.
    clearSession(m(), 17);
    clearSession(m(), 9);
    touchSession(m(), "10.0.2.1", 2300, "Late");
    EXPECT_EQ(findSession(m(), "10.0.2.1", 2300), 9);
}

// The route tool runs as a child that outlives a killed monitor: the journal must list the
// address before the tool starts and keep it until the deleting tool has finished.
TEST_F(Sessions, JournalListsTheRouteWhileEitherRouteToolRuns) {
    struct JournalWatch final : vk::RouteRunner {
        const RunFolder* f = nullptr;
        std::vector<std::string> seen;
        bool add(const std::string&, const std::string&) override {
            seen.push_back(f->read("VKST.routes"));
            return true;
        }
        bool del(const std::string&) override {
            seen.push_back(f->read("VKST.routes"));
            return true;
        }
    } watch;
    watch.f = &f;
    m().io.routes = &watch;
    m().settings.NETblockTime = 0;
    touchSession(m(), "10.0.0.5", 2301, "Kestrel");
    scheduleBlock(m(), "10.0.0.5", 2301, BlockMode::Immediate, 1, "SPEEDER");
    for (int i = 0; i < 4; ++i) tick();
    EXPECT_EQ(watch.seen, (std::vector<std::string>{"10.0.0.5 2301 192.0.2.254\n", "10.0.0.5 2301 192.0.2.254\n"}));
    EXPECT_EQ(f.read("VKST.routes"), "");
}

struct Timeline {
    int blockTime;
    const char* deroute;
    const char* addText;
    const char* addCall;
};

class BlockTimeline : public Sessions, public ::testing::WithParamInterface<Timeline> {};

TEST_P(BlockTimeline, RouteAtTheThirdTickDeletedAndClosedBlockTimePlusOneTicksLater) {
    const Timeline& c = GetParam();
    m().settings.NETblockTime = c.blockTime;
    m().settings.DerouteIP = c.deroute;
    touchSession(m(), "10.0.0.5", 2301, "Kestrel");
    m().sessions[0].inGameTicks = 8;
    scheduleBlock(m(), "10.0.0.5", 2301, BlockMode::Immediate, 1, "SPEEDER");
    h.out.text.clear();
    int addedAt = 0, deletedAt = 0;
    for (int t = 1; t <= c.blockTime + 10 && !deletedAt; ++t) {
        tick();
        if (!addedAt && !h.routes.calls.empty()) {
            addedAt = t;
            EXPECT_EQ(h.out.text, std::string(c.addText) + "BLOCKING Kestrel (10.0.0.5)\n");
            EXPECT_EQ(f.read("VKST.routes"), std::string("10.0.0.5 2301") + (*c.deroute ? " " : "") + c.deroute + "\n");
            EXPECT_EQ(m().sessions[0].inGameTicks, 0);
            h.out.text.clear();
        } else if (h.routes.calls.size() > 1) {
            deletedAt = t;
        }
    }
    EXPECT_EQ(addedAt, 3);
    EXPECT_EQ(deletedAt, 3 + c.blockTime + 1);
    EXPECT_EQ(h.routes.calls, (std::vector<std::string>{c.addCall, "del 10.0.0.5"}));
    EXPECT_EQ(h.out.text, "route delete 10.0.0.5 mask 255.255.255.255 " + std::string(c.deroute) +
                              "\nUNBLOCKING Kestrel (10.0.0.5)\nClosing player session 0, Kestrel (10.0.0.5:2301)\n");
    EXPECT_EQ(m().sessions[0].inUse, 0);
    EXPECT_EQ(f.read("VKST.routes"), "");
    char added[9], deleted[9];
    timeText(kStart + 3, added);
    timeText(kStart + deletedAt, deleted);
    const std::string log = h.log();
    EXPECT_NE(log.find(std::string(added) + ", 10.0.0.5, 2301, Kestrel, BLOCK, BLOCK, SPEEDER, \r\n"), std::string::npos);
    EXPECT_NE(log.find(std::string(deleted) + ", 10.0.0.5, 2301, Kestrel, UNBLOCK, UNBLOCK, SPEEDER, \r\n" + deleted +
                       ", 10.0.0.5, 2301, Kestrel, CLOSE SESSION, CLOSE SESSION, 0, \r\n"),
              std::string::npos)
        << log;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlockTimeline,
    ::testing::Values(
        Timeline{35, "192.0.2.254", "route add 10.0.0.5 mask 255.255.255.255 192.0.2.254\n", "add 10.0.0.5 192.0.2.254"},
        // No gateway: the command text ends after the mask, the route is a blackhole.
        Timeline{0, "", "route add 10.0.0.5 mask 255.255.255.255 \n", "add 10.0.0.5 "},
        Timeline{2, "192.0.2.254", "route add 10.0.0.5 mask 255.255.255.255 192.0.2.254\n", "add 10.0.0.5 192.0.2.254"}));

TEST_F(Sessions, InGameCountdownIsDroppedByAReturnToTheGoldRoomUntilItReachesOne) {
    touchSession(m(), "10.0.0.5", 2301, "Kestrel");
    m().sessions[0].inGameTicks = 5;
    scheduleBlock(m(), "10.0.0.5", 2301, BlockMode::InGame, 16, "REPAIR");  // not yet in game
    EXPECT_EQ(m().sessions[0].blockCountdown, 0);
    m().sessions[0].inGameTicks = 6;
    scheduleBlock(m(), "10.0.0.5", 2301, BlockMode::InGame, 16, "REPAIR");
    EXPECT_NE(h.out.text.find("Will block Kestrel (10.0.0.5) in 16 seconds\n"), std::string::npos);
    // A pending block takes no second request.
    scheduleBlock(m(), "10.0.0.5", 2301, BlockMode::Immediate, 1, "OBSERVE");
    EXPECT_EQ(m().sessions[0].blockCountdown, 16);
    EXPECT_STREQ(m().sessions[0].blockReason, "REPAIR");
    for (int i = 0; i < 5; ++i) tick();
    EXPECT_EQ(m().sessions[0].blockCountdown, 11);
    const std::string out = h.out.text, log = h.log();
    touchSession(m(), "10.0.0.5", 2301, "Kestrel");
    tick();
    EXPECT_EQ(m().sessions[0].blockCountdown, 0);
    EXPECT_EQ(h.out.text, out);
    EXPECT_EQ(h.log(), log);

    // Once the countdown is 1 the block runs to its end, Gold Room or not.
    m().sessions[0].inGameTicks = 6;
    scheduleBlock(m(), "10.0.0.5", 2301, BlockMode::InGame, 2, "REPAIR");
    tick();
    EXPECT_EQ(m().sessions[0].blockCountdown, 1);
    touchSession(m(), "10.0.0.5", 2301, "Kestrel");
    for (int i = 0; i < 3; ++i) tick();
    EXPECT_EQ(h.routes.calls.size(), 1u);
}

TEST_F(Sessions, ShutdownLiftsEveryPendingBlockRouteOrNot) {
    touchSession(m(), "10.0.0.5", 2301, "Kestrel");
    touchSession(m(), "10.0.0.6", 2302, "Wren");
    touchSession(m(), "10.0.0.7", 2303, "Calm");
    scheduleBlock(m(), "10.0.0.5", 2301, BlockMode::Immediate, 1, "SPEEDER");
    for (int i = 0; i < 3; ++i) tick();                                  // Kestrel's route is in
    scheduleBlock(m(), "10.0.0.6", 2302, BlockMode::Immediate, 1, "MANUAL EJECT");  // not yet
    h.out.text.clear();
    unblockAll(m());
    EXPECT_EQ(h.out.text,
              "route delete 10.0.0.5 mask 255.255.255.255 192.0.2.254\nUNBLOCKING Kestrel (10.0.0.5)\n"
              "route delete 10.0.0.6 mask 255.255.255.255 192.0.2.254\nUNBLOCKING Wren (10.0.0.6)\n");
    EXPECT_EQ(h.routes.calls, (std::vector<std::string>{"add 10.0.0.5 192.0.2.254", "del 10.0.0.5", "del 10.0.0.6"}));
    char t[9];
    timeText(kStart + 3, t);
    const std::string log = h.log();
    EXPECT_NE(log.find(std::string(t) + ", 10.0.0.5, 2301, Kestrel, UNBLOCK, UNBLOCK, UNBLOCK, \r\n" + t +
                       ", 10.0.0.6, 2302, Wren, UNBLOCK, UNBLOCK, UNBLOCK, \r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(f.read("VKST.routes"), "");
}

TEST_F(Sessions, ARouteToolFailureIsReportedAndTheTimelineRunsOn) {
    m().settings.NETblockTime = 0;
    touchSession(m(), "10.0.0.5", 2301, "Kestrel");
    touchSession(m(), "10.0.0.6", 2302, "Wren");
    // Kestrel's route cannot be added: the operator is told, nothing is journalled.
    h.routes.failAdd = true;
    scheduleBlock(m(), "10.0.0.5", 2301, BlockMode::Immediate, 1, "SPEEDER");
    h.out.text.clear();
    for (int i = 0; i < 3; ++i) tick();
    EXPECT_EQ(h.out.text,
              "route add 10.0.0.5 mask 255.255.255.255 192.0.2.254\n"
              "route add failed: 10.0.0.5 is not blocked\n"
              "BLOCKING Kestrel (10.0.0.5)\n");
    EXPECT_EQ(f.read("VKST.routes"), "");
    EXPECT_NE(h.log().find("Kestrel, BLOCK, BLOCK, SPEEDER, \r\n"), std::string::npos);
    // Deleting a route that was never added is no failure worth a line.
    h.out.text.clear();
    tick();
    EXPECT_EQ(h.out.text.find("failed"), std::string::npos) << h.out.text;
    EXPECT_EQ(m().sessions[0].inUse, 0);

    // Wren's route goes in but cannot be taken out again.
    h.routes.failAdd = false;
    h.routes.failDel = true;
    scheduleBlock(m(), "10.0.0.6", 2302, BlockMode::Immediate, 1, "FREEZE");
    for (int i = 0; i < 3; ++i) tick();
    EXPECT_EQ(f.read("VKST.routes"), "10.0.0.6 2302 192.0.2.254\n");
    h.out.text.clear();
    tick();
    EXPECT_EQ(h.out.text,
              "route delete 10.0.0.6 mask 255.255.255.255 192.0.2.254\n"
              "route delete failed: 10.0.0.6 may still be blocked\n"
              "UNBLOCKING Wren (10.0.0.6)\nClosing player session 1, Wren (10.0.0.6:2302)\n");
}

TEST_F(Sessions, ReplayPrintsRouteCommandsAndRunsNone) {
    m().replay = true;
    m().replayNow = kStart;
    touchSession(m(), "10.0.0.5", 2301, "Kestrel");
    scheduleBlock(m(), "10.0.0.5", 2301, BlockMode::Immediate, 1, "OBSERVE");
    for (int i = 0; i < 40; ++i) {
        ++m().replayNow;
        blockTick(m());
    }
    EXPECT_NE(h.out.text.find("(replay) route add 10.0.0.5 mask 255.255.255.255 192.0.2.254\nBLOCKING"),
              std::string::npos);
    EXPECT_NE(h.out.text.find("(replay) route delete 10.0.0.5 mask 255.255.255.255 192.0.2.254\nUNBLOCKING"),
              std::string::npos);
    EXPECT_TRUE(h.routes.calls.empty());
    EXPECT_FALSE(f.exists("VKST.routes"));
}

TEST_F(Sessions, RoutesLeftByACrashedRunAreRemovedAtStart) {
    f.write("VKST.routes", "10.0.0.5 2301\n10.0.0.9;reboot 1\n\n198.51.100.7 2400 192.0.2.254\n");
    recoverJournal(m());
    EXPECT_EQ(h.routes.calls, (std::vector<std::string>{"del 10.0.0.5", "del 198.51.100.7"}));
    EXPECT_NE(h.out.text.find("UNBLOCKING 10.0.0.5 (left by an earlier run)\n"), std::string::npos);
    EXPECT_NE(h.out.text.find("route delete 198.51.100.7 mask 255.255.255.255 192.0.2.254\n"), std::string::npos);
    char t[9];
    timeText(kStart, t);
    EXPECT_EQ(h.log(), std::string(t) + ", 10.0.0.5, 2301, event_msg, UNBLOCK, UNBLOCK, EARLIER RUN, \r\n" + t +
                           ", 198.51.100.7, 2400, event_msg, UNBLOCK, UNBLOCK, EARLIER RUN, \r\n");
    EXPECT_FALSE(f.exists("VKST.routes"));
    h.routes.calls.clear();
    recoverJournal(m());  // nothing left to do
    EXPECT_TRUE(h.routes.calls.empty());
}

TEST_F(Sessions, PositionIsTakenOncePerTickAndOnlyForJoinedPlayers) {
    touchSession(m(), "10.0.0.5", 2301, "Kestrel");
    EXPECT_EQ(takeInGameSession(m(), "10.0.0.5", 2301), -1);  // still in the Gold Room
    markJoined(m(), "10.0.0.5", 2301, 1234);
    EXPECT_EQ(m().sessions[0].joinTimeMs, 1234u);
    EXPECT_NE(h.out.text.find("Kestrel (10.0.0.5) joined game\n"), std::string::npos);
    EXPECT_EQ(takeInGameSession(m(), "10.0.0.5", 2301), 0);
    EXPECT_EQ(takeInGameSession(m(), "10.0.0.5", 2301), -1);
    clearPositionTaken(m());
    EXPECT_EQ(takeInGameSession(m(), "10.0.0.5", 2301), 0);
    countPacket(m(), "10.0.0.5", 2301);
    countPacket(m(), "10.0.0.5", 2301);
    EXPECT_EQ(m().sessions[0].packetCount, 2);
}

TEST_F(Sessions, EventLogIsOnDiskAfterEveryLineWithCrLf) {
    eventLine(m(), "21:04:00", "10.0.0.5", 2301, " %s, LAG, LAG, %d, \n", "Kestrel", 7);
    // Read through another handle without flushing ours.
    EXPECT_EQ(f.read("VKST.csv"), "21:04:00, 10.0.0.5, 2301, Kestrel, LAG, LAG, 7, \r\n");
}

}  // namespace
}  // namespace vkst::test
