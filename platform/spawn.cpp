#include "platform/spawn.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace vk {

namespace {

std::vector<char*> argPointers(const std::vector<std::string>& argv) {
    std::vector<char*> p;
    p.reserve(argv.size() + 1);
    for (const auto& a : argv) p.push_back(const_cast<char*>(a.c_str()));
    p.push_back(nullptr);
    return p;
}

bool endsWithNoCase(const std::string& s, const char* suffix) {
    std::string t(suffix);
    if (s.size() < t.size()) return false;
    for (size_t i = 0; i < t.size(); ++i) {
        char a = s[s.size() - t.size() + i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != t[i]) return false;
    }
    return true;
}

}  // namespace

int runProgram(const std::vector<std::string>& argv) {
    if (argv.empty()) return -1;
    auto args = argPointers(argv);
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int shellOpen(const std::string& file, const std::string& dir) {
    std::string path = dir.empty() || (!file.empty() && file[0] == '/') ? file : dir + "/" + file;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 2;  // file not found
    std::vector<std::string> argv;
    if (endsWithNoCase(file, ".bat") || endsWithNoCase(file, ".sh"))
        argv = {"/bin/sh", path};
    else
        argv = {path};
    auto args = argPointers(argv);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    pid_t pid = 0;
    int rc = posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? 42 : 5;  // 5: access denied
}

}  // namespace vk
