#include "common/text.h"

#include <array>
#include <cstdint>

namespace vk {

std::string LowerAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = LowerAscii(c);
    return r;
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(start, end - start));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::string EscapeBytes(std::string_view s, const char* lineBreak) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (lineBreak && (c == '\r' || c == '\n')) {
            if (c == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
            out += lineBreak;
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            static const char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

namespace {

// Primary weight of each byte; 0 = no primary weight (hyphen, apostrophe).
std::array<uint16_t, 256> MakeWeights() {
    std::array<uint16_t, 256> w{};
    uint16_t next = 1;
    for (int c = 1; c < 0x20; ++c) w[c] = next++;
    w[0] = next++;
    for (char c : std::string_view(" !\"#$%&()*,./:;?@[\\]^_`{|}~+<=>")) w[static_cast<uint8_t>(c)] = next++;
    for (int c = '0'; c <= '9'; ++c) w[c] = next++;
    for (int c = 'a'; c <= 'z'; ++c) {
        w[c] = next;
        w[c - 'a' + 'A'] = next++;
    }
    for (int c = 0x7F; c < 256; ++c) w[c] = next++;
    w['-'] = 0;
    w['\''] = 0;
    return w;
}

const std::array<uint16_t, 256> kWeights = MakeWeights();

}  // namespace

int CompareLines(std::string_view a, std::string_view b) {
    // Primary level: the weighted characters, ignoring hyphens and apostrophes.
    size_t i = 0, j = 0;
    for (;;) {
        while (i < a.size() && kWeights[static_cast<uint8_t>(a[i])] == 0) ++i;
        while (j < b.size() && kWeights[static_cast<uint8_t>(b[j])] == 0) ++j;
        if (i == a.size() || j == b.size()) break;
        uint16_t wa = kWeights[static_cast<uint8_t>(a[i])], wb = kWeights[static_cast<uint8_t>(b[j])];
        if (wa != wb) return wa < wb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    // Tie: compare the hyphens and apostrophes by their position and kind.
    i = j = 0;
    for (;;) {
        while (i < a.size() && kWeights[static_cast<uint8_t>(a[i])] != 0) ++i;
        while (j < b.size() && kWeights[static_cast<uint8_t>(b[j])] != 0) ++j;
        if (i == a.size() || j == b.size()) break;
        if (i != j) return i < j ? -1 : 1;
        if (a[i] != b[j]) return a[i] == '\'' ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

}  // namespace vk
