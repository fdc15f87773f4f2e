#pragma once
// A TForm1 over test ports in a fixture game folder: a real poll reactor (check threads report
// through it), scripted boxes, a virtual clock for the main thread's waits, fixed process
// tables and a resolver that answers loopback without asking any name server.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include <memory>
#include <string>
#include <vector>

#include "client/app/form1.h"
#include "platform/dialogs.h"
#include "platform/poll_reactor.h"
#include "platform/processes.h"
#include "tests/core_checks/game_folder.h"

namespace vk::test {

class RecordingShell final : public Shell {
public:
    int ShellExecute(const std::string& verb, const std::string& file, const std::string&, const std::string& dir) override {
        calls.push_back(verb + " " + file + " in " + dir);
        return 42;
    }
    std::vector<std::string> calls;
};

class RecordingPriority final : public ProcessPriority {
public:
    std::string SetPriorityClass(PriorityClass c) override {
        const char* name = c == PriorityClass::High ? "High" : c == PriorityClass::Realtime ? "Realtime"
                          : c == PriorityClass::Idle ? "Idle" : "Normal";
        set.push_back(name);
        return std::string("Chged priority to ") + name;
    }
    std::vector<std::string> set;
};

class LoopbackResolver final : public NameResolver {
public:
    bool hostByName(const std::string&, uint32_t& address, int&) override {
        address = htonl(INADDR_LOOPBACK);
        return true;
    }
    bool hostByAddr(uint32_t, std::string& name, int&) override {
        name = "localhost";
        return true;
    }
    std::string hostName() override { return "testhost"; }
};

// The game folder of a complete installation; port is the Port= value of mplayer.ini.
inline void Installation(GameFolder& g, int port, bool rgb = true) {
    g.file("volkarmmp.exe", "MZ the game")
        .file("wdnhelp.exe", "companion")
        .file("wdnplyr", "the client")
        .file("mplayer.ini", "[KnownServers]\r\n[MetaServers]\r\nServer=192.0.2.1 6001\r\nPort=" + std::to_string(port) + "\r\n")
        .file("data\\fmparam3.dat", "FMPARAM3 camel")
        .file("data\\acspecs1.dat", "ACSPECS1 specs")
        // Tests ask no router on the machine's network to open a port.
        .file("WDNplyr-settings.txt", "PortMapping=off\r\n");
    for (int i = 0; i < 5; ++i) g.file("data\\volkar" + std::to_string(i) + ".ted", "terrain " + std::to_string(i));
    if (rgb) g.file("rgb.txt", "");
}

// A raw loopback connection standing in for the secure server (or a stranger), from the given
// loopback address.
struct LoopbackPeer {
    explicit LoopbackPeer(int port, const char* from = nullptr) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (from) {
            sockaddr_in local{};
            local.sin_family = AF_INET;
            inet_pton(AF_INET, from, &local.sin_addr);
            EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
        }
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~LoopbackPeer() { ::close(fd); }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;
    void send(const std::string& s) { EXPECT_EQ(::send(fd, s.data(), s.size(), MSG_NOSIGNAL), static_cast<ssize_t>(s.size())); }
    // Takes what has arrived into received; true once the client has closed its end.
    bool closedByClient() {
        char buf[512];
        for (;;) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
            if (n < 0) return false;
            received.append(buf, static_cast<size_t>(n));
        }
    }
    // The next answer (up to and with its terminator 0xC8) once it has arrived, else "".
    std::string answer() {
        closedByClient();
        const size_t end = received.find('\xC8');
        if (end == std::string::npos) return {};
        std::string a = received.substr(0, end + 1);
        received.erase(0, end + 1);
        return a;
    }
    // A closing abort (RST) instead of the orderly end.
    void reset() {
        linger abortive{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        ::close(fd);
        fd = -1;
    }
    int fd = -1;
    bool connected = false;
    std::string received;
};

struct AppHarness {
    explicit AppHarness(GameFolder& g) : game(g) {
        processes.table = {{100, {"/games/vk/wdnplyr"}}, {101, {"/games/vk/wdnhelp.exe"}}};
    }
    TForm1& make() {
        app = std::make_unique<TForm1>(AppPorts{reactor, dialogs, clock, shell, processes, priority, resolver, game.root()});
        return *app;
    }
    // Startup and the windows, then the terrain check to its end.
    TForm1& ready() {
        make();
        EXPECT_TRUE(app->Startup());
        app->CreateWindows();
        EXPECT_TRUE(reactor.runUntil([&] { return app->state.tedCheckDone; }, 15000)) << log();
        return *app;
    }
    void settle() {
        reactor.runUntil([&] { return app->checks.running() == 0; }, 15000);
        reactor.processEvents(0);
    }
    std::string log() const {
        std::string s;
        if (app)
            for (const auto& l : app->Form1.Memo1.lines) s += l + "\n";
        return s;
    }
    bool logged(const std::string& line) const {
        if (!app) return false;
        for (const auto& l : app->Form1.Memo1.lines)
            if (l == line) return true;
        return false;
    }
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> t;
        for (const auto& b : dialogs.shown) t.push_back(b.text);
        return t;
    }
    ~AppHarness() {
        if (app) app->Shutdown([&] { reactor.processEvents(20); });
    }

    GameFolder& game;
    PollReactor reactor;
    ScriptedDialogs dialogs;
    VirtualClock clock;
    RecordingShell shell;
    FixedProcesses processes;
    RecordingPriority priority;
    LoopbackResolver resolver;
    std::unique_ptr<TForm1> app;
};

}  // namespace vk::test
