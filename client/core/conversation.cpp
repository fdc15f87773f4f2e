#include "client/core/conversation.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "client/core/app_box.h"
#include "client/core/cipher_names.h"
#include "client/core/path_guard.h"
#include "common/crc32.h"
#include "common/text.h"
#include "common/wildcard.h"
#include "platform/paths.h"

namespace vk {

namespace {

bool StartsWith(const std::string& s, std::string_view prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Copy(s, index, ...) of the 1-based text routines: the text from character index on.
std::string From(const std::string& s, size_t index) { return index - 1 < s.size() ? s.substr(index - 1) : std::string(); }

}  // namespace

bool IsCheckLogName(const std::string& name) {
    if (name.empty() || !StaysInGameFolder(name)) return false;
    if (name.find_first_of("\\/") != std::string::npos) return false;
    // The client's own text files: the player's blocked servers, and the debug switches whose
    // mere presence changes what the client does.
    for (const char* own : {"plyrBlockedIPs.txt", "rgb.txt", "duh.txt", "WDNplyr-settings.txt"})
        if (EqualsNoCase(name, own)) return false;
    return name.size() > 4 && EqualsNoCase(std::string_view(name).substr(name.size() - 4), ".txt");
}

bool IsIdentityFileName(const std::string& name) {
    if (name.empty() || name.size() > 255) return false;
    for (unsigned char ch : name)
        if (ch < 0x20 || std::string_view("<>:\"/\\|?*").find(static_cast<char>(ch)) != std::string_view::npos)
            return false;
    if (name.back() == '.' || name.back() == ' ') return false;
    // Device names, with or without an extension, open a device instead of a file.
    const std::string stem = LowerAscii(name.substr(0, name.find('.')));
    for (const char* device : {"con", "prn", "aux", "nul"})
        if (stem == device) return false;
    if (stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) && stem[3] >= '1' &&
        stem[3] <= '9')
        return false;
    // Programs and libraries: Windows loads a DLL from the program's folder first.
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        const std::string ext = LowerAscii(name.substr(dot + 1));
        for (const char* code : {"exe", "dll", "com", "bat", "cmd", "scr", "pif", "lnk", "vbs", "js", "sys", "drv",
                                 "ocx", "cpl", "msi", "ps1"})
            if (ext == code) return false;
    }
    // The client's own files: switches whose presence changes what it does, its lists, markers,
    // settings and logs.
    for (const char* own : {"plyrBlockedIPs.txt", "rgb.txt", "duh.txt", "XPsound=on", "mplayer.ini", "plyr-cfg.txt",
                            "log-plyr-cfg.txt", "WDNplyr-Self-test.txt", "WDNplyr-settings.txt"})
        if (EqualsNoCase(name, own)) return false;
    return true;
}

bool IsIdentityLine(const std::string& line) {
    const size_t bar = line.find('|');
    if (bar == std::string::npos || bar == 0 || bar > 10) return false;
    const std::string crc = line.substr(0, bar);
    const std::string status = line.substr(bar + 1);
    if (crc.find_first_not_of("0123456789") != std::string::npos || std::stoull(crc) > 0xFFFFFFFFull) return false;
    return status == "1" || status == "0" || status == "-1";
}

void WipeText(std::string& s) {
    volatile char* p = s.data();
    for (size_t i = 0; i < s.size(); ++i) p[i] = 0;
    s.clear();
}

bool IsOpenableAddress(const std::string& address) {
    if (!StartsWithNoCase(address, "http://") && !StartsWithNoCase(address, "https://") &&
        !StartsWithNoCase(address, "ftp://"))
        return false;
    for (unsigned char ch : address)
        if (ch < 0x20 || ch == 0x7F) return false;
    return true;
}

Conversation::Conversation(ClientState& state, ConversationWindows windows, ConversationPorts ports)
    : state_(state), w_(windows), p_(ports) {
    random = [rng = std::mt19937(std::random_device{}())](uint32_t n) mutable {
        return n == 0 ? 0u : static_cast<uint32_t>(rng() % n);
    };
}

void Conversation::Log(const std::string& line) { w_.main.Memo1.Add(line); }

void Conversation::Trace(const std::string& line) {
    if (state_.verboseTrace) w_.main.Memo1.Add(line);
}

std::string Conversation::TraceTimestamp() {
    std::tm t = p_.clock.localTime();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d_%02d-%02d-%02d.%u", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec, static_cast<unsigned>(p_.clock.tickCount() % 1000));
    return buf;
}

std::string Conversation::Elapsed(uint32_t startTick) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%5.3f", static_cast<double>(p_.clock.tickCount() - startTick) / 1000.0);
    return buf;
}

void Conversation::Restore() {
    p_.priority.SetPriorityClass(state_.restore);
    w_.main.prboost.checked = false;
}

// A file name from the server that could reach outside the game folder: nothing is read,
// created or deleted for it, and the request gets no answer.
bool Conversation::Refuse(const std::string& name, const std::string& request) {
    if (StaysInGameFolder(name)) return false;
    Log("==> Refused, names a file outside the game folder: " + request);
    return true;
}

// ---- socket events -------------------------------------------------------------------------

void Conversation::Sockets1SessionAvailable(int socket) {
    const int accepted = p_.sockets.SAccept();
    if (accepted < 0) {
        // No connection was taken: there is no peer to log, check or close.
        if (state_.selfTestRunning) Log("Invalid socket... -1");
        return;
    }
    if (connections_.full()) {
        RefuseConnection(accepted);
        return;
    }
    conversationSocket = accepted;
    const std::string peer = p_.sockets.GetPeerIPAddr(accepted);
    connections_.add(accepted, peer, p_.clock.tickCount());
    Log("session accepted IP=" + peer);
    currentServerAddress = peer;
    Log("Local port" + p_.sockets.GetLocalPort(socket) + " socket#" + std::to_string(socket));
    if (state_.selfTestRunning) w_.selfTestLog.Add("OK Self-test: session accepted IP=" + peer);
    bool blocked = false;
    for (const auto& item : w_.blocked.srvlist.items)
        if (item == peer) blocked = true;
    if (blocked) {
        Log("!! ==> This IP (" + peer + ")has been blocked by you");
        p_.connection.CloseClick();
        CloseConnection(accepted);
    } else {
        w_.blocked.servip.text = peer;
    }
}

// Over the limit a connection is closed at once. One line tells the player when refusing
// starts and one how many were refused when it ends, however many strangers try meanwhile.
void Conversation::RefuseConnection(int socket) {
    p_.sockets.SClose(socket);
    if (!refusing_) {
        refusing_ = true;
        refused_ = 0;
        Log("==> " + std::to_string(connections_.size()) + " connections open, new connections are refused");
    }
    ++refused_;
}

void Conversation::CloseConnection(int socket) {
    if (socket < 0) return;
    // The number may be taken by a new connection soon: it no longer names this one.
    if (socket == conversationSocket) conversationSocket = -1;
    connections_.remove(socket);
    if (!p_.sockets.SocketDead(socket)) p_.sockets.SClose(socket);
    if (refusing_ && !connections_.full()) {
        refusing_ = false;
        Log("==> Accepting connections again, " + std::to_string(refused_) + " refused");
    }
}

void Conversation::CloseStaleConnections() {
    const uint32_t now = p_.clock.tickCount();
    for (int socket : connections_.sockets()) {
        Connection* c = connections_.find(socket);
        if (!c) continue;  // closed by an earlier one's handling
        switch (ConnectionTable::Expired(*c, now)) {
        case Expiry::None: break;
        case Expiry::PartialRequest: DropPartialRequest(socket, c->pending, c->pendingSince); break;
        case Expiry::NoFirstRequest:
        case Expiry::Idle:
            Log("==> Closed the connection of " + c->peer + " (socket#" + std::to_string(socket) +
                "): no request in " + std::to_string((now - c->lastTick) / 1000) + " s");
            CloseConnection(socket);
            break;
        }
    }
}

// A request that never got its terminator (too slow, or too long) is dropped, as after three
// reads, and its connection closed: what it sends after that would be read as a new request.
void Conversation::DropPartialRequest(int socket, const std::string& buf, uint32_t since) {
    // The bytes of a stranger go into the log only as far as a real request could reach.
    constexpr size_t kShown = 512;
    const std::string shown =
        buf.size() <= kShown ? buf : buf.substr(0, kShown) + "... (" + std::to_string(buf.size()) + " bytes)";
    Trace(TraceTimestamp() + "==>" + shown + "<==");
    Trace("t2:" + Elapsed(since));
    Log("Error in data from srvr, resetting");
    Trace(TraceTimestamp() + "error data:==>" + shown + "<==");
    Trace("t:" + Elapsed(since));
    Restore();
    CloseConnection(socket);
}

void Conversation::Sockets1SessionConnected(int socket) {
    conversationSocket = socket;
    connections_.add(socket, "", p_.clock.tickCount());
    Log("Connected to IP=" + p_.sockets.GetPeerIPAddr(socket) + " on his port #" + p_.sockets.GetPeerPort(socket) +
        " socket#: " + std::to_string(socket));
}

void Conversation::Sockets1SessionClosed(int socket) {
    conversationSocket = socket;
    Log("End of conversation, session continues......");
    p_.connection.CloseClick();
    CloseConnection(socket);
}

// The component reports its errors itself; the main window stays silent, but a connection
// that is gone (reset, aborted, timed out) ends as a closed session does, or it would stay
// open until exit.
void Conversation::Sockets1ErrorOccurred(int socket, int error, const std::string&) {
    if (connections_.find(socket) == nullptr) return;
    switch (error) {
    case 10050: case 10051: case 10052: case 10053: case 10054: case 10057: case 10058: case 10060:
    case 10064: case 10065:
        Sockets1SessionClosed(socket);
        break;
    default: break;
    }
}

void Conversation::Sockets1DataAvailable(int socket) {
    std::string buf;
    std::string request;
    try {
        p_.priority.SetPriorityClass(state_.boost);
        w_.main.prboost.checked = true;
        if (!state_.gameFolder.empty() && ::chdir(state_.gameFolder.c_str()) != 0) {
            // The handlers resolve every name against the game folder themselves.
        }
        const uint32_t now = p_.clock.tickCount();
        conversationSocket = socket;
        Connection* c = connections_.find(socket);
        if (!c) c = &connections_.add(socket, "", now);
        if (!c->peer.empty()) currentServerAddress = c->peer;

        // One read per event. A request without its terminator waits with its connection for
        // the rest (the next data event) instead of holding every other connection up; it is
        // dropped when it grows too long or its time is up.
        if (c->pending.empty()) c->pendingSince = now;
        std::string got = p_.sockets.GetText(socket);
        c = connections_.find(socket);
        if (!c) return;  // the read found the connection gone; it has been closed
        c->pending += got;
        WipeText(got);
        const uint32_t start = c->pendingSince;
        if (c->pending.size() > kMaxRequestBytes) {
            DropPartialRequest(socket, c->pending, start);
            return;
        }
        if (c->pending.find(kTerminator) == std::string::npos) {
            if (now - start >= kPartialRequestMs) DropPartialRequest(socket, c->pending, start);
            return;
        }
        buf.swap(c->pending);
        c->lastTick = now;
        c->requested = true;

        Trace(TraceTimestamp() + "==>" + buf + "<==");
        Trace("t2:" + Elapsed(start));
        while (!buf.empty() && buf.find(kTerminator) != std::string::npos) {
            const size_t end = buf.find(kTerminator);
            request = buf.substr(0, end);
            buf.erase(0, end + 1);
            Trace("t:" + Elapsed(start));
            Trace(TraceTimestamp() + " parsing: " + request);
            std::string answer = ParseRequest(request);
            Trace(TraceTimestamp() + " response parsing: " + answer);
            if (!handled_) {
                Log("Error in data from srvr, resetting & waiting ......");
                Log(TraceTimestamp() + " s==>" + request + "<==" + "\n\r" + "bufdata:==>" + buf + "<==");
            } else if (!answer.empty()) {
                Trace(TraceTimestamp() + " sending response : " + answer);
                p_.sockets.SetText(socket, answer);
                Trace(TraceTimestamp() + " have send response : " + answer);
                WipeText(answer);
            }
            // A partial request at the end of a read is lost.
            if (buf.find(kTerminator) == std::string::npos) buf.clear();
        }
    } catch (...) {
        Restore();
        Log("==> Exception in sockets data available:");
        Log("==> buf:" + buf);
        Log("==> s:" + request);
        Log("==> response:" + request);
    }
}

// ---- requests ------------------------------------------------------------------------------

std::string Conversation::ParseRequest(const std::string& request) {
    std::string answer;
    handled_ = false;
    const std::string& s = request;
    try {
        if (StartsWith(s, "url=")) {
            handled_ = true;
            HandleUrl(s);
        } else if (StartsWith(s, "ver?")) {
            handled_ = true;
            answer = VersionAnswer() + kTerminator;
        } else if (StartsWith(s, "time:")) {
            handled_ = true;
            HandleTime(s);
        } else if (StartsWith(s, "srvinf:")) {
            handled_ = true;
            HandleSrvinf(s);
        } else if (Contains(s, "id?") && s.size() > 3) {
            handled_ = true;
            answer = HandleId(s);
        } else if (StartsWith(s, "check=")) {
            handled_ = true;
            HandleCheck(s);
        } else if (StartsWith(s, "scn?")) {
            handled_ = true;
            state_.checkParams.patterns = s.substr(4);
        } else if (StartsWith(s, "snd?")) {
            handled_ = true;
            std::string text = ResultText(state_.resultList);
            answer = "snd=" + text + kTerminator;
            WipeText(text);
        } else if (StartsWith(s, "ok?")) {
            handled_ = true;
        } else if (StartsWith(s, "crc?")) {
            handled_ = true;
            std::string text = ResultText(state_.resultList);
            if (text.empty()) {
                answer = std::string("crc=Err") + kTerminator + kTerminator;
            } else {
                answer = "crc=" + std::to_string(RawCrc32(text)) + kTerminator;
            }
            WipeText(text);
        } else if (StartsWith(s, "ecrc?")) {
            handled_ = true;
            answer = HandleEcrc(s);
        } else if (StartsWith(s, "fmparm?")) {
            handled_ = true;
            answer = HandleFmparm(s);
        }
    } catch (...) {
        WipeText(answer);
        Restore();
        Log("=>Exception in parse()");
    }
    return answer;
}

void Conversation::HandleUrl(const std::string& s) {
    const std::string address = s.substr(4);
    // Only web and ftp addresses are offered; anything else (a local program, a file) could
    // make the shell start something the player never meant to run.
    if (!IsOpenableAddress(address)) {
        Log("==> Download offer ignored, only http://, https:// and ftp:// addresses are opened: " + address);
        return;
    }
    downloadAddress = address;
    w_.getUrl.dload.caption = "Download : \r\n" + address + " ?";
    w_.getUrl.visible = true;
}

void Conversation::BitBtn1Click() {
    if (IsOpenableAddress(downloadAddress)) p_.shell.ShellExecute("open", downloadAddress, "", "");
    w_.getUrl.visible = false;
}

void Conversation::BitBtn2Click() { w_.getUrl.visible = false; }

void Conversation::HandleTime(const std::string& s) {
    const std::string value = s.substr(s.find(':') + 1);
    const ClockResult r = ClockCheckStep(clockCheck, currentServerAddress, p_.clock.tickCount(), value);
    if (!r.alarm) return;
    p_.sockets.SetText(conversationSocket, "Ok:" + std::to_string(r.percentage) + kTerminator);
    p_.connection.SetKickPort(1024 + static_cast<int>(random(9999)));
    p_.sockets.SetPort(std::to_string(1024 + random(9999)));
    p_.connection.ListenClick();
    p_.connection.CancelListenClick();
    Log("Your PC is speeding(?)... you must restart Secplayer ");
    ShowBox(p_.dialogs, BoxKind::Information, "PC speed is out of sync.... you must restart Secplayer ");
}

void Conversation::HandleSrvinf(std::string s) {
    if (Contains(s, "srvinf:==>From WDNplyr Self-Testing: ")) {
        w_.selfTestLog.Add("Succes! => Self test string was received from: " +
                             p_.sockets.GetPeerIPAddr(conversationSocket));
    }
    if (Contains(s, "srvinf:EOT:")) {
        Log("EOT Connection closed.. ");
        Log(std::string(state_.verdict ? "Config OK " : "Config ERROR") + " \r\n" + TraceTimestamp());
        if (state_.verdict) {
            StatusGreen(w_.main, state_.selfTestRunning, "Go Fly Now.... Salute!");
        } else {
            StatusRed(w_.main, state_.selfTestRunning, "Grounded, do NOT fly!!!");
        }
        CloseConnection(conversationSocket);
        s.clear();
        Restore();
    }
    if (StartsWith(s, "srvinf:URIP:")) {
        const std::string tail = From(s, 13);
        const size_t sep = tail.find("::");
        const std::string address = sep == std::string::npos ? std::string() : tail.substr(0, sep);
        w_.main.URIP.caption = "Your Internet IP : " + address;
        s.erase(0, std::min(s.size(), address.size() + 14));
        if (Contains(s, ">Config OK")) {
            state_.verdict = true;
            StatusGreen(w_.main, state_.selfTestRunning, "Go Fly Now ...Salute!");
            Log(s);
        }
        if (Contains(s, ">Config ERROR")) {
            state_.verdict = false;
            StatusRed(w_.main, state_.selfTestRunning, "Grounded! do NOT fly!");
            Log(s);
            w_.errors.cfgerrors.Add(s);
        }
        return;
    }
    if (StartsWith(s, "srvinf:errinf:")) {
        const size_t colon = s.rfind(": ");
        const std::string name = colon == std::string::npos ? s : s.substr(colon + 2);
        const std::string pattern = "*" + name;
        const std::string* location = nullptr;
        for (const auto& entry : state_.checks.relevantFiles) {
            if (WildcardMatch(pattern, entry)) {
                location = &entry;
                break;
            }
        }
        if (location) {
            w_.errors.cfgerrors.Add(From(s, 15) + " Location = " + *location);
        } else {
            w_.errors.cfgerrors.Add(From(s, 15));
        }
        w_.errors.visible = true;
        if (!Contains(s, ">Config")) s.clear();
    }
    if (StartsWith(s, "srvinf:")) {
        if (StartsWith(s, "srvinf:ban:")) {
            s = From(s, 11);
            w_.serverInfo.servinfo.Add(s);
            const size_t inner = s.find("srvinf:");
            s = inner == std::string::npos ? std::string() : s.substr(inner + 1);
        } else if (Contains(s, ">Config")) {
            Log(From(s, 8));
            w_.errors.cfgerrors.Add(From(s, 8));
        }
        if (Contains(s, "You have been ejected..")) {
            StatusRed(w_.main, state_.selfTestRunning, "Ejected...");
            if (w_.main.cantforward.checked) StatusRed(w_.main, state_.selfTestRunning, "Ejected, you must Kickstart again!");
            p_.connection.CancelListenClick();
        }
        if (!Contains(s, "srvinf:ban:")) Log(From(s, 8));
    }
    if (PathExists(state_.gameFolder, "duh.txt")) Log("##>" + s);
}

std::string Conversation::HandleId(const std::string& s) {
    // idfile: from the 4th character up to the first '|'; file: the text after that '|'.
    const size_t bar = s.find('|');
    const std::string idfile = (bar == std::string::npos || bar < 3) ? std::string() : s.substr(3, bar - 3);
    const std::string file = bar == std::string::npos ? s : s.substr(bar + 1);
    if (idfile.empty()) throw std::runtime_error("id?: no identity file");
    if (Refuse(file, s)) return {};
    // The identity file is created or read back on a stranger's word: only a name that can be
    // nothing else, so that no game, switch or list file is planted or disclosed.
    if (!IsIdentityFileName(idfile)) {
        Log("==> Refused, not an identity file name: " + s);
        return {};
    }

    const std::string idPath = ResolvePath(state_.gameFolder, idfile);
    if (!PathExists(state_.gameFolder, idfile)) {
        const FileCrc fc = FileCrc32(state_.gameFolder, file);
        fileStatus = fc.status;
        std::string crc = std::to_string(fc.crc);
        std::ofstream out(idPath, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error("id?: cannot create " + idfile);
        std::string line = crc + "|" + std::to_string(fc.status) + "\r\n";
        out << line;
        out.close();
        WipeText(line);
        if (!out) throw std::runtime_error("id?: cannot write " + idfile);
        std::string answer = "id=" + crc + kTerminator;
        WipeText(crc);
        return answer;
    }
    std::error_code ec;
    std::string line;
    if (std::filesystem::is_regular_file(idPath, ec)) {
        std::ifstream in(idPath, std::ios::binary);
        char ch;
        // The first line, bounded: an identity line is a number, '|' and a status.
        while (in && line.size() < 32 && in.get(ch) && ch != '\r' && ch != '\n') line += ch;
    }
    if (!IsIdentityLine(line)) {
        WipeText(line);
        Log("==> Refused, the file holds no identity: " + s);
        return {};
    }
    std::string answer = "id=" + line + kTerminator;
    WipeText(line);
    return answer;
}

void Conversation::HandleCheck(const std::string& s) {
    const std::string params = s.substr(6);
    const size_t eq = params.find('=');
    CheckParams cp;
    cp.logName = params.substr(0, eq);
    const std::string rest = eq == std::string::npos ? std::string() : params.substr(eq + 1);
    const size_t dash = rest.find('-');
    cp.folders = rest.substr(0, dash);
    cp.patterns = dash == std::string::npos ? std::string() : rest.substr(dash + 1);
    state_.checkParams = cp;

    // The check deletes and rewrites its log (and "log-" + its name): only a text file of the
    // game folder itself may be named, so that no server can have a game file deleted or
    // overwritten. With another name the check still runs and is answered, without logs.
    const bool logOk = IsCheckLogName(cp.logName);
    state_.checkParams.writeLogs = logOk;
    if (!logOk) {
        Log("==> Not a check log name, the check runs without writing its logs: " + cp.logName);
    } else if (PathExists(state_.gameFolder, cp.logName)) {
        ::unlink(ResolvePath(state_.gameFolder, cp.logName).c_str());
    }
    state_.resultList.clear();
    if (Contains(cp.patterns, "volkar?.ted|")) {
        for (const auto& line : state_.checks.tedResults) state_.resultList.add(line);
    }
    w_.main.cfgstatus.color = clBlack;
    w_.main.cfgstatus.caption = "contact......";

    if (state_.foregroundChecks) {
        CheckFileSets(state_.checks, state_.gameFolder, state_.checkParams, state_.resultList, p_.clock, p_.processes);
        Log(std::to_string(state_.checks.lastCheckMs) + " ms / check" + " #files:" +
            std::to_string(state_.resultList.size()));
        return;
    }
    p_.checks.ClearCheckFinished();
    p_.checks.StartServerCheck();
    for (int i = 0; i < 7; ++i) {
        p_.clock.sleep(500);
        if (p_.checks.CheckFinished()) break;
    }
}

std::string Conversation::HandleEcrc(const std::string& s) {
    const std::string file = s.substr(5);
    if (Refuse(file, s)) return {};
    const FileCrc fc = FileCrc32(state_.gameFolder, file);
    fileStatus = fc.status;
    std::string value = std::to_string(fc.crc);
    if (fc.status == -1) value = "|-1" + value;
    std::string plain = "crc=" + value + kTerminator;
    std::string answer = std::string("\xC9\xCA") + EncipherText(plain);
    WipeText(plain);
    WipeText(value);
    return answer;
}

std::string Conversation::HandleFmparm(const std::string& s) {
    const std::string file = s.substr(7);
    if (Refuse(file, s)) return {};
    const int64_t sum = FileByteSum(state_.gameFolder, file);
    const FileCrc fc = FileCrc32(state_.gameFolder, file);
    fileStatus = fc.status;
    // The sum goes out as a signed 32-bit number: above 2147483647 it reads negative, as the
    // server has always received it.
    const int32_t wireSum = sum < 0 ? -1 : static_cast<int32_t>(static_cast<uint32_t>(sum));
    return "pcrc=" + std::to_string(wireSum) + std::to_string(fc.crc);
}

}  // namespace vk
