#include "client/selftest/route_detect.h"

#include <algorithm>

namespace vk {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// The address of one record-route entry: "192.0.2.1", or "name (192.0.2.1)" when ping was
// allowed to look names up; "" for "0.0.0.0", "(truncated route)" and the like.
std::string EntryAddress(const std::string& entry) {
    size_t i = 0;
    while (i < entry.size()) {
        while (i < entry.size() && IsBlank(entry[i])) ++i;
        size_t end = i;
        while (end < entry.size() && !IsBlank(entry[end])) ++end;
        std::string word = entry.substr(i, end - i);
        if (word.size() > 2 && word.front() == '(' && word.back() == ')') word = word.substr(1, word.size() - 2);
        if (IsDottedAddress(word)) return word == "0.0.0.0" ? std::string() : word;
        i = end;
    }
    return {};
}

bool IsOwn(const std::string& address, const std::vector<std::string>& own) {
    if (address.rfind("127.", 0) == 0) return true;
    return std::find(own.begin(), own.end(), address) != own.end();
}

}  // namespace

std::optional<std::string> DetectInternetIP(const std::vector<std::string>& lines) {
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string& s = lines[i];
        const size_t colon = s.find(':');
        const size_t arrow = s.find("->");
        if (colon == std::string::npos || arrow == std::string::npos || colon > arrow) continue;
        const size_t start = colon + 2;
        const size_t end = arrow >= 1 ? arrow - 1 : 0;  // the character before the arrow is left out
        return start < end && start <= s.size() ? s.substr(start, end - start) : std::string();
    }
    return std::nullopt;
}

std::vector<std::string> RewriteRecordRoute(const std::vector<std::string>& lines,
                                            const std::vector<std::string>& own) {
    std::vector<std::string> out;
    out.reserve(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string head = Trim(lines[i]);
        if (head.rfind("RR:", 0) != 0) {
            out.push_back(lines[i]);
            continue;
        }
        // The block: the "RR:" line and the indented lines under it.
        size_t end = i + 1;
        while (end < lines.size() && !lines[end].empty() && IsBlank(lines[end][0]) && !Trim(lines[end]).empty())
            ++end;
        std::vector<std::string> route;
        bool outside = false;
        for (size_t j = i; j < end; ++j) {
            const std::string address = EntryAddress(j == i ? head.substr(3) : lines[j]);
            if (address.empty()) continue;
            if (!outside && IsOwn(address, own)) continue;
            route.push_back(route.empty() ? "    Route: " + address + " ->" : "           " + address + " ->");
            outside = true;
        }
        if (route.empty()) {
            out.insert(out.end(), lines.begin() + static_cast<std::ptrdiff_t>(i),
                       lines.begin() + static_cast<std::ptrdiff_t>(end));
        } else {
            out.insert(out.end(), route.begin(), route.end());
        }
        i = end - 1;
    }
    return out;
}

bool IsDottedAddress(const std::string& text) {
    int parts = 0;
    size_t i = 0;
    while (true) {
        size_t digits = 0;
        int value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 4) {
            value = value * 10 + (text[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) return false;
        ++parts;
        if (i == text.size()) return parts == 4;
        if (text[i] != '.' || parts == 4) return false;
        ++i;
    }
}

bool IsPingTarget(const std::string& text) {
    if (text.empty() || text.size() > 253) return false;
    if (IsDottedAddress(text)) return true;
    size_t label = 0;
    char prev = '.';
    for (char c : text) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (c == '.') {
            if (label == 0 || prev == '-') return false;
            label = 0;
        } else if (alnum || c == '-') {
            if (c == '-' && label == 0) return false;
            if (++label > 63) return false;
        } else {
            return false;
        }
        prev = c;
    }
    return prev != '-';  // a last label, or the root's dot after one
}

}  // namespace vk
