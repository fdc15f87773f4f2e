#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "client/core/sorted_list.h"
#include "common/aes.h"
#include "common/crc32.h"
#include "common/text.h"
#include "common/wildcard.h"

namespace vk {
namespace {

// Bit-at-a-time reference: the reflected polynomial with the given preset and final XOR.
uint32_t ReferenceCrc(const std::string& s, uint32_t preset, uint32_t finalXor) {
    uint32_t r = preset;
    for (unsigned char c : s) {
        r ^= c;
        for (int k = 0; k < 8; ++k) r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1u)));
    }
    return r ^ finalXor;
}

std::string Hex(const std::string& h) {
    std::string s;
    for (size_t i = 0; i + 1 < h.size(); i += 2) s += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
    return s;
}

TEST(Text, EscapeBytesShowsWireBytesAndOptionallyBreaksLines) {
    struct Case {
        std::string in;
        const char* lineBreak;
        std::string out;
    } cases[] = {
        {"ver?\xC8", nullptr, "ver?\\xC8"},
        {std::string("a\0b", 3), nullptr, "a\\x00b"},
        {"x\x7F\xFF", nullptr, "x\\x7F\\xFF"},
        {"one\r\ntwo\rthree\nfour", nullptr, "one\\x0D\\x0Atwo\\x0Dthree\\x0Afour"},
        {"one\r\ntwo\rthree\nfour", " | ", "one | two | three | four"},
        {"", " | ", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(EscapeBytes(c.in, c.lineBreak), c.out) << c.in;
}

TEST(Crc32, CheckValueAndEmptyBuffer) {
    EXPECT_EQ(Crc32("123456789"), 3421780262u);
    EXPECT_EQ(Crc32(""), 0u);
    EXPECT_EQ(RawCrc32(""), 0u);
}

TEST(Crc32, StandardAndRawAgreeWithBitwiseReference) {
    std::mt19937 rng(7);
    std::vector<std::string> inputs = {"123456789", "a", "fmparam3.dat=1234|2577850363|1\r\n", std::string(1, '\0'),
                                       std::string(300, '\xFF')};
    std::string random(100003, '\0');
    for (char& c : random) c = static_cast<char>(rng());
    inputs.push_back(random);
    for (const auto& s : inputs) {
        EXPECT_EQ(Crc32(s), ReferenceCrc(s, 0xFFFFFFFFu, 0xFFFFFFFFu)) << s.size();
        EXPECT_EQ(RawCrc32(s), ReferenceCrc(s, 0, 0)) << s.size();
    }
}

TEST(Crc32, PiecesChainToTheWholeCrc) {
    std::string s(70000, 'x');
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>(i * 31);
    uint32_t c = 0;
    for (size_t at = 0; at < s.size(); at += 4097) c = Crc32Update(c, s.data() + at, std::min<size_t>(4097, s.size() - at));
    EXPECT_EQ(c, Crc32(s));
}

const AesKey kFipsKey = [] {
    AesKey k{};
    for (size_t i = 0; i < k.size(); ++i) k[i] = static_cast<uint8_t>(i);
    return k;
}();

TEST(Aes, Fips197AppendixC3) {
    const std::string plain = Hex("00112233445566778899aabbccddeeff");
    const std::string cipher = Hex("8ea2b7ca516745bfeafc49904b496089");
    EXPECT_EQ(EncipherText(plain, kFipsKey), cipher);
    // The plain block begins with a zero byte, so the deciphered text is cut before it.
    EXPECT_EQ(DecipherText(cipher, kFipsKey), "");
}

TEST(Aes, Sp800_38aEcbVectorsDecipherWhole) {
    AesKey key{};
    std::string k = Hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    std::copy(k.begin(), k.end(), reinterpret_cast<char*>(key.data()));
    const std::string plain = Hex(
        "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e5130c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    const std::string cipher = Hex(
        "f3eed1bdb5d2a03c064b5a7e3db181f8591ccb10d410ed26dc5ba74a31362870b6ed21b99ca6f4f9f153e7b1beafed1d23304b7a39f9f3ff067d8d8f9e24ecc7");
    EXPECT_EQ(EncipherText(plain, key), cipher);
    EXPECT_EQ(DecipherText(cipher, key), plain);
}

TEST(Aes, EqualBlocksGiveEqualCipherBlocks) {
    std::string block = "crc=1234567890\xC8!";
    std::string c = EncipherText(block + block, kFipsKey);
    ASSERT_EQ(c.size(), 32u);
    EXPECT_EQ(c.substr(0, 16), c.substr(16, 16));
}

TEST(Aes, PaddedLengthsAndRoundTrip) {
    struct Case {
        size_t plain, cipher;
    } cases[] = {{0, 0}, {1, 16}, {8, 16}, {15, 16}, {16, 16}, {17, 32}, {32, 32}, {33, 48}};
    for (auto c : cases) {
        std::string text(c.plain, 'a');
        for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
        std::string e = EncipherText(text, kFipsKey);
        EXPECT_EQ(e.size(), c.cipher) << c.plain;
        EXPECT_EQ(DecipherText(e, kFipsKey), text) << c.plain;
    }
    // A cipher text that is not a multiple of 16 is extended with zero bytes first.
    std::string e = EncipherText("abc", kFipsKey);
    EXPECT_EQ(DecipherText(e.substr(0, 16), kFipsKey), "abc");
}

TEST(Aes, KeyHexParsing) {
    AesKey k{};
    EXPECT_TRUE(ParseAesKeyHex("000102030405060708090a0b0c0d0e0f101112131415161718191A1B1C1D1E1F", k));
    EXPECT_EQ(k, kFipsKey);
    EXPECT_FALSE(ParseAesKeyHex("0001", k));
    EXPECT_FALSE(ParseAesKeyHex(std::string(63, '0') + "g", k));
}

TEST(Wildcard, Cases) {
    struct Case {
        const char* pattern;
        const char* text;
        bool match;
    } cases[] = {
        {"*", "", true},
        {"*", "anything", true},
        {"", "", true},
        {"", "a", false},
        {"fmparam*?.dat", "fmparam3.dat", true},
        {"fmparam*?.dat", "fmparam.dat", false},  // '?' needs one character
        {"fmparam*?.dat", "fmparam12.dat", true},
        {"acspecs?.dat", "acspecs1.dat", true},
        {"acspecs?.dat", "acspecs12.dat", false},
        {"acspecs?.dat", "ACSPECS1.DAT", false},  // case-sensitive
        {"*\\wdnhelp.exe", "c:\\games\\volkar\\wdnhelp.exe", true},
        {"*/wdnplyr", "/opt/volkar/wdnplyr", true},
        {"*/wdnplyr", "/opt/volkar/wdnplyr2", false},
        {"a*b*c", "aXbYbZc", true},
        {"a*b*c", "aXbYbZ", false},
        {"*a", "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", false},
        {"**?", "x", true},
        {"?", "", false},
    };
    for (auto c : cases) EXPECT_EQ(WildcardMatch(c.pattern, c.text), c.match) << c.pattern << " / " << c.text;
    EXPECT_TRUE(WildcardMatchNoCase("FMPARAM?.DAT", "fmparam3.dat"));
    EXPECT_FALSE(WildcardMatchNoCase("fmparam?.dat", "fmparam33.dat"));
}

// The order of the result lines is what crc? checksums, so it is pinned here: blank, "!",
// ".", "\", "_", "|", "=", digits, letters; '-' without primary weight; case ignored.
TEST(LineOrder, MatchesWindowsIgnoreCaseWordSort) {
    const std::vector<std::string> expected = {
        " lead",
        "!data\\vk.vol=87237|98328732|1",
        ".\\data\\fmparam3.dat",
        "\\x",
        "_data\\vk.vol",
        "|bar",
        "a.dat=10|1|1",
        "a_b.dat=1|1|1",
        "a=1|2|1",
        "a0.dat=1|1|1",
        "ab.dat=1|1|1",
        "a-b.dat=1|1|1",  // hyphen ignored: beside "ab.dat", after it
        "abc.dat=1|1|1",
        "acspecs1.dat=5|1|1",
        "data\\multi\\fmparam3.dat",
        "data\\simpatch\\fmparam3.dat",
        "data\\volkar0.ted",
        "data_x",
        "data=",
        "data0",
        "fmparam.dat=1|1|1",
        "fmparam1.dat=1|1|1",
        "FMPARAM12.DAT=1|1|1",
        "fmparam2.dat=1|1|1",
        "fmparam3.dat=1|1|1",
        "vk.vol:fmparam3.dat",
        "vk2.vol:fmparam3.dat",
        "Zeta",
    };
    std::vector<std::string> shuffled = expected;
    std::mt19937 rng(3);
    for (int round = 0; round < 5; ++round) {
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        SortedList list;
        for (const auto& s : shuffled) EXPECT_TRUE(list.add(s)) << s;
        EXPECT_EQ(list.lines(), expected);
    }
}

TEST(LineOrder, DuplicatesIgnoreCaseButNotHyphens) {
    SortedList list;
    EXPECT_TRUE(list.add("FmParam3.dat=1|2|1"));
    EXPECT_FALSE(list.add("fmparam3.DAT=1|2|1"));
    EXPECT_TRUE(list.add("fm-param3.dat=1|2|1"));
    EXPECT_TRUE(list.contains("FMPARAM3.DAT=1|2|1"));
    EXPECT_FALSE(list.contains("fmparam3.dat=1|2|"));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(CompareLines("abc", "ABC"), 0);
    EXPECT_LT(CompareLines("ab", "abc"), 0);
    EXPECT_GT(CompareLines("b", "a-z"), 0);
}

TEST(Text, Helpers) {
    EXPECT_EQ(LowerAscii("Data\\FMPARAM3.Dat\xC9"), "data\\fmparam3.dat\xC9");
    EXPECT_TRUE(StartsWithNoCase("SRVINF:EOT:", "srvinf:"));
    EXPECT_FALSE(StartsWithNoCase("srv", "srvinf:"));
    EXPECT_TRUE(EqualsNoCase("WDNplyr", "wdnplyr"));
}

}  // namespace
}  // namespace vk
