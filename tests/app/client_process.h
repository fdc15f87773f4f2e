#pragma once
// The client binary as a process in a fixture game folder: its own copy under the given name
// (the game folder is the folder of the executable), standard output and error into a log
// file, console commands through a pipe.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "client/core/getproc.h"
#include "platform/processes.h"
#include "tests/app/app_harness.h"

extern char** environ;

namespace vk::test {

class ClientProcess {
public:
    ClientProcess(const std::string& gameRoot, const std::string& name = "WDNplyr") {
        exe_ = gameRoot + name;
        std::filesystem::copy_file(VK_CLIENT_BINARY, exe_, std::filesystem::copy_options::overwrite_existing);
        ::chmod(exe_.c_str(), 0755);
        logPath_ = gameRoot + "../" + name + ".log";
    }
    ~ClientProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stdin_ >= 0) ::close(stdin_);
    }

    void start() {
        int in[2];
        if (::pipe2(in, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 1, logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&fa, 1, 2);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        std::string arg0 = exe_, arg1 = "--headless";
        char* argv[] = {arg0.data(), arg1.data(), nullptr};
        if (posix_spawn(&pid_, exe_.c_str(), &fa, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        ::close(in[0]);
        stdin_ = in[1];
    }

    std::string log() const {
        std::ifstream in(logPath_, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    bool logged(const std::string& text) const { return log().find(text) != std::string::npos; }
    // Waits until the log holds text (or the process has ended).
    bool waitFor(const std::string& text, int timeoutMs = 20000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            if (logged(text)) return true;
            if (exited()) return logged(text);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    void command(const std::string& line) {
        const std::string s = line + "\n";
        if (::write(stdin_, s.data(), s.size()) < 0) {
        }
    }
    // Sends one command of the control language and returns its completion line ("= ..."), or
    // "" when none came in time.
    std::string ask(const std::string& line, int timeoutMs = 20000) {
        const size_t from = log().size();
        command(line);
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            const std::string text = log();
            // The completion is the first line starting "= " after the command's echo.
            const size_t echo = text.find("> ", from);
            if (echo != std::string::npos) {
                size_t at = text.find("\n= ", echo);
                if (at != std::string::npos) {
                    const size_t nl = text.find('\n', at + 1);
                    if (nl != std::string::npos) return text.substr(at + 1, nl - at - 1);
                }
            }
            if (exited()) return "";
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return "";
    }
    void terminate() {
        if (pid_ > 0) ::kill(pid_, SIGTERM);
    }
    // Exit status, or -1 when it did not end in time (or was killed by a signal).
    int wait(int timeoutMs = 20000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            if (exited()) return status_;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
    pid_t pid() const { return pid_; }
    bool exited() {
        if (pid_ <= 0) return true;
        int st = 0;
        if (::waitpid(pid_, &st, WNOHANG) == pid_) {
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
            pid_ = -1;
            return true;
        }
        return false;
    }

private:
    std::string exe_;
    std::string logPath_;
    pid_t pid_ = -1;
    int status_ = -1;
    int stdin_ = -1;
};

// An installation whose companion program really runs (and ends at once).
inline void RunnableInstallation(GameFolder& g, int port, bool rgb = true) {
    Installation(g, port, rgb);
    g.file("wdnhelp.exe", "#!/bin/sh\nexit 0\n");
    ::chmod(g.osPath("wdnhelp.exe").c_str(), 0755);
    ::unlink(g.osPath("wdnplyr").c_str());  // the client's own copy takes its place
}

// The client started in a fresh installation, listening once it has said so.
struct ListeningClient {
    explicit ListeningClient(int port) : c((RunnableInstallation(g, port), g.root())) {
        c.start();
        ready = c.waitFor("[status] Ready to enter Lobby");
    }
    GameFolder g;
    ClientProcess c;
    bool ready = false;
};

// The single-instance rule counts every process named wdnplyr on this machine: a client that
// runs outside these tests would end every client they start.
class ClientProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ProcProcesses processes;
        if (CountModuleUsers(processes, "wdnplyr") > 0)
            GTEST_SKIP() << "another wdnplyr runs on this machine; the client would end as a second instance";
    }
};

}  // namespace vk::test
