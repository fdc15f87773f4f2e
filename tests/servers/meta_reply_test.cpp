// The directory request and the reader of the meta server's reply, over crafted bytes.
#include <gtest/gtest.h>

#include "client/servers/meta_reply.h"
#include "tools/metastub/metastub.h"

namespace vk {
namespace {

using metastub::Directory;
using metastub::Entry;

// A text as the reply carries it: a 16-bit count, then the units (ASCII, high byte 0).
std::string T(const std::string& s, int count = -1) {
    std::string out;
    const int n = count < 0 ? static_cast<int>(s.size()) : count;
    out.push_back(static_cast<char>(n & 0xFF));
    out.push_back(static_cast<char>(n >> 8));
    for (char c : s) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

TEST(MetaRequest, MatchesTheStubsWrittenOutBytes) {
    EXPECT_EQ(MetaRequest(), metastub::ExpectedRequest());
    EXPECT_EQ(MetaRequest().size(), 35u);
}

TEST(MetaReply, CraftedReplies) {
    const std::string fixed(30, '\0');
    struct Case {
        const char* name;
        std::string reply;
        std::vector<std::string> entries;
        bool bad = false;
    } cases[] = {
        {"empty", "", {}},
        {"no entry byte", std::string("\x01\x02\x03 hello", 10), {}},
        {"one entry with II/",
         Directory({{"Volkar II/Camel Club", "Dawn patrol", "x", "UDP:192.0.2.5:2300"}}),
         {"Camel Club |__| Dawn patrol |__| UDP:192.0.2.5:2300"}},
        {"second equal to first shown once",
         Directory({{"Volkar II/Jasta 5", "Volkar II/Jasta 5", "", "UDP:192.0.2.6:2400"}}),
         {"Jasta 5 |__| UDP:192.0.2.6:2400"}},
        {"equal texts without II/",
         Directory({{"Jasta 5", "Jasta 5", "", "UDP:192.0.2.6:2400"}}),
         {"__| Jasta 5 |__| UDP:192.0.2.6:2400"}},
        // The parts are compared whole: the name after "II/" is not the first text.
        {"second equal to the name after II/ is kept",
         Directory({{"Volkar II/Jasta 5", "Jasta 5", "", "UDP:192.0.2.6:2400"}}),
         {"Jasta 5 |__| Jasta 5 |__| UDP:192.0.2.6:2400"}},
        {"first without II/ loses two characters",
         Directory({{"Camel", "Dawn", "", "UDP:192.0.2.7:2500"}}),
         {"__| Camel |__| Dawn |__| UDP:192.0.2.7:2500"}},
        {"fourth equal to second left out",
         Directory({{"Volkar II/A", "same", "", "same"}}),
         {"A |__| same"}},
        {"control bytes and the count's high byte dropped",
         "S" + std::string("\x03\x00" "a\x00\x01\x00" "b\x00", 8) + T("two") + T("") + fixed + T("UDP:1.2.3.4:5") + "\0\0",
         {"__| ab |__| two |__| UDP:1.2.3.4:5"}},
        {"count's high byte from 0x20 on is a character",
         "S" + std::string("\x01\x41" "z\x00", 4) + T("Volkar II/") + T("") + fixed + T("f") + "\0\0",
         {"__| Az |__| Volkar II/ |__| f"}},
        {"bytes between entries skipped",
         std::string("\x09\x09") + Directory({{"Volkar II/A", "b", "c", "d"}}).substr(4) + "zz" +
             Directory({{"Volkar II/E", "f", "g", "h"}}).substr(4),
         {"A |__| b |__| d", "E |__| f |__| h"}},
        // A count that claims more than the reply holds reads the zero-filled buffer beyond it.
        {"count past the end of the reply reads zeros",
         "S" + T("Volkar II/short", 200),
         {"short |__| "}},
    };
    for (const auto& c : cases) {
        const MetaReply r = ParseMetaReply(c.reply);
        EXPECT_EQ(r.entries, c.entries) << c.name;
        EXPECT_EQ(r.badEntry, c.bad) << c.name;
    }
}

TEST(MetaReply, EntriesAreCutAt255Characters) {
    const MetaReply r = ParseMetaReply(Directory({{"Volkar II/" + std::string(200, 'n'), std::string(200, 'm'), "", "x"}}));
    ASSERT_EQ(r.entries.size(), 1u);
    EXPECT_EQ(r.entries[0].size(), 255u);
}

TEST(MetaReply, NeverReadsOutsideItsBuffer) {
    // An entry at the end of the search range whose counts run past the 64001-byte buffer.
    std::string reply(kMetaSearchLimit - 1, '\0');
    reply += "S" + T("x", 255) + T("y", 255);
    const MetaReply r = ParseMetaReply(reply);
    EXPECT_TRUE(r.entries.empty());
    EXPECT_TRUE(r.badEntry);

    // Bytes beyond the buffer are not looked at; an 'S' past the search limit opens no entry.
    std::string big(kMetaBufferSize + 5000, 'S');
    std::fill(big.begin(), big.begin() + kMetaSearchLimit, '\0');
    EXPECT_TRUE(ParseMetaReply(big).entries.empty());

    // Every entry size up to the end is bounded: a buffer of 'S' bytes parses without fault.
    const MetaReply all = ParseMetaReply(std::string(kMetaBufferSize, 'S'));
    EXPECT_TRUE(all.badEntry);
}

TEST(MetaReply, StubDirectoryRoundTrip) {
    std::vector<Entry> list = metastub::ParseList(
        "# servers\r\nVolkar II/One\tFirst\tthird\tUDP:192.0.2.1:2300\r\n\r\nVolkar II/Two\tSecond\t\tUDP:192.0.2.2:2400\n");
    ASSERT_EQ(list.size(), 2u);
    const MetaReply r = ParseMetaReply(Directory(list));
    EXPECT_EQ(r.entries, (std::vector<std::string>{"One |__| First |__| UDP:192.0.2.1:2300",
                                                   "Two |__| Second |__| UDP:192.0.2.2:2400"}));
}

}  // namespace
}  // namespace vk
