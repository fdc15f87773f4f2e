#include "common/wildcard.h"

#include "common/text.h"

namespace vk {
namespace {

// Iterative match with one back-track point: '*' first tries the shortest run and grows it on
// a later mismatch. Linear in memory and at worst O(pattern × text), so hostile patterns from
// the network cannot blow the stack or the time budget.
template <class Eq>
bool Match(std::string_view p, std::string_view t, Eq eq) {
    if (p == "*") return true;
    size_t pi = 0, ti = 0;
    size_t starP = std::string_view::npos, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starT = ti;
        } else if (pi < p.size() && (p[pi] == '?' || eq(p[pi], t[ti]))) {
            ++pi;
            ++ti;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            ti = ++starT;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view text) {
    return Match(pattern, text, [](char a, char b) { return a == b; });
}

bool WildcardMatchNoCase(std::string_view pattern, std::string_view text) {
    return Match(pattern, text, [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

}  // namespace vk
