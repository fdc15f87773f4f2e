// vkconvpeer: the player client's side of one secure-server conversation, without windows.
// Listens on a loopback port, answers from a game folder with the client's own handlers and
// prints the server message log as it grows. For the demo and for trying a server script.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "client/core/conversation.h"
#include "client/selftest/selftest_form.h"
#include "common/text.h"
#include "client/core/sync_check_runner.h"
#include "platform/paths.h"
#include "tools/convpeer/peer_sockets.h"

namespace {

class PrintedConnection final : public vk::ConnectionActions {
public:
    void ListenClick() override { std::cout << "[menu] Listen\n"; }
    void CancelListenClick() override { std::cout << "[menu] Cancel listen\n"; }
    void CloseClick() override { std::cout << "[menu] Close\n"; }
    void SetKickPort(int port) override { std::cout << "[kick] UDP port " << port << "\n"; }
};

// Never starts a program: the offer is shown, not opened.
class PrintedShell final : public vk::Shell {
public:
    int ShellExecute(const std::string& verb, const std::string& file, const std::string&, const std::string&) override {
        std::cout << "[shell] " << verb << " " << file << " (not run by the peer)\n";
        return 42;
    }
};

class PrintedPriority final : public vk::ProcessPriority {
public:
    std::string SetPriorityClass(vk::PriorityClass c) override {
        const char* name = c == vk::PriorityClass::High       ? "High"
                           : c == vk::PriorityClass::Realtime ? "Realtime"
                           : c == vk::PriorityClass::Idle     ? "Idle"
                                                              : "Normal";
        return std::string("Chged priority to ") + name;
    }
};

class PrintedDialogs final : public vk::Dialogs {
public:
    vk::BoxButton show(const vk::BoxRequest& box) override {
        std::cout << "[box] " << box.text << "\n";
        return box.defaultButton;
    }
};

// Log lines carry the wire bytes (0xC8 and the cipher text): shown escaped.
std::string Printable(const std::string& line) { return vk::EscapeBytes(line); }

void Usage() {
    std::cerr << "usage: vkconvpeer --game FOLDER [--port N] [--bind ADDR] [--timeout SECONDS] [--background]\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::string game, bind = "127.0.0.1";
    int port = 50998, timeout = 120;
    bool background = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--game") game = next();
        else if (a == "--port") port = std::atoi(next().c_str());
        else if (a == "--bind") bind = next();
        else if (a == "--timeout") timeout = std::atoi(next().c_str());
        else if (a == "--background") background = true;
        else {
            Usage();
            return 2;
        }
    }
    if (game.empty()) {
        Usage();
        return 2;
    }
    if (game.back() != '/') game += '/';

    vk::ClientState state;
    state.gameFolder = game;
    state.foregroundChecks = !background;
    vk::MainForm main;
    vk::TForm3 errors;
    vk::Tserverinf serverInfo;
    vk::Tselftest selfTest;
    vk::Tgeturl getUrl;
    vk::TblockedIPs blocked;
    vk::SteadyClock clock;
    vk::ProcProcesses processes;
    vk::SyncCheckRunner runner(state, main, clock, processes);
    PrintedConnection connection;
    PrintedShell shell;
    PrintedPriority priority;
    PrintedDialogs dialogs;
    vk::peer::PeerSockets sockets(bind, port);
    if (sockets.listenFd < 0) {
        std::cerr << "vkconvpeer: cannot listen on " << bind << ":" << port << "\n";
        return 1;
    }
    vk::Conversation conv(state, {main, errors, serverInfo, selfTest.Memo, getUrl, blocked},
                          {sockets, runner, connection, clock, dialogs, shell, priority, processes});
    std::cout << "vkconvpeer: listening on " << bind << ":" << sockets.port() << ", game folder " << game << std::endl;

    size_t shown = 0, shownErrors = 0, shownInfo = 0;
    std::string status = main.cfgstatus.caption;
    auto print = [&] {
        runner.DeliverReports();
        for (; shown < main.Memo1.lines.size(); ++shown) std::cout << "  | " << Printable(main.Memo1.lines[shown]) << "\n";
        for (; shownErrors < errors.cfgerrors.lines.size(); ++shownErrors)
            std::cout << "[last errors] " << errors.cfgerrors.lines[shownErrors] << "\n";
        for (; shownInfo < serverInfo.servinfo.lines.size(); ++shownInfo)
            std::cout << "[server info] " << serverInfo.servinfo.lines[shownInfo] << "\n";
        if (main.cfgstatus.caption != status) {
            status = main.cfgstatus.caption;
            std::cout << "[status] " << status << "\n";
        }
        std::cout.flush();
    };
    const bool ended = vk::peer::ServeConversation(conv, sockets, print, nullptr, std::chrono::seconds(timeout));
    print();
    std::cout << "vkconvpeer: " << (ended ? "conversation ended" : "time-out") << ", verdict "
              << (state.verdict ? "Config OK" : "Config ERROR") << ", status \"" << main.cfgstatus.caption << "\", "
              << main.URIP.caption << std::endl;
    return ended ? 0 : 1;
}
