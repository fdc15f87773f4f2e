// VKST.json beside VKST.csv: the same events in the same order, every byte of a player's text
// kept and no line forgeable; and the IgnoreIP list, whose detections are logged but never blocked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "replay_fixture.h"

namespace vkdetect {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A flat JSON object as VKST writes it: string, number and null values. Strings are decoded
// to bytes (\u00XX is one byte); anything else fails the test.
using Object = std::map<std::string, std::optional<std::string>>;

std::string decodeString(const std::string& line, size_t& i) {
    EXPECT_EQ(line[i], '"') << line;
    std::string out;
    for (++i; i < line.size() && line[i] != '"'; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "raw byte " << int(c) << " in " << line;
        if (c != '\\') {
            out += static_cast<char>(c);
            continue;
        }
        char e = line[++i];
        if (e == 'u') {
            unsigned v = std::stoul(line.substr(i + 1, 4), nullptr, 16);
            EXPECT_LT(v, 256u) << line;
            out += static_cast<char>(v);
            i += 4;
        } else {
            EXPECT_TRUE(e == '"' || e == '\\') << line;
            out += e;
        }
    }
    ++i;
    return out;
}

Object parseObject(const std::string& line) {
    Object o;
    size_t i = 0;
    EXPECT_EQ(line.front(), '{') << line;
    EXPECT_EQ(line.back(), '}') << line;
    ++i;
    while (i < line.size() && line[i] != '}') {
        std::string key = decodeString(line, i);
        EXPECT_EQ(line[i], ':') << line;
        ++i;
        if (line[i] == '"') {
            o[key] = decodeString(line, i);
        } else {
            size_t end = line.find_first_of(",}", i);
            std::string v = line.substr(i, end - i);
            o[key] = v == "null" ? std::nullopt : std::optional<std::string>(v);
            i = end;
        }
        if (line[i] == ',') ++i;
    }
    return o;
}

// Objects of the JSON log that stand for event lines of VKST.csv (the monitor's own records,
// STATISTICS and BLOCK SKIPPED, are left out).
std::vector<Object> jsonEvents(const std::string& json) {
    std::vector<Object> out;
    for (const std::string& line : splitLines(json, "\n")) {
        Object o = parseObject(line);
        if (o["event"] == "STATISTICS" || o["event"] == "BLOCK SKIPPED") continue;
        out.push_back(o);
    }
    return out;
}

struct CsvEvent {
    std::string time, ip, port, name, event, detail;
};

// "HH:MM:SS, ip, port, name, EVENT, EVENT, detail, " (names here hold no ", ").
CsvEvent csvEvent(const std::string& line) {
    std::vector<std::string> c = splitLines(line, ", ");
    CsvEvent e;
    if (c.size() < 7) {
        ADD_FAILURE() << line;
        return e;
    }
    e.time = c[0], e.ip = c[1], e.port = c[2], e.name = c[3], e.event = c[4];
    EXPECT_EQ(c[4], c[5]) << line;
    const std::string head = e.event + ", " + e.event + ", ";
    size_t at = line.find(head) + head.size();
    size_t end = line.rfind(',');
    e.detail = line.substr(at, end - at);
    return e;
}

std::string readSource(const std::string& rel) {
    std::ifstream f(std::string(VK_SOURCE_DIR) + "/" + rel, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class Json : public ReplayTest {};

TEST_F(Json, SampleMatchHasTheSameEventsInTheSameOrderAsTheCsv) {
    file("lndmrks0.dat", readSource("demo/sample/lndmrks0.dat"));
    RunResult r = replayWithIni(readSource("demo/sample/match.txt"), readSource("demo/sample/VKST.ini"));
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<std::string> csv = r.events();
    const std::vector<Object> json = jsonEvents(r.json);
    ASSERT_GT(csv.size(), 50u);
    ASSERT_EQ(json.size(), csv.size()) << r.json;
    for (size_t i = 0; i < csv.size(); ++i) {
        CsvEvent c = csvEvent(csv[i]);
        Object o = json[i];
        SCOPED_TRACE(csv[i]);
        // 2026-12-05T20:00:04+00:00: the same time of day, with the date and the offset.
        ASSERT_TRUE(o["time"].has_value());
        EXPECT_THAT(*o["time"], ::testing::MatchesRegex("2026-12-05T[0-9:]{8}\\+00:00"));
        EXPECT_EQ(o["time"]->substr(11, 8), c.time);
        EXPECT_EQ(o["event"], c.event);
        std::string detail = o["detail"].value_or("<null>");
        // A chat line is written as sent; the CSV has it in lower case.
        if (c.event == "BAD_CHAT")
            for (char& ch : detail) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        EXPECT_EQ(detail, c.detail);
        EXPECT_EQ(o["address"], c.ip);
        EXPECT_EQ(o["port"], c.port);
        if (c.name != "event_msg") {
            EXPECT_EQ(o["name"], c.name);
        }
        if (c.event == "NEW SESSION" || c.event == "CLOSE SESSION") {
            EXPECT_EQ(o["session"], c.detail);
        }
    }
    // The statistics close the run's JSON log.
    const std::vector<std::string> lines = splitLines(r.json, "\n");
    Object last = parseObject(lines.back());
    EXPECT_EQ(last["event"], "STATISTICS");
    EXPECT_EQ(last["received"], "10321");
    EXPECT_THAT(r.out, HasSubstr("\nRemove any rerouted IPs...\n\nCapture statistics: 10321 packets read from the "
                                 "capture file\n86.7 packets per second over 119 s; oversized-packet warnings left "
                                 "out: 0; players turned away by a full table: 0\n"));
}

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char b[4];
    for (uint8_t c : bytes) {
        std::snprintf(b, sizeof b, "%02x ", c);
        out += b;
    }
    return out;
}

TEST_F(Json, EveryByteOfNamesAndChatSurvivesAndNoLineIsForged) {
    struct Case {
        const char* what;
        std::string name;  // as sent in the Gold Room message (up to 16 bytes, no NUL)
        std::string chat;  // a bad-chat line ("cheat" in it)
    };
    const std::vector<Case> cases{
        {"ControlBytes", std::string("Ke\r\nst\x01\x1b[2J"), std::string("cheat\r\n{\"event\":\"BLOCK\"}\x07")},
        {"CommasAndQuotes", "A, B, \"C\"\\", "you \"cheat\", ok, 12:00:00"},
        {"HighBytes", "\xC8W\xE4hrung\xFF\x80", "cheat \xC8\xC8 \xE9t\xE9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string scenario = std::string(kHead) + "player P 10.0.0.5:2301\n" + "at 0 P raw " +
                               hex(vkgen::msgGoldRoom(c.name, 2)) + "\nat 1 P raw " + hex(vkgen::msgChat(c.chat)) + "\n";
        Flags f;
        f.badChat = 0;
        RunResult r = replay(scenario, f);
        ASSERT_EQ(r.status, 0) << r.out;
        std::vector<std::string> lines = splitLines(r.json, "\n");
        std::vector<Object> events = jsonEvents(r.json);
        ASSERT_EQ(events.size(), 3u) << r.json;  // NEW SESSION, GR-EVENT, BAD_CHAT
        ASSERT_EQ(lines.size(), 4u) << r.json;   // and STATISTICS: nothing split a line
        EXPECT_EQ(events[0]["event"], "NEW SESSION");
        EXPECT_EQ(events[0]["name"], c.name);
        EXPECT_EQ(events[1]["event"], "GR-EVENT");
        EXPECT_EQ(events[1]["name"], c.name);
        EXPECT_EQ(events[2]["event"], "BAD_CHAT");
        EXPECT_EQ(events[2]["detail"], c.chat);
        EXPECT_EQ(events[2]["name"], c.name);
        EXPECT_EQ(events[2]["session"], "0");
        // VKST.csv keeps its own form: control bytes shown as '?'.
        EXPECT_EQ(r.events().size(), 3u) << r.csv;
    }
}

TEST_F(Json, IgnoredAddressIsDetectedAndLoggedButNeverBlocked) {
    std::string scenario = std::string(kHead) +
                           "player Friend 10.9.0.5:2301\n"
                           "player Foe 10.0.0.6:2302\n"
                           "at 0 all goldroom\n"
                           "at 1 all checksum 12-200\n"
                           "from 1 to 20 30/s all position lat=1 lon=1 alt=1\n";
    Flags f;
    f.speeder = 1;
    f.blockTime = 5;
    std::string vkstIni = ini(f);
    vkstIni.insert(vkstIni.find("TestUDP"), "IgnoreIP=10.9.0.0/16;\r\n");
    RunResult r = replayWithIni(scenario, vkstIni);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("IgnoreIP 10.9.0.0/16 is never blocked\n"));
    // Both speed; only the foe is blocked.
    EXPECT_THAT(r.csv, HasSubstr("10.9.0.5, 2301, Friend, SPEEDER, SPEEDER, 30, "));
    EXPECT_THAT(r.csv, HasSubstr("10.0.0.6, 2302, Foe, BLOCK, BLOCK, SPEEDER, "));
    EXPECT_THAT(r.csv, Not(HasSubstr("Friend, BLOCK")));
    EXPECT_THAT(r.out, Not(HasSubstr("route add 10.9.0.5")));
    EXPECT_THAT(r.out, HasSubstr("SPEEDING by Friend (msg cnt = 30, IP: 10.9.0.5)\n"
                                 "Block of Friend (10.9.0.5) for SPEEDER skipped: IgnoreIP 10.9.0.0/16\n"));
    EXPECT_THAT(r.json, HasSubstr("\"event\":\"BLOCK SKIPPED\",\"detail\":\"SPEEDER; IgnoreIP 10.9.0.0/16\","
                                  "\"address\":\"10.9.0.5\",\"port\":2301,\"name\":\"Friend\",\"session\":0}"));
}

}  // namespace
}  // namespace vkdetect
