#include "tools/gamegen/scenario.h"

#include <arpa/inet.h>
#include <pcap/pcap.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <ctime>
#include <cerrno>
#include <iomanip>
#include <map>
#include <queue>
#include <sstream>

#include "monitor/landmarks.h"

namespace vkgen {
namespace {

constexpr size_t kMaxPayload = 1400;

// Splits a line into words; double quotes group words (and are dropped), '#' starts a remark.
std::vector<std::string> words(const std::string& line, int lineNo) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        if (i >= line.size() || line[i] == '#') break;
        std::string w;
        bool quoted = false;
        while (i < line.size() && (quoted || !std::isspace(static_cast<unsigned char>(line[i])))) {
            if (line[i] == '"') {
                quoted = !quoted;
            } else {
                w += line[i];
            }
            ++i;
        }
        if (quoted) throw ScenarioError(lineNo, "unclosed double quote");
        out.push_back(w);
    }
    return out;
}

int64_t parseInt(const std::string& s, int line, const char* what, int64_t lo, int64_t hi) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (s.empty() || *end || errno || v < lo || v > hi)
        throw ScenarioError(line, std::string("bad ") + what + " '" + s + "' (expected " +
                                      std::to_string(lo) + " to " + std::to_string(hi) + ")");
    return v;
}

// Seconds with up to six decimals, as microseconds.
int64_t parseSeconds(const std::string& s, int line) {
    size_t dot = s.find('.');
    std::string whole = s.substr(0, dot);
    std::string frac = dot == std::string::npos ? "" : s.substr(dot + 1);
    bool ok = !whole.empty() && frac.size() <= 6 &&
              std::all_of(whole.begin(), whole.end(), ::isdigit) &&
              std::all_of(frac.begin(), frac.end(), ::isdigit) && whole.size() < 10;
    if (!ok) throw ScenarioError(line, "bad time '" + s + "' (seconds, e.g. 12 or 12.25)");
    frac.resize(6, '0');
    return std::stoll(whole) * 1000000 + std::stoll(frac);
}

uint32_t parseIp(const std::string& s, int line) {
    in_addr a{};
    if (inet_pton(AF_INET, s.c_str(), &a) != 1)
        throw ScenarioError(line, "bad IPv4 address '" + s + "'");
    return ntohl(a.s_addr);
}

void parseEndpoint(const std::string& s, int line, uint32_t& ip, uint16_t& port) {
    size_t colon = s.rfind(':');
    if (colon == std::string::npos) throw ScenarioError(line, "expected ADDRESS:PORT, got '" + s + "'");
    ip = parseIp(s.substr(0, colon), line);
    port = static_cast<uint16_t>(parseInt(s.substr(colon + 1), line, "port", 1, 65535));
}

// key=value options of a message.
struct Options {
    std::map<std::string, std::string> kv;
    int line;
    bool has(const std::string& k) const { return kv.count(k) != 0; }
    int64_t num(const std::string& k, int64_t def, int64_t lo, int64_t hi) const {
        auto it = kv.find(k);
        return it == kv.end() ? def : parseInt(it->second, line, k.c_str(), lo, hi);
    }
};

Options options(const std::vector<std::string>& args, int line,
                std::initializer_list<const char*> allowed) {
    Options o{{}, line};
    for (const std::string& a : args) {
        size_t eq = a.find('=');
        std::string k = a.substr(0, eq);
        if (eq == std::string::npos ||
            std::none_of(allowed.begin(), allowed.end(), [&](const char* x) { return k == x; })) {
            std::string list;
            for (const char* x : allowed) list += std::string(list.empty() ? "" : ", ") + x;
            throw ScenarioError(line, "unknown option '" + a + "'" +
                                          (list.empty() ? "" : " (options: " + list + ")"));
        }
        o.kv[k] = a.substr(eq + 1);
    }
    return o;
}

struct Parser {
    Scenario s;
    const vkst::MapRow* map = nullptr;

    int findPlayer(const std::string& who, int line) const {
        if (who == "all") return -1;
        for (size_t i = 0; i < s.players.size(); ++i)
            if (s.players[i].name == who) return static_cast<int>(i);
        throw ScenarioError(line, "no player named '" + who + "' (declare it with a player line first)");
    }

    // Grid position from lat=/lon=/alt= or deg=LAT,LON (needs the map line).
    void position(const Options& o, uint32_t& lat, uint32_t& lon, uint32_t& alt) const {
        lat = static_cast<uint32_t>(o.num("lat", 0, 0, 0xFFFFFF));
        lon = static_cast<uint32_t>(o.num("lon", 0, 0, 0xFFFFFF));
        alt = static_cast<uint32_t>(o.num("alt", 0, 0, 0xFFFF));
        if (o.has("deg")) {
            if (!map) throw ScenarioError(o.line, "deg= needs a 'map NAME' line first");
            const std::string& d = o.kv.at("deg");
            double la = 0, lo = 0;
            char c = 0;
            std::istringstream is(d);
            if (!(is >> la >> c >> lo) || c != ',')
                throw ScenarioError(o.line, "bad deg= '" + d + "' (expected LAT,LON in degrees)");
            double x = std::round((la - map->latOffset) / map->latScale);
            double y = std::round((lo - map->lonOffset) / map->lonScale);
            if (x < 0 || x > 0xFFFFFF || y < 0 || y > 0xFFFFFF)
                throw ScenarioError(o.line, "deg= '" + d + "' lies outside map " + map->keyword);
            lat = static_cast<uint32_t>(x);
            lon = static_cast<uint32_t>(y);
        }
    }

    std::vector<uint8_t> message(const std::vector<std::string>& w, int line, const Player* who) const {
        if (w.empty()) throw ScenarioError(line, "missing message kind");
        const std::string& kind = w[0];
        std::vector<std::string> args(w.begin() + 1, w.end());
        if (kind == "goldroom") {
            Options o = options(args, line, {"aircraft", "name"});
            std::string name = o.has("name") ? o.kv.at("name") : who->name;
            return msgGoldRoom(name, static_cast<int>(o.num("aircraft", 1, 0, 255)));
        }
        if (kind == "checksum") {
            if (args.size() != 1 || args[0].find('-') == std::string::npos)
                throw ScenarioError(line, "checksum takes A-B (two bytes, e.g. checksum 12-200)");
            std::string a = args[0].substr(0, args[0].find('-'));
            std::string b = args[0].substr(args[0].find('-') + 1);
            return msgChecksum(static_cast<int>(parseInt(a, line, "checksum byte", 0, 255)),
                               static_cast<int>(parseInt(b, line, "checksum byte", 0, 255)));
        }
        if (kind == "position") {
            Options o = options(args, line, {"lat", "lon", "alt", "deg", "smoke"});
            uint32_t la, lo, al;
            position(o, la, lo, al);
            return msgPosition(la, lo, al, static_cast<int>(o.num("smoke", 0, 0, 255)));
        }
        if (kind == "damage") {
            Options o = options(args, line, {"lat", "lon", "alt", "deg", "smoke", "len"});
            uint32_t la, lo, al;
            position(o, la, lo, al);
            return msgDamage(static_cast<int>(o.num("len", 20, 16, 30)), la, lo, al,
                             static_cast<int>(o.num("smoke", 0, 0, 255)));
        }
        if (kind == "repair") {
            options(args, line, {});
            return msgRepair();
        }
        if (kind == "observe") {
            options(args, line, {});
            return msgObserve();
        }
        if (kind == "noise") {
            Options o = options(args, line, {"len"});
            return msgNoise(static_cast<int>(o.num("len", 10, 4, 255)));
        }
        if (kind == "chat") {
            std::string text;
            for (const std::string& a : args) text += (text.empty() ? "" : " ") + a;
            if (text.size() > 243) throw ScenarioError(line, "chat text longer than 243 bytes");
            return msgChat(text);
        }
        if (kind == "raw") {
            std::vector<uint8_t> bytes;
            for (const std::string& a : args) {
                if (a.size() != 2 || !std::isxdigit(static_cast<unsigned char>(a[0])) ||
                    !std::isxdigit(static_cast<unsigned char>(a[1])))
                    throw ScenarioError(line, "raw takes hex bytes such as 07 00 00 1c, got '" + a + "'");
                bytes.push_back(static_cast<uint8_t>(std::stoi(a, nullptr, 16)));
            }
            return bytes;
        }
        throw ScenarioError(line, "unknown message '" + kind +
                                      "' (goldroom, checksum, position, damage, repair, chat, observe, noise, raw)");
    }

    void timed(const std::vector<std::string>& w, size_t at, int line, Rule r) {
        if (w.size() <= at + 1) throw ScenarioError(line, "expected PLAYER MESSAGE after the time");
        int who = findPlayer(w[at], line);
        int first = who < 0 ? 0 : who;
        int last = who < 0 ? static_cast<int>(s.players.size()) - 1 : who;
        for (int p = first; p <= last; ++p) {
            Rule one = r;
            one.player = p;
            if (who < 0) {
                one.phase = p;
                one.spread = static_cast<int>(s.players.size());
            }
            std::vector<std::string> part;
            auto flush = [&] {
                std::vector<uint8_t> m = message(part, line, &s.players[p]);
                one.messages.insert(one.messages.end(), m.begin(), m.end());
                part.clear();
            };
            for (size_t i = at + 1; i < w.size(); ++i) {
                if (w[i] == "+") {
                    flush();
                } else {
                    part.push_back(w[i]);
                }
            }
            flush();
            if (one.messages.size() + 3 > kMaxPayload)
                throw ScenarioError(line, "datagram longer than " + std::to_string(kMaxPayload) + " bytes");
            s.rules.push_back(std::move(one));
        }
    }

    void line(const std::string& text, int n) {
        std::vector<std::string> w = words(text, n);
        if (w.empty()) return;
        const std::string& k = w[0];
        if (k == "server") {
            if (w.size() != 2) throw ScenarioError(n, "server takes ADDRESS:PORT");
            parseEndpoint(w[1], n, s.serverIp, s.serverPort);
        } else if (k == "start") {
            if (w.size() == 2 && w[1].size() > 1 && w[1][0] == '@') {
                s.startSec = parseInt(w[1].substr(1), n, "start", 0, 4102444800LL);
            } else if (w.size() == 3) {
                std::tm tm{};
                std::istringstream is(w[1] + " " + w[2]);
                is >> std::get_time(&tm, "%Y-%m-%d %H:%M:%S");
                if (is.fail()) throw ScenarioError(n, "start takes YYYY-MM-DD HH:MM:SS (local time) or @EPOCH");
                tm.tm_isdst = -1;
                s.startSec = std::mktime(&tm);
            } else {
                throw ScenarioError(n, "start takes YYYY-MM-DD HH:MM:SS (local time) or @EPOCH");
            }
        } else if (k == "map") {
            if (w.size() != 2) throw ScenarioError(n, "map takes one name");
            std::string up = w[1];
            for (char& c : up) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            map = vkst::findMapRow(up.c_str());
            if (!map) throw ScenarioError(n, "unknown map '" + w[1] + "' (MARNE, FLANDERS, VERDUN, ALSACE, ISLAND)");
        } else if (k == "player") {
            if (w.size() != 3) throw ScenarioError(n, "player takes NAME ADDRESS:PORT");
            if (w[1] == "all") throw ScenarioError(n, "'all' is not a player name");
            Player p;
            p.name = w[1];
            parseEndpoint(w[2], n, p.ip, p.port);
            s.players.push_back(p);
        } else if (k == "players") {
            if (w.size() != 4) throw ScenarioError(n, "players takes COUNT PREFIX ADDRESS:PORT");
            int count = static_cast<int>(parseInt(w[1], n, "player count", 1, 1000));
            Player p;
            parseEndpoint(w[3], n, p.ip, p.port);
            for (int i = 1; i <= count; ++i) {
                char num[16];
                std::snprintf(num, sizeof num, "%02d", i);
                Player q = p;
                q.name = w[2] + num;
                q.ip = p.ip + static_cast<uint32_t>(i - 1);
                s.players.push_back(q);
            }
        } else if (k == "at") {
            if (w.size() < 2) throw ScenarioError(n, "at takes TIME PLAYER MESSAGE");
            Rule r;
            r.line = n;
            r.startUs = parseSeconds(w[1], n);
            r.endUs = r.startUs + 1;
            timed(w, 2, n, std::move(r));
        } else if (k == "from") {
            // from T0 to T1 (N/s | every DT) PLAYER MESSAGE
            if (w.size() < 6 || w[2] != "to")
                throw ScenarioError(n, "from takes T0 to T1 RATE PLAYER MESSAGE (RATE: N/s or every DT)");
            Rule r;
            r.line = n;
            r.startUs = parseSeconds(w[1], n);
            r.endUs = parseSeconds(w[3], n);
            if (r.endUs <= r.startUs) throw ScenarioError(n, "the range ends before it starts");
            size_t at = 5;
            if (w[4] == "every") {
                if (w.size() < 7) throw ScenarioError(n, "every takes an interval in seconds");
                r.intervalUs = parseSeconds(w[5], n);
                at = 6;
            } else if (w[4].size() > 2 && w[4].substr(w[4].size() - 2) == "/s") {
                int64_t rate = parseInt(w[4].substr(0, w[4].size() - 2), n, "rate", 1, 1000000);
                r.intervalUs = -rate;  // negative: a rate per second, spaced exactly
            } else {
                throw ScenarioError(n, "rate must be N/s or every DT, got '" + w[4] + "'");
            }
            if (r.intervalUs == 0) throw ScenarioError(n, "interval must be above 0");
            timed(w, at, n, std::move(r));
        } else {
            throw ScenarioError(n, "unknown line '" + k + "' (server, start, map, player, players, at, from)");
        }
    }
};

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, static_cast<uint16_t>(v >> 16));
    put16(p + 2, static_cast<uint16_t>(v));
}

uint32_t sum16(const uint8_t* p, size_t n, uint32_t acc) {
    for (size_t i = 0; i + 1 < n; i += 2) acc += static_cast<uint32_t>(p[i] << 8 | p[i + 1]);
    if (n & 1) acc += static_cast<uint32_t>(p[n - 1] << 8);
    return acc;
}
uint16_t fold(uint32_t acc) {
    while (acc >> 16) acc = (acc & 0xFFFF) + (acc >> 16);
    return static_cast<uint16_t>(~acc);
}

// Puts grid fields at message bytes base..base+7 as a position message holds them at 6..13.
void putGrid(std::vector<uint8_t>& m, int base, uint32_t lat, uint32_t lon, uint32_t alt) {
    m[base + 0] = static_cast<uint8_t>(lat >> 16);
    m[base + 7] = static_cast<uint8_t>(lat >> 8);
    m[base + 6] = static_cast<uint8_t>(lat);
    m[base + 3] = static_cast<uint8_t>(lon >> 16);
    m[base + 2] = static_cast<uint8_t>(lon >> 8);
    m[base + 1] = static_cast<uint8_t>(lon);
    m[base + 5] = static_cast<uint8_t>(alt >> 8);
    m[base + 4] = static_cast<uint8_t>(alt);
}

std::vector<uint8_t> frame(int len, int code) {
    std::vector<uint8_t> m(static_cast<size_t>(len) + 2, 0);
    m[0] = static_cast<uint8_t>(len);
    m[3] = static_cast<uint8_t>(code);
    return m;
}

}  // namespace

std::string ipText(uint32_t ip) {
    return std::to_string(ip >> 24) + "." + std::to_string(ip >> 16 & 255) + "." +
           std::to_string(ip >> 8 & 255) + "." + std::to_string(ip & 255);
}

std::vector<uint8_t> msgGoldRoom(const std::string& name, int aircraft) {
    std::vector<uint8_t> m = frame(31, 35);
    for (size_t i = 0; i < name.size() && i < 16; ++i) m[7 + i] = static_cast<uint8_t>(name[i]);
    m[24] = static_cast<uint8_t>(aircraft);
    return m;
}

std::vector<uint8_t> msgChecksum(int first, int second) {
    std::vector<uint8_t> m = frame(23, 10);
    m[22] = static_cast<uint8_t>(first);
    m[23] = static_cast<uint8_t>(second);
    return m;
}

std::vector<uint8_t> msgPosition(uint32_t lat, uint32_t lon, uint32_t alt, int smoke) {
    std::vector<uint8_t> m = frame(24, 0);
    putGrid(m, 6, lat, lon, alt);
    m[24] = static_cast<uint8_t>(smoke);
    return m;
}

std::vector<uint8_t> msgDamage(int len, uint32_t lat, uint32_t lon, uint32_t alt, int smoke) {
    // The monitor reads this message's position at message bytes 2len+10 .. 2len+17 and its
    // smoke byte at 2len+28, past the message's own len+2 bytes. The filler that follows is an
    // ordinary message of no known kind that spans exactly those bytes.
    std::vector<uint8_t> m = frame(len, 21);
    int fillLen = len + 25;
    std::vector<uint8_t> fill = frame(fillLen, 99);
    int base = len + 2;  // the filler's byte 0 is damage byte len+2
    putGrid(fill, 2 * len + 10 - base, lat, lon, alt);
    fill[2 * len + 28 - base] = static_cast<uint8_t>(smoke);
    m.insert(m.end(), fill.begin(), fill.end());
    return m;
}

std::vector<uint8_t> msgRepair() {
    std::vector<uint8_t> m = frame(11, 21);
    m[12] = 128;
    return m;
}

std::vector<uint8_t> msgChat(const std::string& text) {
    std::vector<uint8_t> m = frame(12 + static_cast<int>(text.size()), 18);
    m[7] = 64;
    for (size_t i = 0; i < text.size(); ++i) m[13 + i] = static_cast<uint8_t>(text[i]);
    return m;
}

std::vector<uint8_t> msgObserve() { return frame(7, 28); }

std::vector<uint8_t> msgNoise(int len) { return frame(len, 5); }

Scenario parseScenario(std::istream& in) {
    Parser p;
    std::string text;
    int n = 0;
    while (std::getline(in, text)) {
        ++n;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        p.line(text, n);
    }
    return std::move(p.s);
}

Scenario parseScenarioText(const std::string& text) {
    std::istringstream is(text);
    return parseScenario(is);
}

struct DatagramStream::Impl {
    const Scenario& s;
    struct Stream {
        int64_t next;
        int rule;
        int player;
        int64_t k;
        bool operator>(const Stream& o) const {
            if (next != o.next) return next > o.next;
            if (rule != o.rule) return rule > o.rule;
            return player > o.player;
        }
    };
    std::priority_queue<Stream, std::vector<Stream>, std::greater<Stream>> heap;
    std::vector<uint16_t> seq;
    std::vector<uint8_t> payload;

    explicit Impl(const Scenario& sc) : s(sc), seq(sc.players.size(), 0) {
        payload.reserve(kMaxPayload);
        for (int r = 0; r < static_cast<int>(s.rules.size()); ++r) {
            const Rule& rule = s.rules[r];
            Stream st{timeOf(rule, 0), r, rule.player, 0};
            if (st.next < rule.endUs) heap.push(st);
        }
    }

    // The k-th send of a rule by a player. A rule for every player spreads the players evenly
    // over one interval, as real games do not send in lockstep.
    static int64_t timeOf(const Rule& r, int64_t k) {
        if (r.intervalUs == 0) return r.startUs;
        int64_t phase = r.phase;
        int64_t spread = r.spread;
        if (r.intervalUs < 0) {
            int64_t rate = -r.intervalUs;
            return r.startUs + (k * spread + phase) * 1000000 / (rate * spread);
        }
        return r.startUs + k * r.intervalUs + phase * r.intervalUs / spread;
    }
};

DatagramStream::DatagramStream(const Scenario& s) : impl_(std::make_unique<Impl>(s)) {}
DatagramStream::~DatagramStream() = default;

bool DatagramStream::next(Datagram& out) {
    Impl& d = *impl_;
    if (d.heap.empty()) return false;
    Impl::Stream st = d.heap.top();
    d.heap.pop();
    const Rule& rule = d.s.rules[st.rule];
    uint16_t q = d.seq[st.player]++;
    d.payload.assign({static_cast<uint8_t>(q), static_cast<uint8_t>(q >> 8), 0});
    d.payload.insert(d.payload.end(), rule.messages.begin(), rule.messages.end());
    out.timeUs = st.next;
    out.player = st.player;
    out.payload = d.payload.data();
    out.size = d.payload.size();
    if (rule.intervalUs != 0) {
        Impl::Stream again{Impl::timeOf(rule, st.k + 1), st.rule, st.player, st.k + 1};
        if (again.next < rule.endUs) d.heap.push(again);
    }
    return true;
}

size_t buildFrame(const Scenario& s, const Player& p, const uint8_t* payload, size_t size,
                  uint8_t* f, size_t cap) {
    size_t total = 14 + 20 + 8 + size;
    if (total > cap) return 0;
    // Ethernet: locally administered addresses, server first.
    const uint8_t dst[6] = {0x02, 0, 0, 0, 0, 0x01};
    uint8_t src[6] = {0x02, 0, 0, 0, 0, 0x02};
    put32(src + 2, p.ip);
    std::memcpy(f, dst, 6);
    std::memcpy(f + 6, src, 6);
    put16(f + 12, 0x0800);
    uint8_t* ip = f + 14;
    ip[0] = 0x45;
    ip[1] = 0;
    put16(ip + 2, static_cast<uint16_t>(20 + 8 + size));
    put16(ip + 4, 0);
    put16(ip + 6, 0x4000);
    ip[8] = 64;
    ip[9] = 17;
    put16(ip + 10, 0);
    put32(ip + 12, p.ip);
    put32(ip + 16, s.serverIp);
    put16(ip + 10, fold(sum16(ip, 20, 0)));
    uint8_t* udp = ip + 20;
    put16(udp, p.port);
    put16(udp + 2, s.serverPort);
    put16(udp + 4, static_cast<uint16_t>(8 + size));
    put16(udp + 6, 0);
    std::memcpy(udp + 8, payload, size);
    uint32_t acc = sum16(ip + 12, 8, 0) + 17 + static_cast<uint32_t>(8 + size);
    uint16_t c = fold(sum16(udp, 8 + size, acc));
    put16(udp + 6, c == 0 ? 0xFFFF : c);
    return total;
}

uint64_t writeCapture(const Scenario& s, const std::string& path) {
    pcap_t* dead = pcap_open_dead(DLT_EN10MB, 65535);
    if (!dead) throw std::runtime_error("pcap_open_dead failed");
    pcap_dumper_t* dump = pcap_dump_open(dead, path.c_str());
    if (!dump) {
        std::string err = pcap_geterr(dead);
        pcap_close(dead);
        throw std::runtime_error("cannot write " + path + ": " + err);
    }
    DatagramStream stream(s);
    DatagramStream::Datagram d;
    uint8_t buf[14 + 20 + 8 + kMaxPayload];
    uint64_t count = 0;
    while (stream.next(d)) {
        size_t n = buildFrame(s, s.players[d.player], d.payload, d.size, buf, sizeof buf);
        pcap_pkthdr h{};
        int64_t us = s.startSec * 1000000 + d.timeUs;
        h.ts.tv_sec = static_cast<time_t>(us / 1000000);
        h.ts.tv_usec = static_cast<suseconds_t>(us % 1000000);
        h.caplen = h.len = static_cast<bpf_u_int32>(n);
        pcap_dump(reinterpret_cast<u_char*>(dump), &h, buf);
        ++count;
    }
    bool bad = pcap_dump_flush(dump) != 0 || std::ferror(pcap_dump_file(dump));
    pcap_dump_close(dump);
    pcap_close(dead);
    if (bad) throw std::runtime_error("write error on " + path);
    return count;
}

}  // namespace vkgen
