#pragma once
// A sorted string list that ignores duplicates, ordered by CompareLines (Windows' ignore-case
// word sort): the result lists, the seen-name and relevant-files lists and the module list.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"

namespace vk {

class SortedList {
public:
    // Inserts line in order; false (and nothing changes) when an equal line is already there.
    bool add(std::string line) {
        auto it = lowerBound(line);
        if (it != lines_.end() && CompareLines(*it, line) == 0) return false;
        lines_.insert(it, std::move(line));
        return true;
    }
    bool contains(std::string_view line) const {
        auto it = lowerBound(line);
        return it != lines_.end() && CompareLines(*it, line) == 0;
    }
    void clear() { lines_.clear(); }
    bool empty() const { return lines_.empty(); }
    size_t size() const { return lines_.size(); }
    const std::string& operator[](size_t i) const { return lines_[i]; }
    const std::vector<std::string>& lines() const { return lines_; }
    auto begin() const { return lines_.begin(); }
    auto end() const { return lines_.end(); }

private:
    std::vector<std::string>::const_iterator lowerBound(std::string_view line) const {
        return std::lower_bound(lines_.begin(), lines_.end(), line,
                                [](const std::string& a, std::string_view b) { return CompareLines(a, b) < 0; });
    }
    std::vector<std::string> lines_;
};

}  // namespace vk
