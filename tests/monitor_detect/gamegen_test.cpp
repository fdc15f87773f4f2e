// The game-traffic generator: scenario errors, datagram timing, frames and the capture file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "tools/gamegen/scenario.h"

namespace vkdetect {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(GameGen, ScenarioErrorsNameTheLineAndTheFix) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"bogus 1\n", "line 1: unknown line 'bogus'"},
        {"player A 10.0.0:5\n", "line 1: bad IPv4 address '10.0.0'"},
        {"player A 10.0.0.1\n", "expected ADDRESS:PORT"},
        {"at 1 Nobody observe\n", "line 1: no player named 'Nobody'"},
        {"player A 10.0.0.1:1\n\nat x A observe\n", "line 3: bad time 'x'"},
        {"player A 10.0.0.1:1\nat 1 A checksum 300-1\n", "line 2: bad checksum byte '300'"},
        {"player A 10.0.0.1:1\nfrom 5 to 2 1/s A noise\n", "the range ends before it starts"},
        {"player A 10.0.0.1:1\nfrom 1 to 2 fast A noise\n", "rate must be N/s or every DT"},
        {"player A 10.0.0.1:1\nat 1 A position deg=48.7,2.5\n", "deg= needs a 'map NAME' line first"},
        {"player A 10.0.0.1:1\nat 1 A position height=3\n", "unknown option 'height=3'"},
        {"player A 10.0.0.1:1\nat 1 A fly\n", "unknown message 'fly'"},
        {"player A 10.0.0.1:1\nat 1 A chat \"open\n", "unclosed double quote"},
        {"player A 10.0.0.1:1\nat 1 A damage len=40\n", "bad len '40' (expected 16 to 30)"},
        {"map ATLANTIS\n", "unknown map 'ATLANTIS'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            vkgen::parseScenarioText(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const vkgen::ScenarioError& e) {
            EXPECT_THAT(e.what(), HasSubstr(c.error));
        }
    }
}

std::vector<std::string> timeline(const std::string& text) {
    vkgen::Scenario s = vkgen::parseScenarioText(text);
    vkgen::DatagramStream st(s);
    vkgen::DatagramStream::Datagram d;
    std::vector<std::string> out;
    while (st.next(d)) out.push_back(std::to_string(d.timeUs) + " " + s.players[d.player].name);
    return out;
}

TEST(GameGen, DatagramsInTimeOrderWithTiesInRuleOrder) {
    EXPECT_THAT(timeline("player A 10.0.0.1:1\nplayer B 10.0.0.2:2\n"
                         "from 0 to 1 4/s A noise\n"
                         "at 0.5 B observe\n"
                         "at 0.25 B observe   # a remark\n"),
                ElementsAre("0 A", "250000 A", "250000 B", "500000 A", "500000 B", "750000 A"));
    // A rule for every player spreads them over its interval; "every" counts from the start.
    EXPECT_THAT(timeline("players 2 P 10.0.0.1:1\nfrom 1 to 2 every 0.5 all noise\n"),
                ElementsAre("1000000 P01", "1250000 P02", "1500000 P01", "1750000 P02"));
}

TEST(GameGen, PlayersCountUpFromTheirFirstAddress) {
    vkgen::Scenario s = vkgen::parseScenarioText("players 3 Pilot 10.0.0.254:3000\n");
    ASSERT_EQ(s.players.size(), 3u);
    EXPECT_EQ(s.players[2].name, "Pilot03");
    EXPECT_EQ(vkgen::ipText(s.players[2].ip), "10.0.1.0");
}

TEST(GameGen, DegreesBecomeGridValuesOfTheMap) {
    vkgen::Scenario s = vkgen::parseScenarioText(
        "map Marne\nplayer A 10.0.0.1:1\nat 0 A position deg=48.69936198,2.574257213 alt=1000 smoke=1\n");
    const std::vector<uint8_t>& m = s.rules[0].messages;
    ASSERT_EQ(m.size(), 26u);
    EXPECT_THAT(std::vector<uint8_t>(m.begin() + 6, m.begin() + 14), ElementsAre(1, 16, 39, 0, 232, 3, 160, 134));
    EXPECT_EQ(m[24], 1);
}

// The damage message is followed by filler of no known kind whose bytes hold the position where
// the monitor reads it (for length 20: message bytes 50 to 57, smoke at 68).
TEST(GameGen, DamageCarriesItsPositionInTheFiller) {
    std::vector<uint8_t> m = vkgen::msgDamage(20, 100000, 10000, 1000, 1);
    ASSERT_EQ(m.size(), 22u + 47u);
    EXPECT_EQ(m[0], 20);
    EXPECT_EQ(m[3], 21);
    EXPECT_EQ(m[22], 45);  // filler length byte: it ends exactly after byte 68
    EXPECT_THAT(std::vector<uint8_t>(m.begin() + 50, m.begin() + 58), ElementsAre(1, 16, 39, 0, 232, 3, 160, 134));
    EXPECT_EQ(m[68], 1);
    for (int len : {16, 30}) EXPECT_EQ(vkgen::msgDamage(len, 0, 0, 0, 0).size(), static_cast<size_t>(2 * len + 29));
}

uint32_t onesSum(const uint8_t* p, size_t n, uint32_t acc = 0) {
    for (size_t i = 0; i + 1 < n; i += 2) acc += static_cast<uint32_t>(p[i] << 8 | p[i + 1]);
    if (n & 1) acc += static_cast<uint32_t>(p[n - 1] << 8);
    while (acc >> 16) acc = (acc & 0xFFFF) + (acc >> 16);
    return acc;
}

TEST(GameGen, FramesAreValidEthernetIpv4Udp) {
    vkgen::Scenario s = vkgen::parseScenarioText(
        "server 192.168.0.10:2300\nplayer Kestrel 10.0.0.5:2301\nat 0 Kestrel observe\n");
    uint8_t payload[] = {0, 0, 0, 7, 0, 0, 28, 0, 0, 0, 0};
    uint8_t f[128];
    size_t n = vkgen::buildFrame(s, s.players[0], payload, sizeof payload, f, sizeof f);
    ASSERT_EQ(n, 14u + 20 + 8 + sizeof payload);
    EXPECT_EQ(f[12] << 8 | f[13], 0x0800);
    const uint8_t* ip = f + 14;
    EXPECT_EQ(ip[0], 0x45);
    EXPECT_EQ(ip[9], 17);
    EXPECT_EQ(ip[2] << 8 | ip[3], 20 + 8 + static_cast<int>(sizeof payload));
    EXPECT_EQ(onesSum(ip, 20), 0xFFFFu);
    EXPECT_THAT(std::vector<uint8_t>(ip + 12, ip + 20), ElementsAre(10, 0, 0, 5, 192, 168, 0, 10));
    const uint8_t* udp = ip + 20;
    EXPECT_EQ(udp[0] << 8 | udp[1], 2301);
    EXPECT_EQ(udp[2] << 8 | udp[3], 2300);
    size_t udpLen = 8 + sizeof payload;
    EXPECT_EQ(static_cast<size_t>(udp[4] << 8 | udp[5]), udpLen);
    uint32_t pseudo = onesSum(ip + 12, 8) + 17 + static_cast<uint32_t>(udpLen);
    EXPECT_EQ(onesSum(udp, udpLen, pseudo), 0xFFFFu);
    EXPECT_EQ(std::memcmp(udp + 8, payload, sizeof payload), 0);
    EXPECT_EQ(vkgen::buildFrame(s, s.players[0], payload, sizeof payload, f, 40), 0u);  // too small
}

TEST(GameGen, CaptureFileHoldsEveryDatagramAtItsTime) {
    std::string path = "/tmp/vkgamegen-" + std::to_string(getpid()) + ".pcap";
    vkgen::Scenario s = vkgen::parseScenarioText(
        "start @1796472000\nplayer A 10.0.0.1:1\nfrom 0 to 2 every 0.75 A noise + observe\n");
    EXPECT_EQ(vkgen::writeCapture(s, path), 3u);
    char err[PCAP_ERRBUF_SIZE];
    pcap_t* p = pcap_open_offline(path.c_str(), err);
    ASSERT_NE(p, nullptr) << err;
    EXPECT_EQ(pcap_datalink(p), DLT_EN10MB);
    pcap_pkthdr* h;
    const u_char* d;
    std::vector<std::string> seen;
    while (pcap_next_ex(p, &h, &d) == 1) {
        seen.push_back(std::to_string(h->ts.tv_sec) + "." + std::to_string(h->ts.tv_usec) + " " +
                       std::to_string(h->caplen) + "/" + std::to_string(h->len));
        EXPECT_EQ(d[42 + 3], 10);  // the noise message's length byte after the 3-byte header
    }
    pcap_close(p);
    std::filesystem::remove(path);
    // 42 + 3 + noise (12) + observe (9)
    EXPECT_THAT(seen, ElementsAre("1796472000.0 66/66", "1796472000.750000 66/66", "1796472001.500000 66/66"));
    EXPECT_THROW(vkgen::writeCapture(s, "/nonexistent-dir/x.pcap"), std::runtime_error);
}

}  // namespace
}  // namespace vkdetect
