#include "platform/shell.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace vk {

namespace {

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
    if (s.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char a = s[s.size() - suffix.size() + i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != suffix[i]) return false;
    }
    return true;
}

bool IsAddress(const std::string& file) {
    size_t p = file.find("://");
    if (p == std::string::npos || p == 0) return false;
    for (size_t i = 0; i < p; ++i) {
        char c = file[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
    }
    return true;
}

int Spawn(std::vector<std::string> argv, const std::string& dir, bool searchPath) {
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    pid_t pid = 0;
    int rc = searchPath ? posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ)
                        : posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return rc == ENOENT ? 2 : 5;
    // The caller never waits: collect the child when it ends so that it leaves no zombie.
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return 42;
}

// A Windows program (a PE file starts with "MZ"), which only Wine can run here.
bool IsWindowsProgram(const std::string& path) {
    char magic[2] = {0, 0};
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    const size_t n = std::fread(magic, 1, 2, f);
    std::fclose(f);
    return n == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

// The first executable "wine" of PATH, or "".
std::string FindWine() {
    const char* path = std::getenv("PATH");
    if (!path) return {};
    std::istringstream dirs(path);
    for (std::string d; std::getline(dirs, d, ':');) {
        if (d.empty()) continue;
        const std::string candidate = d + "/wine";
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

}  // namespace

int ShellOpen(const std::string& file, const std::string& params, const std::string& dir) {
    std::vector<std::string> extra;
    std::istringstream words(params);
    for (std::string w; words >> w;) extra.push_back(w);

    if (IsAddress(file)) {
        std::vector<std::string> argv{"xdg-open", file};
        return Spawn(argv, dir, true);
    }
    std::string path = (dir.empty() || (!file.empty() && file[0] == '/')) ? file : dir + (dir.back() == '/' ? "" : "/") + file;
    struct stat st {};
    if (file.empty() || stat(path.c_str(), &st) != 0) return 2;
    std::vector<std::string> argv;
    if (S_ISDIR(st.st_mode)) {
        argv = {"xdg-open", path};
        return Spawn(argv, dir, true);
    }
    if (EndsWithNoCase(file, ".bat") || EndsWithNoCase(file, ".sh")) {
        argv = {"/bin/sh", path};
    } else if (IsWindowsProgram(path)) {
        const std::string wine = FindWine();
        if (wine.empty()) return 11;  // ERROR_BAD_FORMAT: not a program this system can run
        argv = {wine, path};
    } else if (access(path.c_str(), X_OK) == 0) {
        argv = {path};
    } else {
        argv = {"xdg-open", path};  // a document: its default handler
        return Spawn(argv, dir, true);
    }
    argv.insert(argv.end(), extra.begin(), extra.end());
    return Spawn(argv, dir, false);
}

}  // namespace vk
