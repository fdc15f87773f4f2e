#include "client/core/path_guard.h"

namespace vk {

bool StaysInGameFolder(std::string_view name) {
    if (name.empty()) return true;
    if (name.front() == '\\' || name.front() == '/') return false;
    // A drive letter ("C:\", "C:x") or an alternate stream; no game file name has a colon.
    if (name.find(':') != std::string_view::npos) return false;
    if (name.find('\0') != std::string_view::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = name.size();
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

}  // namespace vk
