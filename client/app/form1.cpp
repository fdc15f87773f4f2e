#include "client/app/form1.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <climits>
#include <fstream>
#include <random>

#include "client/app/file_version.h"
#include "client/core/cipher_names.h"
#include "client/core/file_checks.h"
#include "client/core/getproc.h"
#include "common/text.h"
#include "client/core/list_file.h"
#include "platform/paths.h"

namespace vk {

namespace {


// StrToInt: an optional sign and decimal digits that fit 32 bits.
bool ParseInt(const std::string& text, int& value) {
    if (text.empty()) return false;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (*first == '+') ++first;
    if (first == last) return false;
    long long v = 0;
    auto [ptr, ec] = std::from_chars(first, last, v);
    if (ec != std::errc() || ptr != last || v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

// The windows in their order of creation; each entry builds its window's definition.
struct FormEntry {
    FormId id;
    WindowDef (*define)(TForm1&);
};

constexpr FormEntry kCreationOrder[] = {
    {FormId::Main, [](TForm1& a) { return a.MainWindow(); }},
    {FormId::About, [](TForm1& a) { return a.AboutWindow(); }},
    {FormId::RelConfig, [](TForm1& a) { return a.reports.ConfigWindow(); }},
    {FormId::LastError, [](TForm1& a) { return a.reports.ErrorsWindow(); }},
    {FormId::MetaBrowser, [](TForm1& a) { return a.metaBrowser.Window(); }},
    {FormId::ServerInfo, [](TForm1& a) { return a.reports.ServerInfoWindow(); }},
    {FormId::BlockedIPs, [](TForm1& a) { return a.blocked.Window(); }},
    {FormId::Hidden, [](TForm1& a) { return HiddenWindow(a.Form6); }},
    {FormId::GetUrl,
     [](TForm1& a) {
         return GetUrlWindow(a.geturl, [&a] { a.conversation.BitBtn1Click(); }, [&a] { a.conversation.BitBtn2Click(); });
     }},
    {FormId::SelfTest, [](TForm1& a) { return a.connectivityTest.SelfTestWindow(); }},
    {FormId::PatchSwitcher, [](TForm1& a) { return a.patches.PatchSwWindow(); }},
    {FormId::PatchInfo, [](TForm1& a) { return a.patches.InfoWindow(); }},
    {FormId::XpForm, [](TForm1& a) { return a.xp.XpWindow(); }},
    {FormId::StatusInfo, [](TForm1& a) { return a.patches.StatWinWindow(); }},
    {FormId::MplayerEdit, [](TForm1& a) { return a.mplayerServers.EditorWindow(); }},
};

// The list and the ids cannot disagree: one entry per window, each at its id's place.
constexpr bool InIdOrder() {
    for (size_t i = 0; i < std::size(kCreationOrder); ++i)
        if (kCreationOrder[i].id != static_cast<FormId>(i)) return false;
    return true;
}
static_assert(std::size(kCreationOrder) == static_cast<size_t>(FormId::Count), "one entry per window");
static_assert(InIdOrder(), "entries in the order of their ids");

}  // namespace

std::string GameFolderOf(const std::string& given) {
    std::string folder = given.empty() ? GameFolderPath() : given;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

std::string PortFromIni(const std::vector<std::string>& lines) {
    for (const auto& line : lines) {
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (!EqualsNoCase(line.substr(0, eq), "Port")) continue;
        const std::string value = line.substr(eq + 1);
        int v = 0;
        return ParseInt(value, v) ? value : "50998";
    }
    return "50998";
}

std::string ListeningPort(const std::string& portText) {
    int v = 0;
    if (!ParseInt(portText, v)) v = 998;
    return std::to_string(v % 1000 + 50000);
}

TForm1::TForm1(AppPorts ports)
    : Sockets1(ports.reactor, ports.resolver),
      udpkick(ports.reactor, ports.dialogs, ports.resolver),
      checks(state, Form1, ports.reactor, ports.processes),
      p_(ports),
      socketsPort_(Sockets1),
      netTools_(ports.resolver),
      conversation(state, {Form1, Form3, serverinf, selftest.Memo, geturl, blockedIPs},
                   {socketsPort_, checks, *this, ports.clock, ports.dialogs, ports.shell, ports.priority,
                    ports.processes}),
      blocked(state, blockedIPs),
      reports(state, {relconfigfiles, Form3, serverinf}),
      connectivityTest(state, {selftest, Form1},
                       {ports.clock, ports.dialogs, ports.reactor, ports.resolver, *this, netTools_, FileVersionText,
                        [this] { return RouterAnswer{portMapping.routerAnswer(), portMapping.externalAddress()}; }}),
      patches({patchsw, statwin, info, Form1},
              {ports.clock, ports.dialogs, ports.shell, ports.processes, state, [this] { ReleaseHeldFiles(); },
               [this] { TakeHeldFiles(); }}),
      xp(xpform, Form1.Mxpsound, ports.dialogs, ports.shell, GameFolderOf(ports.gameFolder)),
      portMapping(state, Form1, ports.reactor, ports.portMapper ? *ports.portMapper : noPortMapper_),
      kickSocket_(udpkick),
      mplayerServers({Form1, mplayeredit}, {ports.dialogs, state}),
      metaBrowser(metabrws, {ports.clock, ports.dialogs, ports.reactor, ports.resolver, state, mplayerServers}),
      kickstart(Form1, {ports.clock, ports.dialogs, *this, kickSocket_,
                        [this](const std::string& address, const std::string& port) {
                            Sockets1.Port = port;
                            Sockets1.IPAddr = address;
                            conversation.currentServerAddress = address;
                            Sockets1.NonBlocking = true;
                            Sockets1.SConnect();
                        }}) {
    state.gameFolder = GameFolderOf(p_.gameFolder);
    soundonClick = [this] { xp.soundonClick(); };

    Sockets1.MaximumReceiveLength = 8192;
    Sockets1.Port = "5000";
    Sockets1.OnSessionAvailable = [this](TSockets&, int s) { Sockets1SessionAvailable(s); };
    Sockets1.OnSessionConnected = [this](TSockets&, int s) { Sockets1SessionConnected(s); };
    Sockets1.OnDataAvailable = [this](TSockets&, int s) { Sockets1DataAvailable(s); };
    Sockets1.OnSessionClosed = [this](TSockets&, int s) { Sockets1SessionClosed(s); };
    Sockets1.OnErrorOccurred = [this](TSockets&, int s, int e, const std::string& m) { Sockets1ErrorOccurred(s, e, m); };
    udpkick.SetPort(kKickPort);
    kickstart.kickPort = kKickPort;
    kickstart.Attach(udpkick);
    metaBrowser.onKick = [this](const std::optional<std::string>& entry) { kickstart.SendKick(entry); };
    checks.onTerrainFinished = [this] { TerrainCheckFinished(); };
    sweepTimer_ = p_.reactor.startTimer(Conversation::kSweepMs, [this] { conversation.CloseStaleConnections(); });
    random = [rng = std::mt19937(std::random_device{}())](uint32_t n) mutable {
        return n == 0 ? 0u : static_cast<uint32_t>(rng() % n);
    };
}

TForm1::~TForm1() {
    p_.reactor.stopTimer(sweepTimer_);
    checks.Stop({});
    ReleaseHeldFiles();
}

std::string TForm1::PathOf(const std::string& name) const { return ResolvePath(state.gameFolder, name); }

BoxButton TForm1::Box(BoxKind kind, const std::string& text, std::vector<BoxButton> buttons, BoxButton def, int x,
                      int y) {
    return ShowBox(p_.dialogs, kind, text, std::move(buttons), def, x, y);
}

void TForm1::Fatal(const std::string& text) {
    Box(BoxKind::Information, text, {BoxButton::Ok}, BoxButton::Ok);
    terminated = true;
    exitCode = 1;
}

// ---- start-up ----------------------------------------------------------------------------

bool TForm1::Startup() {
    // The client belongs in the game's own folder.
    if (!PathExists(state.gameFolder, "volkarmmp.exe")) {
        Fatal(" WRONG folder, not the orvane folder, quitting....");
        return false;
    }
    if (::chdir(state.gameFolder.c_str()) != 0) {
        // Every name is resolved against the game folder anyway.
    }
    const std::string companion = BareName(CompanionPattern());
    if (!PathExists(state.gameFolder, companion)) {
        Fatal(companion + " not there... exiting...");
        return false;
    }
    const std::string own = BareName(OwnExecutablePattern());
    if (!PathExists(state.gameFolder, own)) {
        Fatal(own + " not there / wrong name.. exiting...");
        return false;
    }
    state.resultList.clear();
    state.checks.tedResults.clear();
    blocked.list.clear();
    TakeHeldFiles();
    state.restore = PriorityClass::Normal;
    checks.ClearCheckFinished();
    return true;
}

void TForm1::TakeHeldFiles() {
    ReleaseHeldFiles();
    std::vector<std::string> names{BareName(CompanionPattern())};
    for (int i = 0; i < kHeldFileCount; ++i) names.push_back(HeldFileName(i));
    for (const auto& name : names) {
        const int fd = ::open(PathOf(name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) held_.push_back(fd);  // a file that cannot be opened is skipped
    }
}

void TForm1::ReleaseHeldFiles() {
    for (int fd : held_) ::close(fd);
    held_.clear();
}

size_t TForm1::heldFileCount() const { return held_.size(); }

void TForm1::CreateWindows(const std::function<void(FormId)>& created) {
    for (const auto& entry : kCreationOrder) {
        const WindowDef& w = windows.add(entry.define(*this));
        w.fire("", Event::Create);
        if (created) created(entry.id);
        if (terminated) return;
    }
    Form1.visible = true;  // the message loop shows the main window in any case
}

void TForm1::Shutdown(const std::function<void()>& pump) {
    checks.Stop(pump);
    portMapping.Shutdown();
    blocked.Save();
    for (int socket : conversation.connections().sockets()) conversation.CloseConnection(socket);
    if (Sockets1.FSocket >= 0) Sockets1.SClose();
    if (Sockets1.Listening()) Sockets1.CancelListen();
    if (udpkick.IsOpen()) udpkick.Close();  // closing a socket never opened is an error
    xp.Unlock();
    ReleaseHeldFiles();
}

// ---- main window -------------------------------------------------------------------------

void TForm1::FormCreate() {
    state.boost = PriorityClass::Normal;
    Log(p_.priority.SetPriorityClass(state.restore));
    state.boost = PriorityClass::High;

    mplayerIni = ReadLines(PathOf("mplayer.ini"));

    if (!PathExists(state.gameFolder, "rgb.txt")) {
        Form1.bgcheck.visible = false;
        Form1.pidle.visible = false;
        Form1.plowest.visible = false;
        Form1.plower.visible = false;
        Form1.pnormal.visible = false;
        Form1.pgroup.visible = false;
        state.foregroundChecks = true;
    }

    // Without the section (or the file) the toggle shows the known servers; Listen reports a
    // missing file itself.
    bool meta = false;
    for (size_t i = 0; i < mplayerIni.size(); ++i) {
        if (Contains(LowerAscii(mplayerIni[i]), "[metaservers]")) {
            meta = i + 1 < mplayerIni.size() && StartsWithNoCase(mplayerIni[i + 1], "server=");
            break;
        }
    }
    Form1.Meta_toggle.checked = meta;
    Form1.Meta_toggle.caption = meta ? "Using KAL meta servers" : "Using [Known Servers] of mplayer.ini";

    portMapping.FormCreate();
    Form1.Port.text = Sockets1.Port;
    Form1.IPAddr.text = Sockets1.IPAddr;
    state.connectionMode = ConnectionMode::Idle;
    ListenClick();
}

void TForm1::FormActivate() {
    if (::chdir(state.gameFolder.c_str()) != 0) {
    }
    instldfmDblClick();
}

void TForm1::instldfmDblClick() {
    Form1.instldfm.caption = std::string(kFmChecking);
    try {
        Form1.instldfm.caption = IdentifyFlightModel(state.gameFolder);
    } catch (...) {
        Log("=>Exception in FM identification");
    }
}

void TForm1::ListenClick() {
    state.verboseTrace = true;

    if (CountModuleUsers(p_.processes, BareName(OwnExecutablePattern())) >= 2) {
        Fatal("VK3dsecplayer allready running.....");
        return;
    }
    if (state.firstListen && Form1.Mxpsound.checked && soundonClick) soundonClick();

    if (!PathExists(state.gameFolder, "mplayer.ini")) {
        Form1.Port.text = "50993";
        Log("XXXXXXXXXXXXXXXXXXXXXXXXXXXX");
        Log("ATTENTION !!");
        Log("Can not find mplayer.ini.. cancelling listen request");
        Form1.Caption = "VK Secure Player cannot find mplayer.ini .....";
        return;
    }
    Form1.Port.text = PortFromIni(ReadLines(PathOf("mplayer.ini")));

    if (FindRunningModule(p_.processes, CompanionPattern()).empty()) {
        std::string name = LowerAscii(BareName(CompanionPattern())).substr(0, 12);
        // The folder may spell the name in another case, as Windows would not mind.
        p_.shell.ShellExecute("open", PathOf(name), "", state.gameFolder);
        conversation.currentServerAddress.clear();
        p_.clock.sleep(1000);
    }
    state.firstListen = false;

    if (state.checks.tedResults.empty()) {
        Log("==> About to check your TED files\r\n(just once) in the background, it takes a few seconds....");
        state.checkParams = CheckParams{"plyr-cfg.txt", "data\\|", TedPatternList() + "|"};
        checks.StartTerrainCheck(p_.dialogs);
        StatusRed(Form1, state.selfTestRunning, "Wait.. do NOT enter yet!!");
    }

    if (state.tedCheckDone) {
        const std::string port = ListeningPort(Form1.Port.text);
        Sockets1.Port = port;
        Form1.Port.text = port;
        // The main window ignores socket errors, but a port it could not take must not be
        // reported as ready: the secure server would never reach the player.
        Sockets1.ErrorOccurred = false;
        lastSocketError_.clear();
        Sockets1.SListen();
        const bool listening = !Sockets1.ErrorOccurred;
        Form1.Mlisten.enabled = false;
        Form1.Mclose.enabled = false;
        Form1.MCancellisten.enabled = true;
        Form1.Mfmswitch.enabled = true;
        state.connectionMode = ConnectionMode::Listening;
        Form1.Caption = std::string("VK sec Player listening.....") + (Form1.cantforward.checked ? " using Kickstart.." : "");
        Log("Listening .......");
        Log(" Port=" + Sockets1.GetLocalPort(Sockets1.FListenSocket));
        const std::string local = Sockets1.GetLocalIPAddr();
        Log(" IP=" + local);
        Form1.IPAddr.text = local;
        udpkick.Open();
        if (listening) {
            StatusGreen(Form1, state.selfTestRunning, "Ready to enter Lobby");
            // In Kickstart mode the client connects out and needs no open port.
            if (!Form1.cantforward.checked)
                portMapping.Listening(static_cast<uint16_t>(std::stoi(port)), static_cast<uint16_t>(kKickPort));
        } else {
            Log("==> Can not listen on port " + port + ": " + lastSocketError_);
            StatusRed(Form1, state.selfTestRunning, "NOT listening, port " + port + " is not free!");
        }
    }

    Form1.visible = true;
    if (state.tedCheckDone) {
        Log("Waiting for contact with secured game server....\r\n" + std::string(48, '_'));
    } else {
        Log("");
    }
}

void TForm1::TerrainCheckFinished() {
    Log("Ted files checked & locked...");
    Box(BoxKind::Information, "TED files check done.... ", {BoxButton::Ok}, BoxButton::Ok, 110, 110);
    state.tedCheckDone = true;
    Form1.Mfmswitch.enabled = true;
    Form1.Mupdmplyr.enabled = true;
    Form1.Mxpsound.enabled = true;
    Form1.Mselftest.enabled = true;
    PickRandomPort();
    ListenClick();
    Form1.cantforward.enabled = true;
}

void TForm1::PickRandomPort() {
    Sockets1.Port = std::to_string(30000 + random(10000));
    StatusGreen(Form1, state.selfTestRunning, "OK");
}

void TForm1::CloseClick() {
    conversation.CloseConnection(conversation.conversationSocket);
    // An outgoing connection that has not reported yet is no conversation socket so far.
    if (state.connectionMode == ConnectionMode::Client) conversation.CloseConnection(Sockets1.FSocket);
    if (state.connectionMode != ConnectionMode::Listening) {
        Form1.Mlisten.enabled = true;
        Form1.Mclose.enabled = false;
        Form1.MCancellisten.enabled = false;
        state.connectionMode = ConnectionMode::Idle;
    }
}

void TForm1::CancelListenClick() {
    portMapping.NotListening();
    conversation.CloseConnection(conversation.conversationSocket);
    if (Sockets1.Listening()) Sockets1.CancelListen();
    Form1.Mlisten.enabled = true;
    Form1.IPAddr.enabled = true;
    Form1.Mclose.enabled = false;
    Form1.MCancellisten.enabled = false;
    if (Form1.cantforward.checked) udpkick.Open();
    Form1.Caption = std::string("Player mode, NOT listening.....") + (Form1.cantforward.checked ? " using Kickstart.." : "");
}

void TForm1::ConnectClick() {
    if (!PathExists(state.gameFolder, "mplayer.ini")) return;
    Sockets1.IPAddr = Form1.IPAddr.text;
    Sockets1.SConnect();
    state.connectionMode = ConnectionMode::Client;
    Form1.Caption = "Client mode.....";
}

void TForm1::QuitClick() {
    if (Box(BoxKind::Confirmation, "Exit now?", {BoxButton::Yes, BoxButton::No}, BoxButton::Yes) == BoxButton::Yes)
        terminated = true;
}

bool TForm1::FormCloseQuery() {
    if (Box(BoxKind::Confirmation, "Shutdown Secure Player ?", {BoxButton::Ok, BoxButton::Cancel}, BoxButton::Ok) !=
        BoxButton::Ok)
        return false;
    terminated = true;
    return true;
}

void TForm1::AboutClick() {
    std::string folder = state.gameFolder;
    if (!folder.empty() && folder.back() == '/') folder.pop_back();
    const bool volkar = PathExists(state.gameFolder, "volkarmmp.exe");
    AboutBox.FileVersion.caption = "File Version: " + FileVersionText(PathOf(BareName(OwnExecutablePattern())));
    AboutBox.InstalledIn.caption = "Installed in: " + folder;
    AboutBox.VolkarFound.caption = std::string("VolkarMMP.exe found: ") + (volkar ? "Yes" : "NO!!");
    AboutBox.VolkarVersion.caption = "VolkarMMP.exe version: " + FileVersionText(PathOf("volkarmmp.exe"));
    AboutBox.visible = true;
}

void TForm1::Button4Click() { Form1.Memo1.Clear(); }

void TForm1::bgcheckClick() { state.foregroundChecks = !Form1.bgcheck.checked; }

void TForm1::priolistChange() {
    switch (Form1.priolist.itemIndex) {
    case 0: state.boost = PriorityClass::High; break;
    case 1: state.boost = PriorityClass::Realtime; break;
    case 2: state.boost = PriorityClass::Normal; break;
    case 3: state.boost = PriorityClass::Idle; break;
    default: return;
    }
    Form1.priolist.text = Form1.priolist.items[static_cast<size_t>(Form1.priolist.itemIndex)];
}

void TForm1::blockfakeClick() { blockedIPs.visible = true; }

// ---- Sockets1 ----------------------------------------------------------------------------

void TForm1::Sockets1SessionAvailable(int socket) {
    // A failure of an earlier connection must not mark this one dead: the end of the
    // conversation closes only a live socket.
    Sockets1.ErrorOccurred = false;
    conversation.Sockets1SessionAvailable(socket);
}

void TForm1::Sockets1SessionConnected(int socket) {
    Sockets1.ErrorOccurred = false;
    conversation.Sockets1SessionConnected(socket);
}

void TForm1::Sockets1DataAvailable(int socket) {
    checks.Adopt();  // results of checks that ended meanwhile
    conversation.Sockets1DataAvailable(socket);
}

void TForm1::Sockets1SessionClosed(int socket) { conversation.Sockets1SessionClosed(socket); }

void TForm1::Sockets1ErrorOccurred(int socket, int error, const std::string& msg) {
    if (lastSocketError_.empty()) lastSocketError_ = msg;  // the root failure, not what followed it
    conversation.Sockets1ErrorOccurred(socket, error, msg);
}

}  // namespace vk
