// The decoder on single messages placed in the decode buffer: field positions, the bytes a damage
// message reads beyond itself, chat text and phrases, and the dispatch by length and code.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "monitor/monitor.h"

namespace vkdetect {
namespace {

class Decode : public ::testing::Test {
protected:
    void SetUp() override {
        m = std::make_unique<vkst::Monitor>();
        m->io.out = &out;
        std::strcpy(m->pkt.srcIp, "10.0.0.5");
        m->pkt.srcPort = 2301;
        for (auto& p : m->settings.phrases) p = "-";
    }
    // Puts message bytes at decode-buffer position 31 and decodes them at capture time t (ms).
    void decode(const std::vector<uint8_t>& msg, int64_t ms) {
        std::memcpy(m->buf.data() + vkst::kMessageStart, msg.data(), msg.size());
        m->pkt.tsSec = ms / 1000;
        m->pkt.tsUsec = (ms % 1000) * 1000;
        vkst::decodeMessage(*m);
    }
    static std::vector<uint8_t> message(int len, int code) {
        std::vector<uint8_t> b(static_cast<size_t>(len) + 2, 0);
        b[0] = static_cast<uint8_t>(len);
        b[3] = static_cast<uint8_t>(code);
        return b;
    }
    // A joined session for the source address.
    vkst::Session& joined() {
        vkst::touchSession(*m, "10.0.0.5", 2301, "Kestrel");
        vkst::markJoined(*m, "10.0.0.5", 2301, 0);
        out.text.clear();
        return m->sessions[0];
    }
    std::unique_ptr<vkst::Monitor> m;
    vkst::StringSink out;
};

TEST_F(Decode, PositionFieldsFromTheirBytes) {
    vkst::Session& s = joined();
    std::vector<uint8_t> pos = message(24, 0);
    const uint8_t fields[] = {1, 16, 39, 0, 232, 3, 160, 134};
    std::memcpy(&pos[6], fields, sizeof fields);
    decode(pos, 5000);
    EXPECT_EQ(s.latGrid, 100000u);
    EXPECT_EQ(s.lonGrid, 10000u);
    EXPECT_EQ(s.altitude, 1000u);
    EXPECT_EQ(s.positionTaken, 1);
}

// A damage message of length 20 takes its position from message bytes 50 to 57 and its smoke
// byte from 68: bytes that lie in the buffer after the message itself.
TEST_F(Decode, DamageReadsItsPositionBeyondItself) {
    vkst::Session& s = joined();
    std::memset(m->buf.data(), 0, m->buf.size());
    const uint8_t fields[] = {1, 16, 39, 0, 232, 3, 160, 134};
    std::memcpy(m->buf.data() + vkst::kMessageStart + 50, fields, sizeof fields);
    m->buf[vkst::kMessageStart + 68] = 1;
    decode(message(20, 21), 5000);
    EXPECT_EQ(s.latGrid, 100000u);
    EXPECT_EQ(s.lonGrid, 10000u);
    EXPECT_EQ(s.altitude, 1000u);
    EXPECT_EQ(s.damageCount, 1);
    EXPECT_EQ(out.text, "DAMAGE to Kestrel (10.0.0.5)\n");  // its smoke byte does not matter
}

TEST_F(Decode, LongChatTextIsCutToItsBuffer) {
    m->settings.phrases[0] = "aaa";
    std::vector<uint8_t> chat = message(255, 18);
    chat[7] = 128;
    std::memset(&chat[13], 'A', 243);
    decode(chat, 1000);
    EXPECT_EQ(out.text, "BAD CHAT from 10.0.0.5,  " + std::string(99, 'a') + " \n");
}

TEST_F(Decode, PhraseRules) {
    const struct {
        std::vector<std::string> phrases;
        const char* text;
        bool bad;
    } cases[] = {
        {{"cheat"}, "You CHEAT", true},          // the text is lower-cased first
        {{"Cheat"}, "Cheat", false},             // a phrase with a capital never matches
        {{"gg all"}, "GG ALL, well flown", true},  // spaces kept
        {{}, "hello", false},                    // "-" slots are skipped
        {{"xyz", ""}, "hello", true},            // an empty slot matches everything
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        for (auto& p : m->settings.phrases) p = "-";
        for (size_t i = 0; i < c.phrases.size(); ++i) m->settings.phrases[i] = c.phrases[i];
        std::string text = c.text;
        std::vector<uint8_t> chat = message(12 + static_cast<int>(text.size()), 18);
        chat[7] = 64;
        std::memcpy(&chat[13], text.data(), text.size());
        out.text.clear();
        decode(chat, 1000);
        EXPECT_EQ(out.text.rfind("BAD CHAT from 10.0.0.5,  ", 0) == 0, c.bad) << out.text;
    }
    // A chat of length 12 or less has an empty text, which only an empty slot matches.
    std::vector<uint8_t> empty = message(12, 18);
    empty[7] = 64;
    out.text.clear();
    decode(empty, 1000);
    EXPECT_EQ(out.text, "BAD CHAT from 10.0.0.5,   \n");
}

// Messages that look almost like a known kind go to the tick part (and so start a detector
// tick) instead; a chat needs byte 7 to be 64 or 128.
TEST_F(Decode, DispatchByLengthCodeAndMarkerBytes) {
    m->settings.phrases[0] = "";
    vkst::Session& s = joined();
    s.inGameTicks = 6;
    auto with = [](std::vector<uint8_t> b, int at, uint8_t v) {
        b[at] = v;
        return b;
    };
    std::vector<uint8_t> repair = with(message(11, 21), 12, 128);
    const struct {
        const char* what;
        std::vector<uint8_t> msg;
        const char* console;  // prefix of what is printed; "" for nothing
        bool ticks;
    } cases[] = {
        {"repair", repair, "REPAIR MSG from Kestrel (10.0.0.5)\n", false},
        {"repair with b6 set", with(repair, 6, 1), "", true},
        {"repair without b12 128", with(repair, 12, 127), "", true},
        {"chat b7 64", with(message(20, 18), 7, 64), "BAD CHAT", false},
        {"chat b7 128", with(message(20, 18), 7, 128), "BAD CHAT", false},
        {"chat b7 0", message(20, 18), "", true},
        {"observe", message(7, 28), "OBSERVE MSG from 10.0.0.5\n", false},
        {"observe of another length", message(8, 28), "", true},
        {"gold room of another length", message(30, 35), "", true},
        {"checksum of another code", message(23, 11), "", true},
    };
    int64_t t = 10000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        out.text.clear();
        int64_t before = m->decode.lastTickSec;
        t += 1000;
        decode(c.msg, t);
        EXPECT_EQ(out.text.substr(0, std::strlen(c.console)), c.console);
        if (!*c.console) {
            EXPECT_EQ(out.text.find("REPAIR"), std::string::npos);
        }
        EXPECT_EQ(m->decode.lastTickSec != before, c.ticks);
        s.inGameTicks = 6;
        s.blockCountdown = 0;
    }
}

// A player's name and chat text are shown with control bytes replaced, so they cannot break
// event lines or drive the operator's terminal.
TEST_F(Decode, ControlBytesInPlayerTextAreShownAsQuestionMarks) {
    std::vector<uint8_t> gr = message(31, 35);
    const char name[] = "Bad\r\nName\x1b[2J";
    std::memcpy(&gr[7], name, sizeof name - 1);
    gr[24] = 4;
    decode(gr, 1000);
    EXPECT_THAT(out.text, ::testing::HasSubstr("Bad??Name?[2J sent a Gold Room MSG (aircraft # = 4)\n"));
    EXPECT_STREQ(m->sessions[0].name, "Bad??Name?[2J");

    m->settings.phrases[0] = "";
    std::vector<uint8_t> chat = message(12 + 5, 18);
    chat[7] = 64;
    std::memcpy(&chat[13], "a\nb\tc", 5);
    out.text.clear();
    decode(chat, 1000);
    EXPECT_EQ(out.text, "BAD CHAT from 10.0.0.5,  a?b?c \n");
}

// The 16-byte name field ends at its first zero byte or after 16 bytes.
TEST_F(Decode, GoldRoomNameIsAtMostSixteenBytes) {
    std::vector<uint8_t> gr = message(31, 35);
    std::memset(&gr[7], 'N', 16);
    gr[23] = 'X';  // byte after the name field
    decode(gr, 1000);
    EXPECT_STREQ(m->sessions[0].name, "NNNNNNNNNNNNNNNN");
}

}  // namespace
}  // namespace vkdetect
