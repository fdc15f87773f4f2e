// The clock check against the server's clock: strikes, the 5 % alarm, rounding, new servers.
#include <gtest/gtest.h>

#include <stdexcept>

#include "client/core/clock_check.h"
#include "harness.h"

namespace vk::test {
namespace {

struct Step {
    std::string address;
    uint32_t localStep;     // ms the tick count moved since the previous step
    std::string value;      // text after "time:"
    bool alarm;
    int strikes;
    long long percentage;
};

struct Sequence {
    std::string name;
    uint32_t startTick;
    std::vector<Step> steps;
};

TEST(ClockCheck, Sequences) {
    const std::string A = "192.0.2.10", B = "192.0.2.20";
    const std::vector<Sequence> sequences = {
        {"first request of a new server measures nothing",
         1000000,
         {{A, 0, "123", false, 0, 0}, {A, 30000, "30123", false, 0, 0}}},
        {"three strikes above about 1 %",
         1000000,
         {{A, 0, "0", false, 0, 0},
          {A, 10200, "10000", false, 1, 2},
          {A, 10200, "20000", false, 2, 2},
          {A, 10200, "30000", true, 3, 2}}},
        {"a good step clears the strikes",
         1000000,
         {{A, 0, "0", false, 0, 0},
          {A, 10200, "10000", false, 1, 2},
          {A, 10200, "20000", false, 2, 2},
          {A, 10000, "30000", false, 0, 0},
          {A, 10200, "40000", false, 1, 2}}},
        {"the 1 % threshold: 1 ms in a span of 100 strikes, in 101 not",
         1000000,
         {{A, 0, "0", false, 0, 0}, {A, 100, "99", false, 1, 1}, {A, 101, "199", false, 0, 1}}},
        {"one deviation above 5 % (rounded) alarms at once",
         1000000,
         {{A, 0, "0", false, 0, 0}, {A, 10540, "10000", false, 1, 5}, {A, 10600, "20000", true, 2, 6}}},
        {"a slow clock counts as much as a fast one",
         1000000,
         {{A, 0, "0", false, 0, 0}, {A, 9400, "10000", true, 1, 6}}},
        {"halves round to even",
         1000000,
         {{A, 0, "0", false, 0, 0}, {A, 71, "63", true, 1, 12}, {A, 87, "126", true, 2, 38}}},
        {"a new server address resets the values",
         1000000,
         {{A, 0, "0", false, 0, 0},
          {A, 10200, "10000", false, 1, 2},
          {A, 10200, "20000", false, 2, 2},
          {B, 10200, "777777", false, 0, 0},
          {B, 10200, "787777", false, 1, 2},
          {A, 10200, "5", false, 0, 0}}},
        {"a value that is no number takes the local clock",
         1000000,
         {{A, 0, "abc", false, 0, 0}, {A, 1000, "", false, 0, 0}, {A, 1000, "12x", false, 0, 0}}},
        {"a server clock that goes back gives a negative span: no strike, no alarm",
         1000000,
         {{A, 0, "10000", false, 0, 0}, {A, 1000, "0", false, 0, -90}}},
        {"the tick count wraps",
         0xFFFFFFFFu - 5000,
         {{A, 0, "-2000000000", false, 0, 0}, {A, 10000, "-1999990000", false, 0, 0}}},
    };
    for (const Sequence& seq : sequences) {
        SCOPED_TRACE(seq.name);
        ClockCheck c;
        uint32_t tick = seq.startTick;
        int n = 0;
        for (const Step& s : seq.steps) {
            SCOPED_TRACE("step " + std::to_string(++n));
            tick += s.localStep;
            ClockResult r = ClockCheckStep(c, s.address, tick, s.value);
            EXPECT_EQ(r.alarm, s.alarm);
            EXPECT_EQ(c.strikes, s.strikes);
            EXPECT_EQ(r.percentage, s.percentage);
            EXPECT_EQ(c.serverAddress, s.address);
        }
    }
}

TEST(ClockCheck, ParseInt32) {
    int32_t v = 0;
    EXPECT_TRUE(ParseInt32("2147483647", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(ParseInt32("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    for (const char* bad : {"", "-", "+", "2147483648", "1 ", " 1", "0x10", "1.5", "99999999999999999999"})
        EXPECT_FALSE(ParseInt32(bad, v)) << bad;
}

TEST(ClockCheck, ZeroSpanIsAnExceptionAndLeavesThePreviousValues) {
    ClockCheck c;
    ClockCheckStep(c, "a", 1000, "5000");
    EXPECT_THROW(ClockCheckStep(c, "a", 2000, "4999"), std::domain_error);
    EXPECT_EQ(c.prevServerTime, 5000);
}

class ClockAlarm : public ::testing::Test {
protected:
    GameFolder g;
    Harness h{g.path()};
    void SetUp() override { h.conv->Sockets1SessionAvailable(3); }
};

TEST_F(ClockAlarm, AlarmAnswersStopsListeningAndTellsThePlayer) {
    EXPECT_TRUE(h.event({T("time:0")}).empty());
    h.clock.advance(10600);
    // The alarm goes out at once; the request itself then has no answer.
    EXPECT_EQ(h.event({T("time:10000")}), std::vector<std::string>{T("Ok:6")});
    EXPECT_EQ(h.connection.calls, (std::vector<std::string>{"SetKickPort 11022", "ListenClick", "CancelListenClick"}));
    EXPECT_EQ(h.sockets.port, "11022");
    const auto log = h.newLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "Your PC is speeding(?)... you must restart Secplayer "), log.end());
    ASSERT_EQ(h.dialogs.shown.size(), 1u);
    EXPECT_EQ(h.dialogs.shown[0].text, "PC speed is out of sync.... you must restart Secplayer ");
}

TEST_F(ClockAlarm, PortsAreChosenAtRandomAbove1024) {
    h.conv->random = [](uint32_t n) { return n == 9999 ? 0u : 1u; };
    h.event({T("time:0")});
    h.clock.advance(20000);
    h.event({T("time:10000")});
    EXPECT_EQ(h.connection.calls.front(), "SetKickPort 1024");
    EXPECT_EQ(h.sockets.port, "1024");
}

TEST_F(ClockAlarm, ServerClockOneMillisecondBackIsAParseException) {
    h.event({T("time:5000")});
    h.clock.advance(10);
    EXPECT_TRUE(h.event({T("time:4999")}).empty());
    const auto log = h.newLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "=>Exception in parse()"), log.end());
    EXPECT_TRUE(h.connection.calls.empty());
}

}  // namespace
}  // namespace vk::test
