#pragma once
// TForm1: the player client's application object. It owns the client state, every window's
// form model, the main window's sockets (Sockets1, udpkick) and the check threads; it builds and
// wires the subsystems (the conversation, the blocked servers, the report windows...) and keeps
// the main window's own handlers. Each window is a definition (controls and event table) owned
// by its subsystem; the front ends (Qt, headless) build from `windows`.
//
// Front-end sequence:
//   TForm1 app(ports);
//   if (!app.Startup()) return app.exitCode;   // folder guard, required files, held files
//   app.CreateWindows(hook);                   // the windows in their order, each FormCreate
//   ...serve the Reactor until app.terminated...
//   app.Shutdown(pump);                        // check threads, blocked list, held files
// Every handler changes only the form models; after each handler and each round of Reactor
// events the front end lets `windows` raise the show and hide events of the windows whose
// visibility changed, then redraws.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/app/bgperf.h"
#include "client/app/forms.h"
#include "client/app/window_set.h"
#include "client/core/app_box.h"
#include "client/core/blocked_servers.h"
#include "client/core/client_state.h"
#include "client/core/conversation.h"
#include "client/core/errors_form.h"
#include "client/core/geturl_form.h"
#include "client/core/main_form.h"
#include "client/core/reports.h"
#include "client/core/serverinf_form.h"
#include "client/net/resolver.h"
#include "client/net/sockets.h"
#include "client/net/udp_socket.h"
#include "client/patches/sound_fix.h"
#include "client/patches/switcher.h"
#include "client/servers/kickstart.h"
#include "client/servers/meta_browser.h"
#include "client/servers/mplayer_servers.h"
#include "client/portmap/port_mapping.h"
#include "client/selftest/selftest.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/processes.h"
#include "platform/reactor.h"

namespace vk {

struct AppPorts {
    Reactor& reactor;
    Dialogs& dialogs;
    Clock& clock;
    Shell& shell;
    Processes& processes;
    ProcessPriority& priority;
    NameResolver& resolver = NameResolver::system();
    std::string gameFolder;  // OS path with a trailing '/'; "" = the folder of this executable
    // The router's port mapping; null: none is ever asked (the logic's own tests).
    PortMapperPort* portMapper = nullptr;
};

// The conversation's view of Sockets1.
class TSocketsPort final : public SocketsPort {
public:
    explicit TSocketsPort(TSockets& s) : s_(s) {}
    int SAccept() override { return s_.SAccept(); }
    void SClose(int socket) override { s_.SClose(socket); }
    std::string GetText(int socket) override { return s_.GetText(socket); }
    void SetText(int socket, const std::string& text) override { s_.SetText(socket, text); }
    // A connection that failed is still closed, or its descriptor would stay until exit.
    bool SocketDead(int socket) override { return !s_.IsConnection(socket); }
    std::string GetLocalPort(int socket) override { return s_.GetLocalPort(socket); }
    std::string GetPeerIPAddr(int socket) override { return s_.GetPeerIPAddr(socket); }
    std::string GetPeerPort(int socket) override { return s_.GetPeerPort(socket); }
    void SetPort(const std::string& port) override { s_.Port = port; }

private:
    TSockets& s_;
};

inline constexpr int kKickPort = 40998;

class TForm1 : private ConnectionActions {
public:
    explicit TForm1(AppPorts ports);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // Before any window: the folder guard, the required files, the lists and the held files.
    // False when the program must end (the message has been shown; see exitCode).
    bool Startup();
    // Creates the windows in their order: each window's definition joins `windows`, its Create
    // event runs, then created(id), where a front end builds it. Stops early when a handler
    // ends the program.
    void CreateWindows(const std::function<void(FormId)>& created = {});
    // At program end: waits for the check threads (pump serves the main thread's queue once),
    // saves the blocked list, closes the sockets and the held files.
    void Shutdown(const std::function<void()>& pump);

    // Application.Terminate: the front end leaves its loop when this is set.
    bool terminated = false;
    int exitCode = 0;
    std::string Title = kAppTitle;

    // Members are declared in the order they depend on each other, since they are built in
    // that order and torn down in the reverse: the form models first (every subsystem and
    // window definition holds references to them), then the client state, then the sockets and
    // check threads (the subsystems drive them), then the subsystems, and last the window
    // definitions, which bind all of the above.

    // ---- form models, in their order of creation ----
    MainForm Form1;
    TAboutBox AboutBox;
    Trelconfigfiles relconfigfiles;
    TForm3 Form3;
    Tmetabrws metabrws;
    Tserverinf serverinf;
    TblockedIPs blockedIPs;
    TForm6 Form6;
    Tgeturl geturl;
    Tselftest selftest;
    Tpatchsw patchsw;
    Tinfo info;
    Txpform xpform;
    Tstatwin statwin;
    Tmplayeredit mplayeredit;

    // ---- state ----
    ClientState state;
    std::vector<std::string> mplayerIni; // mplayer.ini as read by FormCreate

    // ---- components ----
    TSockets Sockets1;
    TudpSocket udpkick;
    CheckThreads checks;
private:
    AppPorts p_;
    TSocketsPort socketsPort_;
    PosixNetTools netTools_;  // the self-test's diagnostics
    NoPortMapper noPortMapper_;
public:
    // ---- subsystems ----
    Conversation conversation;
    BlockedServers blocked;
    Reports reports;
    SelfTest connectivityTest;
    PatchSwitcher patches;
    SoundFix xp;
    PortMapping portMapping;
private:
    TudpKickSocket kickSocket_;
public:
    MplayerServers mplayerServers;
    MetaBrowser metaBrowser;
    Kickstart kickstart;

    // ---- windows ----
    WindowSet windows;
    const WindowDef& window(FormId id) const { return windows.at(static_cast<size_t>(id)); }

    // ---- main window handlers ----
    void FormCreate();
    void FormActivate();
    void ListenClick() override;
    void CloseClick() override;
    void CancelListenClick() override;
    void ConnectClick();
    void QuitClick();
    bool FormCloseQuery();  // true: the window may close (and the program ends)
    void AboutClick();
    void Button4Click();
    void bgcheckClick();     // after the front end has set bgcheck.checked
    void priolistChange();   // after the front end has set priolist.itemIndex
    void instldfmDblClick();
    void PickRandomPort();
    void blockfakeClick();

    // The definitions of the main window and the About box.
    WindowDef MainWindow();
    WindowDef AboutWindow();

    // TakeHeldFiles / ReleaseHeldFiles: the six game files held open while the client runs.
    void TakeHeldFiles();
    void ReleaseHeldFiles();
    size_t heldFileCount() const;

    // Sound ON of the XP sound fix (the first Listen runs it when the fix is on).
    std::function<void()> soundonClick;
    // Random number 0..n-1 (PickRandomPort); tests replace it.
    std::function<uint32_t(uint32_t n)> random;

    // The main window's socket events (Sockets1 delivers them here).
    void Sockets1SessionAvailable(int socket);
    void Sockets1SessionConnected(int socket);
    void Sockets1DataAvailable(int socket);
    void Sockets1SessionClosed(int socket);
    void Sockets1ErrorOccurred(int socket, int error, const std::string& msg);

    const std::string& gameFolder() const { return state.gameFolder; }

private:
    void SetKickPort(int port) override { udpkick.SetPort(static_cast<uint16_t>(port)); }
    void Log(const std::string& line) { Form1.Memo1.Add(line); }
    BoxButton Box(BoxKind kind, const std::string& text, std::vector<BoxButton> buttons, BoxButton def,
                  int x = -1, int y = -1);
    void Fatal(const std::string& text);
    void TerrainCheckFinished();
    std::string PathOf(const std::string& name) const;

    std::vector<int> held_;
    Reactor::TimerId sweepTimer_ = 0;  // closes the connections whose time is up
    std::string lastSocketError_;  // text of the first Sockets1 error since it was cleared
};

// The main window's controls, without its event table.
WindowDef MainWindowControls(MainForm& f);

// The game folder: the given OS path with a trailing '/', or this executable's folder.
std::string GameFolderOf(const std::string& given);

// The listening port for a Port text: 50000 + its value mod 1000, as decimal text.
std::string ListeningPort(const std::string& portText);
// The Port= value of mplayer.ini's lines: the first line whose name is "Port" (any case);
// "50998" when there is none or its value is not a decimal integer.
std::string PortFromIni(const std::vector<std::string>& lines);

}  // namespace vk
