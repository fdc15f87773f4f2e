#include "client/selftest/selftest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "client/core/app_box.h"
#include "client/core/cipher_names.h"
#include "client/selftest/route_detect.h"
#include "common/text.h"
#include "platform/paths.h"

namespace vk {

namespace {

constexpr const char* kTestCaption = "VK3d secplayer = Self testing mode, do NOT enter a VK server!!";
constexpr const char* kRule = "_____________________________________________";
// A tool's output is a page or two; more than this is not read.
constexpr size_t kMaxToolOutput = 1 << 20;

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> ReadToolOutput(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(kMaxToolOutput, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return SplitLines(text);
}

std::string TrimBlanks(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// The memo's entries as the rows of a text file: an entry holding line breaks (CR LF, LF or a
// lone CR) gives several rows.
std::string MemoFileText(const std::vector<std::string>& entries) {
    std::string out;
    for (const auto& entry : entries) {
        std::string row;
        for (size_t i = 0; i < entry.size(); ++i) {
            const char c = entry[i];
            if (c == '\r' || c == '\n') {
                out += row + "\r\n";
                row.clear();
                if (c == '\r' && i + 1 < entry.size() && entry[i + 1] == '\n') ++i;
            } else {
                row += c;
            }
        }
        out += row + "\r\n";
    }
    return out;
}

// Writes the text beside the old file and replaces it only once complete, so a failed save
// never costs the log saved before.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    int failure = 0;
    for (size_t done = 0; done < text.size() && failure == 0;) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n >= 0) done += static_cast<size_t>(n);
        else if (errno != EINTR) failure = errno;
    }
    if (failure == 0 && (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0)) failure = errno;
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && ::rename(temp.c_str(), path.c_str()) != 0) failure = errno;
    if (failure != 0) {
        ::unlink(temp.c_str());
        error = std::strerror(failure);
        return false;
    }
    return true;
}

}  // namespace

std::string SelfTestMessage(const std::string& label) {
    return "srvinf:==>From WDNplyr Self-Testing: " + label + "=OK" + '\xC8' + "srvinf:EOT" + '\xC8';
}

bool BehindRouter(const std::string& address) {
    return address.rfind("192.168.", 0) == 0 || address.rfind("10.", 0) == 0;
}

SelfTest::SelfTest(ClientState& state, SelfTestWindows windows, SelfTestPorts ports)
    : testsocket(ports.reactor, ports.resolver),
      CheckSocket(ports.reactor, ports.resolver),
      state_(state),
      w_(windows),
      p_(std::move(ports)) {
    testsocket.MaximumReceiveLength = 8192;
    testsocket.OnErrorOccurred = [this](TSockets&, int socket, int error, const std::string& msg) {
        testsocketErrorOccurred(socket, error, msg);
    };
    CheckSocket.MaximumReceiveLength = 8192;
}

WindowDef SelfTest::SelfTestWindow() {
    Tselftest& f = w_.selftest;
    WindowDef w("selftest", f.Caption, f.visible, {0, 0, 660, 540});
    w.add("Label1", f.Label1, {8, 12, 64, 17});
    w.add("locIP", f.locIP, {76, 8, 130, 23});
    w.add("Label2", f.Label2, {220, 12, 76, 17});
    w.add("InetIP", f.InetIP, {300, 8, 170, 23});
    w.add("Label3", f.Label3, {486, 12, 34, 17});
    w.add("wdnports", f.wdnports, {524, 8, 124, 23});
    w.add("Label4", f.Label4, {8, 40, 440, 50}, Style{.wordWrap = true});
    w.add("pingsite", f.pingsite, {456, 52, 192, 23});
    w.add("testLocalnow", f.testLocalnow, {8, 98, 150, 27});
    w.add("testINnow", f.testINnow, {166, 98, 150, 27});
    w.add("cleartest", f.cleartest, {324, 98, 150, 27});
    w.add("Memo", f.Memo, {8, 134, 640, 356}).printAs = "[self test] ";
    w.add("savelog", f.savelog, {8, 500, 640, 29});
    w.on("", Event::Create, [this] { FormCreate(); });
    w.on("", Event::Hide, [this] { FormHide(); });
    w.onCloseQuery([this] { return FormCloseQuery(); });
    w.on("testLocalnow", Event::Click, [this] { testLocalNowClick(); });
    w.on("testINnow", Event::Click, [this] { testINnowClick(); });
    w.on("cleartest", Event::Click, [this] { cleartestClick(); });
    w.on("savelog", Event::Click, [this] { savelogClick(); });
    return w;
}

// ---- start, creation, clearing -----------------------------------------------------------

void SelfTest::dotestClick() {
    ShowBox(p_.dialogs, BoxKind::Information,
            "Self test: VK3dSecPlayer will now test your setup. \rDo not enter a server while testing!",
            {BoxButton::Ok}, BoxButton::Ok, 100, 100);
    w_.main.Caption = kTestCaption;
    state_.selfTestRunning = true;
    StatusGreen(w_.main, state_.selfTestRunning, "Self-test....");
    w_.selftest.visible = true;
    GeneralInformation();
}

void SelfTest::LocalAddress() {
    w_.selftest.locIP.text = CheckSocket.GetLocalIPAddr();
    // Behind a router the player is asked for the Internet address; a computer that seems to be
    // on the Internet itself gets it from the route ping.
    if (!BehindRouter(w_.selftest.locIP.text)) w_.selftest.InetIP.text.clear();
}

void SelfTest::FormCreate() {
    w_.selftest.wdnports.itemIndex = 0;
    w_.selftest.wdnports.text = w_.selftest.wdnports.items[0];
    LocalAddress();
}

void SelfTest::cleartestClick() {
    w_.selftest.Memo.Clear();
    LocalAddress();
    GeneralInformation();
}

// ---- general information -----------------------------------------------------------------

void SelfTest::GeneralInformation() {
    std::string folder = state_.gameFolder;
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::string own = ResolvePath(state_.gameFolder, BareName(OwnExecutablePattern()));
    const std::string volkar = ResolvePath(state_.gameFolder, "volkarmmp.exe");
    auto version = [this](const std::string& path) { return p_.fileVersion ? p_.fileVersion(path) : "No info."; };

    Log("SecPlayer File Version: " + version(own));
    Log("is Installed in: " + folder);
    Log(std::string("VolkarMMP.exe found: ") + (PathExists(state_.gameFolder, "volkarmmp.exe") ? "Yes" : "NO!!"));
    Log("VolkarMMP.exe version: " + version(volkar));
    Log("Local IP:" + w_.selftest.locIP.text);
    if (BehindRouter(w_.selftest.locIP.text))
        Log("\r==> IMPORTANT! PC seems to be behind Modem/Router, \r\nportforwarding is necessary ");
    else
        Log(" PC seems to be directly connected to Internet");
    // The router's own word on the outside address beats any guess from the route ping.
    routerAddress_ = false;
    if (p_.router) {
        const RouterAnswer r = p_.router();
        if (!r.answer.empty()) Log("Router: " + r.answer);
        if (!r.externalAddress.empty()) {
            w_.selftest.InetIP.text = r.externalAddress;
            routerAddress_ = true;
        }
    }
    ShowBox(p_.dialogs, BoxKind::Information, "About to gather generic TCP/IP info of your PC...");

    Log("========Interface information=========");
    ReadBack(p_.tools.Start({"ip", "addr"}));
    Log("========Routing information=========");
    ReadBack(p_.tools.Start({"ip", "route"}));
    RoutePing();

    ShowBox(p_.dialogs, BoxKind::Information, "Now click on \"Test Local IP\" and after that on \"Test Internet IP\"");
}

void SelfTest::RoutePing() {
    Log("========Ping route information=========");
    const std::string site = TrimBlanks(w_.selftest.pingsite.text);
    if (IsPingTarget(site)) {
        // Numeric output (-n): the route is read by address, and no name lookups leave the PC
        // for every hop. -W 2 ends a ping that gets no answer before the read-back.
        ReadBack(p_.tools.Start({"ping", "-n", "-c", "1", "-W", "2", "-R", site}), true);
    } else {
        kept_.clear();
        Log("==> Ping site \"" + w_.selftest.pingsite.text + "\" is not a host name or IP address, no route ping");
    }
    DetectAddress();
}

void SelfTest::ReadBack(const std::string& path, bool routePing) {
    kept_.clear();
    for (int i = 0; i < 10; ++i) {
        p_.clock.sleep(500);
        if (FileExists(path)) break;
    }
    p_.clock.sleep(3000);
    if (!FileExists(path)) {
        Log("Can not getTCP/IP information :( ");
        return;
    }
    kept_ = ReadToolOutput(path);
    if (routePing) kept_ = RewriteRecordRoute(kept_, p_.tools.OwnAddresses());
    for (const auto& line : kept_) Log(line);
    p_.tools.Remove(path);
}

void SelfTest::DetectAddress() {
    std::optional<std::string> ip;
    if (routerAddress_) ip = w_.selftest.InetIP.text;
    else ip = DetectInternetIP(kept_);
    if (ip) {
        w_.selftest.InetIP.text = *ip;
        ShowBox(p_.dialogs, BoxKind::Information,
                "Your Internet IP seems to be:" + *ip + "\r\n" + "You can check it with a web browser at " +
                    kAddressCheckSite);
    } else {
        ShowBox(p_.dialogs, BoxKind::Warning,
                std::string("Your Internet IP could not be determined, fill it in manually !!\r\n"
                            "at many sites on the Internet you can see your real Internet IP,\r\nsuch as ") +
                    kAddressCheckSite);
    }
}

// ---- test runs ---------------------------------------------------------------------------

void SelfTest::testLocalNowClick() {
    TestRun(false, true);
    TestRun(false, false);
}

void SelfTest::testINnowClick() {
    TestRun(true, true);
    TestRun(true, false);
}

std::string SelfTest::SelectedPort() const {
    const ComboBox& c = w_.selftest.wdnports;
    if (!c.text.empty()) return c.text;
    if (c.itemIndex >= 0 && c.itemIndex < static_cast<int>(c.items.size())) return c.items[static_cast<size_t>(c.itemIndex)];
    return {};
}

void SelfTest::TestRun(bool internet, bool async) {
    Memo& main = w_.main.Memo1;
    main.Clear();
    state_.selfTestRunning = true;
    p_.connection.CancelListenClick();
    p_.clock.sleep(400);
    p_.connection.ListenClick();
    w_.main.Caption = kTestCaption;
    p_.clock.sleep(400);

    const std::string& address = internet ? w_.selftest.InetIP.text : w_.selftest.locIP.text;
    if (internet && (address.empty() || address[0] < '1' || address[0] > '9')) {
        Log("ATN!==>" + address + " is not an IP address!");
    } else {
        Log(async ? "========= Async Mode ======================" : "=========  Sync Mode ======================");
        const std::string label = internet ? "Inet IP" : "Local IP";
        const std::string target = address.substr(0, 20);
        try {
            Log(kRule);
            Log("Start of " + label + " = " + target + " test............");
            for (int i = 0; i < 4; ++i) main.Add(kRule);
            main.Add("Start of " + label + " test............");

            testsocket.Port.clear();
            p_.clock.sleep(200);
            testsocket.NonBlocking = async;
            testsocket.Port = SelectedPort();
            testsocket.IPAddr = target;

            Log("Connecting to " + label + " WDN secure player...");
            testsocket.SConnect();
            Log("About to send: \"Self-Testing " + label + "=OK\" test message...");
            if (testsocket.SocketDead()) {
                Log("Diagnostic: socket not OK, before start of Self-Testing " + label);
            } else {
                testsocket.SetText(SelfTestMessage(label));
                p_.clock.sleep(400);
                if (async) p_.clock.sleep(1000);
                // A send that failed is never reported as OK, also where the error flag is
                // cleared for the rest of the run.
                const bool failed = testsocket.SocketDead();
                if (!internet && failed) {
                    Log("Diagnostic: Socket error while sending, " + label);
                    testsocket.ErrorOccurred = false;
                }
                if (!failed) Log(label + " test seems to be OK...");
            }
            Log("Closing test socket again....");
            testsocket.ErrorOccurred = false;
            testsocket.SClose();
        } catch (...) {
            Log("Exception occurred.... restart Secure Player...");
        }
    }
    Log("===============================");
}

void SelfTest::testsocketErrorOccurred(int /*socket*/, int error, const std::string& msg) {
    Log(" Diagnostics: (not necessarily correct!):" + std::to_string(error) + "\r\n" + msg);
}

// ---- saving and closing ------------------------------------------------------------------

void SelfTest::savelogClick() {
    Log(std::string("In case of problems, please send this file (") + kSelfTestLogFile + ") to: " + kSupportAddress);
    const std::string path = ResolvePath(state_.gameFolder, kSelfTestLogFile);
    std::string error;
    if (!WriteFileAtomically(path, MemoFileText(w_.selftest.Memo.lines), error))
        ShowBox(p_.dialogs, BoxKind::Warning, std::string("Could not save ") + kSelfTestLogFile + ": " + error);
}

bool SelfTest::FormCloseQuery() {
    state_.selfTestRunning = false;
    return true;
}

void SelfTest::FormHide() {
    w_.main.Caption = "VK3d Secure Player Listening!!";
    state_.selfTestRunning = false;
    StatusGreen(w_.main, state_.selfTestRunning, "Self test ended..");
}

}  // namespace vk
