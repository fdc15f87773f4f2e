// Console keys, the player list, the timed close and the cutting of packets into messages.
#include <gtest/gtest.h>

#include "fixture.h"
#include "monitor/loop.h"

namespace vkst::test {
namespace {

class Loop : public ::testing::Test {
protected:
    void SetUp() override {
        h.openLog();
        m().decode.lastTickSec = kStart;  // no detector tick (which clears the counts) in these packets
    }
    Monitor& m() { return *h.m; }
    void keys(const std::string& typed) {
        for (char c : typed) handleKey(m(), c);
    }
    RunFolder f;
    Harness h{f};
};

TEST_F(Loop, EjectSlotSevenWithE07) {
    for (int i = 0; i < 8; ++i) {
        std::string ip = "10.0.0." + std::to_string(i);
        touchSession(m(), ip.c_str(), 2300 + i, "P");
    }
    h.out.text.clear();
    keys("e07");
    EXPECT_EQ(h.out.text, "e\nInput 2 digit session number of player to eject: 07 -- session # is 7\n");
    EXPECT_EQ(m().sessions[7].blockCountdown, 1);
    EXPECT_STREQ(m().sessions[7].blockReason, "MANUAL EJECT");
    for (int i = 0; i < 7; ++i) EXPECT_EQ(m().sessions[i].blockCountdown, 0);
    EXPECT_EQ(m().loop.eject, EjectInput::None);
}

TEST_F(Loop, EjectInputThatIsNoSessionDoesNothingMore) {
    touchSession(m(), "10.0.0.1", 2300, "Kestrel");
    touchSession(m(), "10.0.0.2", 2300, "Wren");
    blockTick(m());
    clearSession(m(), 1);
    // A slot freed by a finished block still holds its player's address: not an eject target.
    std::snprintf(m().sessions[1].ipText, 17, "10.0.0.2");
    struct Case {
        const char* typed;
        const char* shown;
        bool quit;
    };
    for (const Case& c : {
             Case{"e01", "e\nInput 2 digit session number of player to eject: 01 -- session # is 1\n", false},
             Case{"e75", "e\nInput 2 digit session number of player to eject: 75 -- session # is 75\n"
                         "Session # 75 is out of range (00 to 59)\n", false},
             Case{"e0x", "e\nInput 2 digit session number of player to eject: 0x -- not a digit, no player ejected\n",
                  false},
             // "q" while a number is typed still quits.
             Case{"eq", "e\nInput 2 digit session number of player to eject: q -- not a digit, no player ejected\n",
                  true},
             // A second "e" starts the prompt again.
             Case{"e0e", "e\nInput 2 digit session number of player to eject: 0e\nInput 2 digit session number "
                         "of player to eject: ", false},
         }) {
        h.out.text.clear();
        m().loop = LoopState{};
        keys(c.typed);
        EXPECT_EQ(h.out.text, c.shown) << c.typed;
        EXPECT_EQ(m().loop.quit, c.quit) << c.typed;
        EXPECT_EQ(m().sessions[0].blockCountdown, 0) << c.typed;
        EXPECT_EQ(m().sessions[1].blockCountdown, 0) << c.typed;
    }
}

TEST_F(Loop, CommandListAndPlayerList) {
    keys("?");
    EXPECT_EQ(h.out.text,
              "?\nCommand list\n------------\n'q' shuts down VKST\n'l' lists players\n'e' ejects a player\n"
              "'?' displays this list\n's' shows the capture statistics\n\n");
    touchSession(m(), "10.0.0.1", 2300, "InGoldRoom");
    touchSession(m(), "192.168.100.200", 65000, "Flying");
    touchSession(m(), "10.0.0.3", 80, "Silent");
    touchSession(m(), "10.0.0.4", 2300, "Ejected");
    touchSession(m(), "10.0.0.5", 2300, "Gone");
    m().sessions[1].inGameTicks = 9;
    m().sessions[2].inGameTicks = 9;
    m().sessions[2].idleTicks = 2;
    m().sessions[3].blockCountdown = 1;
    m().sessions[3].idleTicks = 3;
    clearSession(m(), 4);
    h.out.text.clear();
    keys("l");
    EXPECT_EQ(h.out.text,
              "l\n\n"
              "Session  Name              IP                Port   Status\n"
              "-------  ----------------  ----------------  -----  --------\n"
              "00       InGoldRoom        10.0.0.1          02300  IN GR\n"
              "01       Flying            192.168.100.200   65000  IN GAME\n"
              "02       Silent            10.0.0.3          00080  UNKNOWN\n"
              "03       Ejected           10.0.0.4          02300  BLOCKED\n"
              "\n");
}

TEST_F(Loop, TimedCloseQuitsOnceTheGameLengthIsPassed) {
    m().settings.CloseOnTimedGame = 1;
    m().settings.gameLength = 615;  // 600 read, 15 added
    m().loop.gameStart = kStart;
    h.clock.advance(615 * 1000);
    timerStep(m());
    EXPECT_FALSE(m().loop.quit);
    h.clock.advance(1000);
    timerStep(m());
    EXPECT_TRUE(m().loop.quit);

    m().loop = LoopState{};
    m().loop.gameStart = kStart;
    m().settings.gameLength = 0;  // no game length: no timed close
    timerStep(m());
    EXPECT_FALSE(m().loop.quit);
}

TEST_F(Loop, BlockTimerRunsOncePerWallClockSecond) {
    touchSession(m(), "10.0.0.1", 2300, "Kestrel");
    scheduleBlock(m(), "10.0.0.1", 2300, BlockMode::Immediate, 1, "MANUAL EJECT");
    for (int i = 0; i < 29; ++i) {  // 2.9 seconds of 100 ms passes: ticks at 0, 1 and 2 s
        timerStep(m());
        h.clock.advance(100);
        if (i == 19) {
            EXPECT_EQ(m().sessions[0].blockTimer, 2);
            EXPECT_TRUE(h.routes.calls.empty());
        }
    }
    EXPECT_EQ(h.routes.calls.size(), 1u);
}

// An Ethernet/IPv4/UDP frame from 10.0.0.5:2301 to 192.0.2.10:2300 carrying `payload`.
std::vector<uint8_t> frame(const std::vector<uint8_t>& payload, int ihl = 5) {
    std::vector<uint8_t> f(14 + 4 * ihl + 8, 0);
    f[12] = 0x08;
    f[14] = static_cast<uint8_t>(0x40 | ihl);
    f[14 + 9] = 17;
    const uint8_t src[4] = {10, 0, 0, 5}, dst[4] = {192, 0, 2, 10};
    std::copy(src, src + 4, f.begin() + 26);
    std::copy(dst, dst + 4, f.begin() + 30);
    size_t u = 14 + 4 * ihl;
    f[u] = 2301 >> 8;
    f[u + 1] = 2301 & 0xFF;
    f[u + 2] = 2300 >> 8;
    f[u + 3] = 2300 & 0xFF;
    f.insert(f.end(), payload.begin(), payload.end());
    const size_t total = f.size() - 14;
    f[14 + 2] = static_cast<uint8_t>(total >> 8);
    f[14 + 3] = static_cast<uint8_t>(total & 0xFF);
    return f;
}

// A message of length byte l with code 99 (no kind), its bytes numbered from `fill`.
std::vector<uint8_t> message(int l, uint8_t fill) {
    std::vector<uint8_t> msg(l + 2);
    for (size_t i = 0; i < msg.size(); ++i) msg[i] = static_cast<uint8_t>(fill + i);
    msg[0] = static_cast<uint8_t>(l);
    msg[3] = 99;
    return msg;
}

PacketRead read(const std::vector<uint8_t>& f, uint32_t wire = 0) {
    PacketRead p;
    p.result = 1;
    p.tsSec = kStart;
    p.data = f.data();
    p.capLength = static_cast<uint32_t>(f.size());
    p.wireLength = wire ? wire : p.capLength;
    return p;
}

TEST_F(Loop, PacketIsCutIntoItsMessagesEachDecodedAtPosition31) {
    touchSession(m(), "10.0.0.5", 2301, "Kestrel");
    std::vector<uint8_t> payload{1, 2, 3};
    auto a = message(5, 10), b = message(24, 100);
    payload.insert(payload.end(), a.begin(), a.end());
    payload.insert(payload.end(), b.begin(), b.end());
    auto f = frame(payload);
    handlePacket(m(), read(f));
    ASSERT_EQ(m().messageCount, 2);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), m().slots[1].begin()));
    // Past the copied message the buffer keeps the packet's own later bytes (which a damage
    // message reads): the second message's tail still lies where the packet had it.
    EXPECT_TRUE(std::equal(b.begin() + 19, b.end(), m().buf.begin() + 31 + 26));
    // The last message decoded sits at 31; the packet header stays at 28.
    EXPECT_TRUE(std::equal(b.begin(), b.end(), m().buf.begin() + 31));
    EXPECT_EQ(m().buf[28], 1);
    EXPECT_EQ(m().sessions[0].packetCount, 1);  // packets are counted, not messages
    EXPECT_STREQ(m().pkt.srcIp, "10.0.0.5");
    EXPECT_EQ(m().pkt.srcPort, 2301);
    EXPECT_STREQ(m().pkt.dstIp, "192.0.2.10");
    EXPECT_EQ(m().pkt.dstPort, 2300);
}

TEST_F(Loop, PacketEdgeCases) {
    touchSession(m(), "10.0.0.5", 2301, "Kestrel");
    struct Case {
        const char* name;
        std::vector<uint8_t> frame;
        uint32_t wire;
        int messages;
        int counted;
    };
    std::vector<uint8_t> header{1, 2, 3};
    auto withMessages = [&](std::vector<std::vector<uint8_t>> msgs) {
        std::vector<uint8_t> p = header;
        for (auto& x : msgs) p.insert(p.end(), x.begin(), x.end());
        return p;
    };
    auto truncated = withMessages({message(5, 0), message(40, 0)});
    truncated.resize(truncated.size() - 1);
    auto shortFrame = frame(header);
    shortFrame.resize(14 + 20 + 4);
    auto padded = frame(header);
    padded.resize(60, 0);  // the shortest Ethernet frame: zero padding after the datagram
    const std::vector<Case> cases{
        {"HeaderOnly", frame(header), 0, 0, 1},
        {"EthernetPadding", padded, 0, 0, 1},
        {"EmptyPayload", frame({}), 0, 0, 1},
        // The last message's length byte runs past the data: it is dropped, the first kept.
        {"RunsPastTheData", frame(truncated), 0, 1, 1},
        // Fewer bytes captured than sent: only the captured ones are data.
        {"ShortCapture", frame(withMessages({message(5, 0), message(40, 0)})), 600, 2, 1},
        {"ShorterThanTheHeaders", shortFrame, 0, 0, 0},
        // Ports are found behind a longer IP header; the payload is still taken from frame byte 42.
        {"IpOptions", frame(withMessages({message(5, 0)}), 6), 0, 3, 1},
    };
    for (const Case& c : cases) {
        m().sessions[0].packetCount = 0;
        handlePacket(m(), read(c.frame, c.wire));
        EXPECT_EQ(m().messageCount, c.messages) << c.name;
        EXPECT_EQ(m().sessions[0].packetCount, c.counted) << c.name;
    }
}

TEST_F(Loop, PacketsLongerThan512BytesAreCutWithAWarning) {
    std::vector<uint8_t> payload{1, 2, 3};
    for (int i = 0; i < 20; ++i) {
        auto x = message(26, 0);  // 28 bytes each: 17 fit below position 498
        payload.insert(payload.end(), x.begin(), x.end());
    }
    auto f = frame(payload);
    ASSERT_GT(f.size(), 512u);
    handlePacket(m(), read(f));
    EXPECT_EQ(m().messageCount, 16);  // 31 + 16 * 28 = 479; the 17th would end at 507 > 498
    EXPECT_EQ(h.log(), "\r\n\r\n WARNING: PACKET LENTGH > MAX_PACKET_SIZE!! \r\n\r\n");
}

// A flood of large datagrams writes the warning at most once a second per source address; the
// rest are counted for the statistics.
TEST_F(Loop, OversizedWarningAtMostOnceASecondPerSource) {
    const std::string warning = "\r\n\r\n WARNING: PACKET LENTGH > MAX_PACKET_SIZE!! \r\n\r\n";
    std::vector<uint8_t> big = frame(std::vector<uint8_t>(1400, 0));
    std::vector<uint8_t> other = big;
    other[14 + 15] = 99;  // another source address
    struct Step {
        int atSecond;
        const std::vector<uint8_t>* frame;
        int warnings;  // written so far
        uint64_t leftOut;
    };
    const Step steps[] = {
        {0, &big, 1, 0}, {0, &big, 1, 1}, {0, &big, 1, 2}, {0, &other, 2, 2},
        {1, &big, 3, 2}, {1, &other, 4, 2}, {1, &other, 4, 3}, {5, &big, 5, 3},
    };
    m().replay = true;
    for (const Step& s : steps) {
        m().replayNow = kStart + s.atSecond;
        handlePacket(m(), read(*s.frame));
        const std::string log = h.log();
        int n = 0;
        for (size_t at = log.find(warning); at != std::string::npos; at = log.find(warning, at + 1)) ++n;
        EXPECT_EQ(n, s.warnings) << "second " << s.atSecond;
        EXPECT_EQ(m().stats.oversizedLeftOut, s.leftOut) << "second " << s.atSecond;
    }
}

TEST_F(Loop, TestUdpEchoesEveryPacket) {
    m().settings.TestUDP = 1;
    auto f = frame({1, 2, 3, 0, 0});
    handlePacket(m(), read(f));
    EXPECT_EQ(h.out.text, "dIP: 192.0.2.10, dport:2300, proto:17, len:47, \n");
}

}  // namespace
}  // namespace vkst::test
