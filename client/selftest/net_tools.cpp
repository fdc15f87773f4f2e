#include "client/selftest/net_tools.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace vk {

PosixNetTools::~PosixNetTools() {
    for (const auto& f : files_) ::unlink(f.c_str());
    files_.clear();
}

std::string PosixNetTools::FindProgram(const std::string& name) {
    if (name.empty()) return {};
    auto runnable = [](const std::string& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
    };
    if (name.find('/') != std::string::npos) return runnable(name) ? name : std::string();
    const char* env = std::getenv("PATH");
    std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    path += ":/usr/sbin:/sbin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        std::string dir = path.substr(start, end - start);
        if (!dir.empty()) {
            std::string candidate = dir + "/" + name;
            if (runnable(candidate)) return candidate;
        }
        start = end + 1;
    }
    return {};
}

std::string PosixNetTools::Start(const std::vector<std::string>& argv) {
    if (argv.empty()) return {};
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/WDNplyr-netstat.XXXXXX";
    // mkstemp makes a new file only we can read, never following a link planted under its name.
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return {};
    const std::string file = pattern;

    const std::string program = FindProgram(argv[0]);
    int rc = ENOENT;
    pid_t pid = 0;
    if (!program.empty()) {
        std::vector<std::string> args = argv;
        args[0] = program;
        std::vector<char*> ptrs;
        for (auto& a : args) ptrs.push_back(a.data());
        ptrs.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&fa, fd, 1);
        posix_spawn_file_actions_adddup2(&fa, fd, 2);
        rc = posix_spawn(&pid, program.c_str(), &fa, nullptr, ptrs.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
    }
    ::close(fd);
    if (rc != 0) {
        ::unlink(file.c_str());  // no tool, no output: the read-back must not find a file
        return {};
    }
    // Nobody waits for the tool; collect it when it ends so that it leaves no zombie.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    files_.insert(file);
    return file;
}

void PosixNetTools::Remove(const std::string& path) {
    if (files_.erase(path) != 0) ::unlink(path.c_str());
}

std::vector<std::string> PosixNetTools::OwnAddresses() {
    std::vector<std::string> out;
    for (uint32_t a : resolver_.interfaceAddresses()) {
        in_addr address{};
        address.s_addr = a;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &address, text, sizeof text);
        out.push_back(text);
    }
    return out;
}

}  // namespace vk
