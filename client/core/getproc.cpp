#include "client/core/getproc.h"

#include "common/text.h"
#include "common/wildcard.h"

namespace vk {
namespace {

std::string_view FileNamePart(std::string_view path) {
    auto sep = path.find_last_of("\\/");
    return sep == std::string_view::npos ? path : path.substr(sep + 1);
}

}  // namespace

SortedList ScanModules(Processes& processes) {
    SortedList modules;
    for (const auto& p : processes.list())
        for (const auto& m : p.modules) modules.add(LowerAscii(m));
    return modules;
}

std::string FindRunningModule(Processes& processes, std::string_view pattern) {
    const std::string pat = LowerAscii(pattern);
    std::string found;
    for (const auto& m : ScanModules(processes))
        if (WildcardMatch(pat, m)) found = m;
    return found;
}

int CountModuleUsers(Processes& processes, std::string_view fileName) {
    const std::string want = LowerAscii(fileName);
    int count = 0;
    for (const auto& p : processes.list()) {
        for (const auto& m : p.modules) {
            if (LowerAscii(FileNamePart(m)) == want) {
                ++count;
                break;
            }
        }
    }
    return count;
}

}  // namespace vk
