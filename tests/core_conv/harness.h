#pragma once
// Test doubles for the conversation's ports and a fixture game folder.
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "client/core/conversation.h"
#include "client/core/selftest_form.h"
#include "client/core/sync_check_runner.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/processes.h"

namespace vk::test {

namespace fs = std::filesystem;

// Receives come from a queue (an empty one reads as nothing); sends are recorded.
class FakeSockets final : public SocketsPort {
public:
    int SAccept() override { return acceptResult; }
    void SClose(int socket) override {
        ++closes;
        closed.push_back(socket);
        if (socket == 7) connected = false;
    }
    std::string GetText(int socket) override {
        ++reads;
        readFrom.push_back(socket);
        if (reads_.empty()) return {};
        std::string s = reads_.front();
        reads_.pop_front();
        return s;
    }
    void SetText(int socket, const std::string& text) override {
        sent.push_back(text);
        sentTo.push_back(socket);
    }
    bool SocketDead(int socket) override {
        for (int c : closed)
            if (c == socket) return true;
        return dead || (socket == 7 && !connected);
    }
    std::string GetLocalPort(int) override { return localPort; }
    std::string GetPeerIPAddr(int) override { return peer; }
    std::string GetPeerPort(int) override { return peerPort; }
    void SetPort(const std::string& p) override { port = p; }

    void queue(std::string s) { reads_.push_back(std::move(s)); }

    int acceptResult = 7;
    std::string peer = "192.0.2.10";
    std::string peerPort = "4242";
    std::string localPort = "50998";
    std::string port = "50998";
    bool connected = true;
    bool dead = false;
    int closes = 0;
    int reads = 0;
    std::vector<std::string> sent;
    std::vector<int> sentTo;
    std::vector<int> readFrom;
    std::vector<int> closed;

private:
    std::deque<std::string> reads_;
};

class FakeConnection final : public ConnectionActions {
public:
    void ListenClick() override { calls.push_back("ListenClick"); }
    void CancelListenClick() override { calls.push_back("CancelListenClick"); }
    void CloseClick() override { calls.push_back("CloseClick"); }
    void SetKickPort(int port) override { calls.push_back("SetKickPort " + std::to_string(port)); }
    std::vector<std::string> calls;
};

class FakeShell final : public Shell {
public:
    int ShellExecute(const std::string& verb, const std::string& file, const std::string&, const std::string&) override {
        calls.push_back(verb + " " + file);
        return 42;
    }
    std::vector<std::string> calls;
};

class FakePriority final : public ProcessPriority {
public:
    std::string SetPriorityClass(PriorityClass c) override {
        calls.push_back(c);
        return "Chged priority";
    }
    std::vector<PriorityClass> calls;
};

// A game folder in a fresh temporary directory: GameFolder().file("data\\x.dat", bytes).
class GameFolder {
public:
    GameFolder() {
        char tmpl[] = "/tmp/vkconv_XXXXXX";  // no '-': check= cuts its lists at the first one
        const char* d = mkdtemp(tmpl);
        root_ = d ? d : "/tmp/vkconv_failed";
        path_ = root_ + "/game/";
        fs::create_directories(path_);
    }
    ~GameFolder() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    GameFolder(const GameFolder&) = delete;
    GameFolder& operator=(const GameFolder&) = delete;

    // name with '\' separators, relative to the game folder
    GameFolder& file(const std::string& name, const std::string& bytes) {
        writeAt(path_ + osName(name), bytes);
        return *this;
    }
    // a file beside the game folder (outside it)
    GameFolder& outside(const std::string& name, const std::string& bytes) {
        writeAt(root_ + "/" + osName(name), bytes);
        return *this;
    }
    const std::string& path() const { return path_; }   // with trailing '/'
    const std::string& root() const { return root_; }
    std::string read(const std::string& name) const {
        std::ifstream in(path_ + osName(name), std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    bool exists(const std::string& name) const { return fs::exists(path_ + osName(name)); }

    static std::string osName(std::string n) {
        for (char& c : n)
            if (c == '\\') c = '/';
        return n;
    }

private:
    static void writeAt(const std::string& p, const std::string& bytes) {
        fs::create_directories(fs::path(p).parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
    }
    std::string root_;
    std::string path_;
};

// Every window, port and the conversation, wired as the main window wires them.
struct Harness {
    explicit Harness(const std::string& gameFolder) {
        setenv("TZ", "UTC", 1);
        tzset();
        state.gameFolder = gameFolder;
        state.foregroundChecks = true;  // as without rgb.txt
        conv = std::make_unique<Conversation>(
            state, ConversationWindows{main, errors, serverInfo, selfTest.Memo, getUrl, blocked},
            ConversationPorts{sockets, runner, connection, clock, dialogs, shell, priority, processes});
        conv->random = [](uint32_t n) { return n - 1; };
    }
    // Queues the reads of one data event and runs it; returns what was sent.
    std::vector<std::string> event(std::vector<std::string> reads) {
        for (auto& r : reads) sockets.queue(std::move(r));
        size_t before = sockets.sent.size();
        logMark = main.Memo1.lines.size();
        conv->Sockets1DataAvailable(7);
        return {sockets.sent.begin() + static_cast<long>(before), sockets.sent.end()};
    }
    // The log lines added by the last event().
    std::vector<std::string> newLog() const {
        return {main.Memo1.lines.begin() + static_cast<long>(logMark), main.Memo1.lines.end()};
    }

    ClientState state;
    MainForm main;
    TForm3 errors;
    Tserverinf serverInfo;
    Tselftest selfTest;
    Tgeturl getUrl;
    TblockedIPs blocked;
    FakeSockets sockets;
    FakeConnection connection;
    VirtualClock clock;  // 2023-11-14 22:13:20 UTC, tick 1000
    ScriptedDialogs dialogs;
    FakeShell shell;
    FakePriority priority;
    FixedProcesses processes;
    SyncCheckRunner runner{state, main, clock, processes};
    std::unique_ptr<Conversation> conv;
    size_t logMark = 0;
};

inline std::string T(const std::string& s) { return s + '\xC8'; }

}  // namespace vk::test
