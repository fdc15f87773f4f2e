// Start-up: the three settings files, the echo, the local address, the filter and the event log.
#include <arpa/inet.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "monitor/monitor.h"
#include "monitor/settings.h"
#include "platform/routes.h"

namespace vkst {

namespace {

class LineFile {
public:
    explicit LineFile(const std::string& path) : f_(std::fopen(path.c_str(), "rb")) {}
    ~LineFile() {
        if (f_) std::fclose(f_);
    }
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;
    bool open() const { return f_ != nullptr; }
    // The next line in the 100-byte buffer: longer lines come in pieces of 99 characters.
    // Read as a text stream of the game's platform: a CR LF line end arrives as LF, so settings
    // written on Windows give the same values and echoes here.
    bool next(char (&line)[kLineSize]) {
        if (!f_) return false;
        int n = 0;
        while (n + 1 < kLineSize) {
            int c = std::getc(f_);
            if (c == EOF) break;
            if (c == '\r') {
                int d = std::getc(f_);
                if (d == '\n') c = '\n';
                else if (d != EOF) std::ungetc(d, f_);
            }
            line[n++] = static_cast<char>(c);
            if (c == '\n') break;
        }
        line[n] = '\0';
        return n > 0;
    }

private:
    std::FILE* f_;
};

void removeSpaces(char* s) {
    char* d = s;
    for (; *s; ++s)
        if (*s != ' ') *d++ = *s;
    *d = '\0';
}

void toUpper(char* s) {
    for (; *s; ++s)
        if (*s >= 'a' && *s <= 'z') *s = static_cast<char>(*s - 'a' + 'A');
}

}  // namespace

int32_t decimalValue(const char* s, const char* end) {
    if (!end) end = s + std::strlen(s);
    while (s < end && (*s == ' ' || (*s >= '\t' && *s <= '\r'))) ++s;
    bool negative = false;
    if (s < end && (*s == '+' || *s == '-')) negative = *s++ == '-';
    int64_t v = 0;
    for (; s < end && *s >= '0' && *s <= '9'; ++s) {
        v = v * 10 + (*s - '0');
        if (v > static_cast<int64_t>(INT32_MAX) + 1) v = static_cast<int64_t>(INT32_MAX) + 1;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    return static_cast<int32_t>(v);
}

bool valueText(char* line, const char* matched, std::string& out) {
    removeSpaces(line);
    const char* at = std::strstr(line, matched);
    if (!at) return false;
    const char* v = at + std::strlen(matched);
    const char* semi = std::strchr(v, ';');
    const char* end = semi;
    if (!end) {
        // No closing ";": the value runs to the line end, which is not part of it.
        end = v + std::strlen(v);
        while (end > v && (end[-1] == '\n' || end[-1] == '\r')) --end;
    }
    out.assign(v, end);
    return true;
}

namespace {

bool numberValue(char* line, const char* matched, int32_t& out) {
    std::string v;
    if (!valueText(line, matched, v)) return false;
    out = decimalValue(v.c_str(), v.c_str() + v.size());
    return true;
}

void readServerScs(Monitor& m) {
    LineFile f(pathIn(m, "vk2server.scs"));
    if (!f.open()) throw Fatal{"\nERROR -- Can't find vk2server.scs\n\n"};
    char line[kLineSize];
    while (f.next(line)) {
        if (line[0] == '/' || (line[0] != '\0' && line[1] == '/')) continue;
        if (!std::strstr(line, "port")) continue;
        int32_t port = 0;
        if (!numberValue(line, "port=", port)) continue;  // "port" without "port=": not the line
        m.settings.serverPort = port;
        return;
    }
    throw Fatal{"Error -- port not found in vk2server.scs file\n\n"};
}

void readServerIni(Monitor& m) {
    LineFile f(pathIn(m, "vk2server.ini"));
    if (!f.open()) throw Fatal{"\nERROR -- Can't find vk2server.ini\n\n"};
    char line[kLineSize];
    while (f.next(line)) {
        toUpper(line);
        if (std::strstr(line, "//")) continue;
        if (std::strstr(line, "USEMAP")) {
            removeSpaces(line);
            const char* at = std::strstr(line, "SEMAP=");
            if (at) m.settings.mapName = at + 6;
        } else if (std::strstr(line, "GAMELENGTHINSECONDS")) {
            removeSpaces(line);
            const char* at = std::strstr(line, "GAMELENGTHINSECONDS=");
            if (!at) continue;
            m.settings.gameLength = static_cast<uint32_t>(decimalValue(at + 20, nullptr));
            return;
        }
    }
    throw Fatal{"Error -- gameLengthInSeconds not found in vk2server.ini file\n\n"};
}

// Keys in the order they are tested; the first whose name occurs in a line takes it.
enum Key {
    kObserve, kRepair, kEnterRepair, kSpeeder, kFreeze, kChecksumOn, kLocation, kFlamer, kSmoke,
    kBadChat, kWallRide, kAutoStart, kCloseOnTimed, kNic, kLocalIp, kBlockTime, kDeroute,
    kEnterRepairTime, kChecksum, kTestUdp, kIgnoreIp, kKeyCount
};

struct KeyRow {
    const char* name;
    const char* matched;
    const char* echo;  // flags: printed when non-zero
};

constexpr KeyRow kKeys[kKeyCount] = {
    {"NETonObserve", "NETonObserve=", "NET on OBSERVE is ENABLED\n"},
    {"NETonRepair", "NETonRepair=", "NET on REPAIR is ENABLED\n"},
    {"NETonEnterRepair", "NETonEnterRepair=", "NET on ENTER-REPAIR is ENABLED\n"},
    {"NETonSpeeder", "NETonSpeeder=", "NET on SPEEDER is ENABLED\n"},
    {"NETonFreeze", "NETonFreeze=", "NET on FREEZE is ENABLED\n"},
    {"NETonChecksum", "NETonChecksum=", "NET on CHECKSUM is ENABLED\n"},
    {"NETonLocation", "NETonLocation=", "NET on DROME LOC is ENABLED\n"},
    {"NETonFlamer", "NETonFlamer=", "NET on FLAMER is ENABLED\n"},
    {"NETonSmoke", "NETonSmoke=", "NET on SMOKE is ENABLED\n"},
    {"NETonBadChat", "NETonBadChat=", "NET on BAD CHAT is ENABLED\n"},
    {"NETonWallRide", "NETonWallRide=", "NET on WALL RIDE is ENABLED\n"},
    {"AutoStartMMPServer", "AutoStartMMPServer=", "AutoStartMMPServer is ENABLED\n"},
    {"CloseOnTimedGame", "CloseOnTimedGame=", nullptr},
    {"nicNumber", "nicNumber=", nullptr},
    {"LocalIP_ListNum", "LocalIP_ListNum=", nullptr},
    {"NETblockTime", "NETblockTime=", nullptr},
    {"DerouteIP", "DerouteIP=", nullptr},
    {"EnterRepairTime", "EnterRepairTime=", nullptr},
    {"Checksum", "Checksum=", nullptr},
    {"TestUDP", "TestUDP=", "TestUDP is ENABLED\n"},
    {"IgnoreIP", "IgnoreIP=", nullptr},
};

int32_t* flagOf(Settings& s, int key) {
    switch (key) {
        case kObserve: return &s.NETonObserve;
        case kRepair: return &s.NETonRepair;
        case kEnterRepair: return &s.NETonEnterRepair;
        case kSpeeder: return &s.NETonSpeeder;
        case kFreeze: return &s.NETonFreeze;
        case kChecksumOn: return &s.NETonChecksum;
        case kLocation: return &s.NETonLocation;
        case kFlamer: return &s.NETonFlamer;
        case kSmoke: return &s.NETonSmoke;
        case kBadChat: return &s.NETonBadChat;
        case kWallRide: return &s.NETonWallRide;
        case kAutoStart: return &s.AutoStartMMPServer;
        case kTestUdp: return &s.TestUDP;
        default: return nullptr;
    }
}

// One IgnoreIP value: addresses or address/prefix entries, separated by commas.
void addIgnored(Monitor& m, const std::string& value) {
    size_t start = 0;
    while (start <= value.size()) {
        size_t comma = value.find(',', start);
        if (comma == std::string::npos) comma = value.size();
        const std::string entry = value.substr(start, comma - start);
        start = comma + 1;
        const size_t slash = entry.find('/');
        const std::string addr = entry.substr(0, slash);
        int bits = 32;
        bool ok = vk::isDottedIPv4(addr);
        if (ok && slash != std::string::npos) {
            const std::string p = entry.substr(slash + 1);
            ok = !p.empty() && p.size() <= 2 && p.find_first_not_of("0123456789") == std::string::npos;
            if (ok) bits = std::stoi(p);
            ok = ok && bits <= 32;
        }
        if (!ok)
            throw Fatal{"Error -- IgnoreIP entry \"" + entry +
                        "\" is not an IP address or address/prefix in VKST.ini file\n\n"};
        in_addr a{};
        inet_pton(AF_INET, addr.c_str(), &a);
        Settings::IgnoreNet n;
        n.mask = bits == 0 ? 0 : htonl(0xFFFFFFFFu << (32 - bits));
        n.net = a.s_addr & n.mask;
        n.text = entry;
        m.settings.ignore.push_back(n);
        say(m, "IgnoreIP %s is never blocked\n", entry.c_str());
    }
}

// Returns true when the line was the TestUDP line, which ends the settings part.
bool settingLine(Monitor& m, char* line, bool& timedCloseAdded) {
    Settings& s = m.settings;
    int key = 0;
    while (key < kKeyCount && !std::strstr(line, kKeys[key].name)) ++key;
    if (key == kKeyCount) return false;
    const KeyRow& row = kKeys[key];
    if (int32_t* flag = flagOf(s, key)) {
        if (!numberValue(line, row.matched, *flag)) return false;
        if (*flag != 0) say(m, "%s", row.echo);
        return key == kTestUdp;
    }
    std::string text;
    int32_t v = 0;
    switch (key) {
        case kCloseOnTimed:
            if (!numberValue(line, row.matched, v)) return false;
            s.CloseOnTimedGame = v;
            if (v != 0 && s.gameLength != 0) {
                say(m, "CloseOnTimedGame is ENABLED\n");
                say(m, "GameLength is %lu seconds\n",
                    static_cast<unsigned long>(s.gameLength - (timedCloseAdded ? 15u : 0u)));
                // A second CloseOnTimedGame line must not lengthen the game again.
                if (!timedCloseAdded) s.gameLength += 15;
                timedCloseAdded = true;
            }
            say(m, "\n[Settings]\n");
            say(m, "Map used is %s", s.mapName.c_str());
            break;
        case kNic:
            if (!numberValue(line, row.matched, s.nicNumber)) return false;
            if (s.nicNumber == -1)
                say(m, "NIC number is the default\n");
            else
                say(m, "NIC number is %d\n", s.nicNumber);
            break;
        case kLocalIp:
            if (!numberValue(line, row.matched, s.LocalIP_ListNum)) return false;
            say(m, "LocalIP_ListNum is %d\n", s.LocalIP_ListNum);
            break;
        case kBlockTime:
            if (!numberValue(line, row.matched, s.NETblockTime)) return false;
            say(m, "NET block time is %d seconds\n", s.NETblockTime);
            break;
        case kDeroute:
            if (!valueText(line, row.matched, text)) return false;
            s.DerouteIP = text;
            say(m, "Deroute IP for NET out is %s\n", s.DerouteIP.c_str());
            break;
        case kEnterRepairTime:
            if (!numberValue(line, row.matched, s.EnterRepairTime)) return false;
            if (s.NETonEnterRepair == 1) say(m, "EnterRepairTime is %d seconds\n", s.EnterRepairTime);
            break;
        case kChecksum: {
            if (!valueText(line, row.matched, text)) return false;
            size_t dash = text.find('-');
            if (dash == std::string::npos) return false;  // not a pair: the line is skipped
            s.checksumFirst = decimalValue(text.c_str(), text.c_str() + dash);
            s.checksumSecond = decimalValue(text.c_str() + dash + 1, text.c_str() + text.size());
            if (s.NETonChecksum == 1)
                say(m, "Player checksum should be %d-%d\n", s.checksumFirst, s.checksumSecond);
            break;
        }
        case kIgnoreIp:
            if (!valueText(line, row.matched, text)) return false;
            addIgnored(m, text);
            break;
        default:
            break;
    }
    return false;
}

void readVkstIni(Monitor& m) {
    LineFile f(pathIn(m, "VKST.ini"));
    if (!f.open()) throw Fatal{"\nERROR -- Can't find VKST.ini\n\n"};
    char line[kLineSize];
    bool timedCloseAdded = false;
    bool testUdp = false;
    while (f.next(line)) {
        if (std::strstr(line, "//")) continue;
        if (settingLine(m, line, timedCloseAdded)) {
            testUdp = true;
            break;
        }
    }
    if (!testUdp) throw Fatal{"Error -- TestUDP parameter not found in VKST.ini file\n\n"};
    f.next(line);  // the line after TestUDP is not examined
    int filled = 0;
    while (filled < kPhrases && f.next(line)) {
        if (std::strstr(line, "//") || !std::strstr(line, "phrase")) continue;
        const char* open = std::strchr(line, '\'');
        const char* close = open ? std::strchr(open + 1, '\'') : nullptr;
        if (!close) continue;  // not a quoted phrase: skipped
        m.settings.phrases[filled++].assign(open + 1, close);
    }
    // The gateway goes into a route command: only an address (or nothing) is acceptable.
    if (!m.settings.DerouteIP.empty() && !vk::isDottedIPv4(m.settings.DerouteIP))
        throw Fatal{"Error -- DerouteIP is not a dotted IP address in VKST.ini file\n\n"};
}

}  // namespace

void readSettingsFiles(Monitor& m) {
    say(m, "VKS Terminator -- Version %s\n\n", kVersionText);
    say(m, "[Features]\n");
    readServerScs(m);
    readServerIni(m);
    readVkstIni(m);
}

void loadSettings(Monitor& m) {
    Settings& s = m.settings;
    readSettingsFiles(m);

    uint32_t records = loadLandmarks(m, s.mapName);
    say(m, "Number of landmark records = %lu\n", static_cast<unsigned long>(records));
    s.tickIntervalS = 1;
    s.sampleWindowMs = 210;

    s.localAddresses.clear();
    bool ok = m.io.hostAddresses ? m.io.hostAddresses(s.localAddresses) : hostIPv4Addresses(s.localAddresses);
    if (!ok) throw Fatal{"\nError when getting local host name\n"};
    say(m, "\nLocal IP Address List:\n");
    for (size_t i = 0; i < s.localAddresses.size(); ++i)
        say(m, "%d. %s\n", static_cast<int>(i + 1), s.localAddresses[i].c_str());
    if (s.LocalIP_ListNum < 1 || static_cast<size_t>(s.LocalIP_ListNum) > s.localAddresses.size())
        throw Fatal{"Error -- local IP list number out of range\n"};
    s.localAddress = s.localAddresses[s.LocalIP_ListNum - 1];

    // A capture file was made on the game server and carries that machine's address.
    if (m.replay)
        s.filterText = "udp and dst port " + std::to_string(s.serverPort);
    else
        s.filterText = "udp and dst host " + s.localAddress + " and dst port " + std::to_string(s.serverPort);
    say(m, "\nVK server IP:port is %s:%d\n", s.localAddress.c_str(), s.serverPort);

    std::string logPath = pathIn(m, "VKST.csv");
    m.log = std::fopen(logPath.c_str(), "ab");
    if (!m.log) throw Fatal{"\nERROR -- Can't open VKST.csv\n\n"};
    char date[9], time[9];
    int64_t now = monitorNow(m);
    dateText(now, date);
    timeText(now, time);
    logf(m, "\nVKS Terminator Version %s - Date: %s - Time: %s,\n", kVersionText, date, time);
    logf(m, "VK server IP:port is %s:%d\n", s.localAddress.c_str(), s.serverPort);

    // The same events for log shippers, one JSON object a line.
    std::string jsonPath = pathIn(m, "VKST.json");
    m.json = std::fopen(jsonPath.c_str(), "ab");
    if (!m.json) throw Fatal{"\nERROR -- Can't open VKST.json\n\n"};
}

}  // namespace vkst
