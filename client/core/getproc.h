#pragma once
// The running-software scan: one snapshot of the modules of every process, matched with the
// wildcard match against each module's full lower-case path.
#include <string>
#include <string_view>

#include "client/core/sorted_list.h"
#include "platform/processes.h"

namespace vk {

// The module list of one scan: lower-case folder + name of every module, sorted, no duplicates.
SortedList ScanModules(Processes& processes);

// The last entry of the sorted module list that matches the lower-cased pattern, or "".
std::string FindRunningModule(Processes& processes, std::string_view pattern);

// How many processes have a module whose lower-case file name equals fileName (lower-cased).
int CountModuleUsers(Processes& processes, std::string_view fileName);

}  // namespace vk
