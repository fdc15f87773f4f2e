#include "platform/processes.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>

namespace vk {
namespace {

std::vector<int> Pids() {
    std::vector<int> pids;
    DIR* d = opendir("/proc");
    if (!d) return pids;
    while (dirent* e = readdir(d)) {
        char* end = nullptr;
        long pid = std::strtol(e->d_name, &end, 10);
        if (end && *end == '\0' && pid > 0) pids.push_back(static_cast<int>(pid));
    }
    closedir(d);
    return pids;
}

std::string ReadLink(const std::string& path) {
    char buf[4096];
    ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

}  // namespace

std::vector<ProcessInfo> ProcProcesses::list() {
    std::vector<ProcessInfo> out;
    for (int pid : Pids()) {
        std::string dir = "/proc/" + std::to_string(pid);
        ProcessInfo p;
        p.pid = pid;
        std::string exe = ReadLink(dir + "/exe");
        if (!exe.empty()) p.modules.push_back(exe);
        // File-backed mappings: the sixth field of a maps line is an absolute path (a game
        // under Wine maps its .exe and .dll files here).
        std::ifstream maps(dir + "/maps");
        std::set<std::string> seen;
        std::string line;
        while (std::getline(maps, line)) {
            auto slash = line.find('/');
            if (slash == std::string::npos) continue;
            std::string path = line.substr(slash);
            static const std::string kDeleted = " (deleted)";
            if (path.size() > kDeleted.size() && path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
                path.resize(path.size() - kDeleted.size());
            if (path != exe && seen.insert(path).second) p.modules.push_back(path);
        }
        if (!p.modules.empty()) out.push_back(std::move(p));
    }
    return out;
}

bool ProcProcesses::heldByOther(const std::string& osPath) {
    struct stat target;
    if (stat(osPath.c_str(), &target) != 0) return false;
    const int self = static_cast<int>(getpid());
    for (int pid : Pids()) {
        if (pid == self) continue;
        std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
        DIR* d = opendir(fdDir.c_str());
        if (!d) continue;
        bool held = false;
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.') continue;
            struct stat st;
            // stat follows the fd link to the open file itself; compare identities, not names.
            if (stat((fdDir + "/" + e->d_name).c_str(), &st) == 0 && st.st_dev == target.st_dev &&
                st.st_ino == target.st_ino) {
                held = true;
                break;
            }
        }
        closedir(d);
        if (held) return true;
    }
    return false;
}

}  // namespace vk
