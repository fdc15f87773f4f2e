#pragma once
// The connectivity self-test: shows the computer's network set-up (the tools' output and the
// Internet address a route ping finds) and connects a second socket to the client's own
// listener, through the local address and through the Internet address, to see whether a
// secure server could reach the player. Everything runs on the main thread; the fixed waits go
// through the Clock and block the window, as the listener restart in between them must.
#include <functional>
#include <string>
#include <vector>

#include "client/core/client_state.h"
#include "client/core/conversation_ports.h"
#include "client/core/main_form.h"
#include "client/core/window_def.h"
#include "client/net/resolver.h"
#include "client/net/sockets.h"
#include "client/selftest/net_tools.h"
#include "client/selftest/selftest_form.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/reactor.h"

namespace vk {

struct SelfTestWindows {
    Tselftest& selftest;
    MainForm& main;  // caption, server message log and status line
};

struct RouterAnswer {
    std::string answer;
    std::string externalAddress;
};

struct SelfTestPorts {
    Clock& clock;
    Dialogs& dialogs;
    Reactor& reactor;                // the test sockets' notifications
    NameResolver& resolver;
    ConnectionActions& connection;   // the main window's Listen and Cancel listen
    NetTools& tools;
    // The version text of a file (as the About box shows it).
    std::function<std::string(const std::string& osPath)> fileVersion;
    // What the router answered when it was asked to open the port, and the outside address it
    // gave ("" for none); unset when the client never asks.
    std::function<RouterAnswer()> router = {};
};

class SelfTest {
public:
    SelfTest(ClientState& state, SelfTestWindows windows, SelfTestPorts ports);

    // The window: every control with its place, and the event table.
    WindowDef SelfTestWindow();

    // Form1.Mselftest.
    void dotestClick();
    void FormCreate();
    void cleartestClick();
    void testLocalNowClick();
    void testINnowClick();
    void savelogClick();
    bool FormCloseQuery();
    void FormHide();
    void testsocketErrorOccurred(int socket, int error, const std::string& msg);

    // Pieces of the general information, for the tests.
    void GeneralInformation();
    void RoutePing();
    // Waits for a tool's output file, then logs its lines (rewritten when it is the route
    // ping's) and removes it; "Can not getTCP/IP information :( " when no file came.
    void ReadBack(const std::string& path, bool routePing = false);
    const std::vector<std::string>& keptLines() const { return kept_; }

    TSockets testsocket;
    TSockets CheckSocket;

private:
    void Log(const std::string& line) { w_.selftest.Memo.Add(line); }
    void LocalAddress();
    void DetectAddress();
    void TestRun(bool internet, bool async);
    std::string SelectedPort() const;

    ClientState& state_;
    SelfTestWindows w_;
    SelfTestPorts p_;
    std::vector<std::string> kept_;  // the lines of the last tool's output
    bool routerAddress_ = false;     // InetIP is the outside address the router gave
};

// The self-test message as the listener receives it: two records, each ended by 0xC8.
std::string SelfTestMessage(const std::string& label);

// True for the addresses the self-test takes to be behind a router ("192.168.", "10.").
bool BehindRouter(const std::string& address);

}  // namespace vk
