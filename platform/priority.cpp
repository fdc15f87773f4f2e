#include "platform/priority.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vk {

bool SetProcessNice(int nice) {
    DIR* d = opendir("/proc/self/task");
    if (!d) return setpriority(PRIO_PROCESS, 0, nice) == 0;
    bool ok = true;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        const int tid = std::atoi(e->d_name);
        // A thread that ended since the listing is no failure.
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0 && errno != ESRCH) ok = false;
    }
    closedir(d);
    return ok;
}

bool SetThreadNice(int nice) {
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    return setpriority(PRIO_PROCESS, tid, nice) == 0;
}

int NiceValue(PriorityClass c) {
    switch (c) {
    case PriorityClass::Idle: return 19;
    case PriorityClass::High: return -10;
    case PriorityClass::Realtime: return -20;
    case PriorityClass::Normal: break;
    }
    return 0;
}

std::string PriorityName(PriorityClass c) {
    switch (c) {
    case PriorityClass::Idle: return "Idle";
    case PriorityClass::High: return "High";
    case PriorityClass::Realtime: return "Realtime";
    case PriorityClass::Normal: break;
    }
    return "Normal";
}

std::string NicePriority::SetPriorityClass(PriorityClass c) {
    return (SetProcessNice(NiceValue(c)) ? "Chged priority to " : "Error chging priority to ") + PriorityName(c);
}

int ThreadNice() {
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    return getpriority(PRIO_PROCESS, tid);
}

}  // namespace vk
