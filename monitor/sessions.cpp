// The session table, the block timeline with its route commands and journal, and the event lines
// these write.
#include <cstdio>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <unistd.h>

#include "monitor/monitor.h"
#include "platform/routes.h"

namespace vkst {

namespace {

void copyText(char* dst, size_t size, const char* src) {
    std::snprintf(dst, size, "%s", src ? src : "");
}

const char* kJournal = "VKST.routes";

// The journal lists the routes in place, one "address port [gateway]" a line, so that a run that
// ends without its shutdown leaves a record the next run can clean up. An address is listed
// before its route tool starts and stays listed until the tool that deletes it has finished:
// the tool outlives a killed monitor, and a route the journal does not list stays for good.
void writeJournal(Monitor& m) {
    std::string path = pathIn(m, kJournal);
    std::string tmp = path + ".new";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return;
    const std::string& gw = m.settings.DerouteIP;
    for (int i = 0; i < kSlots; ++i) {
        if (!m.routeInPlace[i]) continue;
        if (gw.empty())
            std::fprintf(f, "%s %d\n", m.sessions[i].ipText, m.sessions[i].port);
        else
            std::fprintf(f, "%s %d %s\n", m.sessions[i].ipText, m.sessions[i].port, gw.c_str());
    }
    bool ok = std::fflush(f) == 0;
    ok = fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (ok) std::rename(tmp.c_str(), path.c_str());
}

vk::IpRouteRunner& defaultRoutes() {
    static vk::IpRouteRunner r;
    return r;
}

vk::RouteRunner& routes(Monitor& m) { return m.io.routes ? *m.io.routes : defaultRoutes(); }

// The text shown is the Windows command; on Linux the same route is set with `ip route`.
void routeAdd(Monitor& m, int slot) {
    const Session& s = m.sessions[slot];
    const char* gw = m.settings.DerouteIP.c_str();
    if (m.replay) {
        say(m, "(replay) route add %s mask 255.255.255.255 %s\n", s.ipText, gw);
        return;
    }
    say(m, "route add %s mask 255.255.255.255 %s\n", s.ipText, gw);
    m.routeInPlace[slot] = true;
    writeJournal(m);
    if (!routes(m).add(s.ipText, m.settings.DerouteIP)) {
        // The block runs its course on the console and in the log, but the operator must know
        // that this player was not thrown out.
        say(m, "route add failed: %s is not blocked\n", s.ipText);
        m.routeInPlace[slot] = false;
        writeJournal(m);
    }
}

void routeDelete(Monitor& m, int slot) {
    const Session& s = m.sessions[slot];
    const char* gw = m.settings.DerouteIP.c_str();
    if (m.replay) {
        say(m, "(replay) route delete %s mask 255.255.255.255 %s\n", s.ipText, gw);
        return;
    }
    say(m, "route delete %s mask 255.255.255.255 %s\n", s.ipText, gw);
    const bool deleted = routes(m).del(s.ipText);
    // Only a route this run added can fail to go: a block that never got its route has none.
    if (m.routeInPlace[slot] && !deleted) say(m, "route delete failed: %s may still be blocked\n", s.ipText);
    if (m.routeInPlace[slot]) {
        m.routeInPlace[slot] = false;
        writeJournal(m);
    }
}

}  // namespace

namespace {

// Exact text comparison, with cheap tests first: many players share a port and an address prefix.
struct AddressKey {
    AddressKey(Monitor& m, const char* text, int port) : ip(text) {
        // The packet's own source was measured when the packet was parsed.
        const uint32_t n = m.pkt.srcLen;
        if (text == m.pkt.srcIp && port == m.pkt.srcPort && n > 0 && n < sizeof m.pkt.srcIp &&
            text[n] == '\0' && text[n - 1] != '\0') {
            len = m.pkt.srcLen;
            hash = m.pkt.srcHash;
            return;
        }
        uint32_t h = 2166136261u;
        for (; text[len]; ++len) h = (h ^ static_cast<uint8_t>(text[len])) * 16777619u;
        h = (h ^ static_cast<uint32_t>(port)) * 16777619u;
        hash = (h ^ (h >> 16)) & 0xFF;
    }
    bool matches(const Session& s, int port) const {
        if (s.port != port || len >= sizeof s.ipText) return false;
        if (s.ipText[len] != '\0' || (len && s.ipText[len - 1] != ip[len - 1])) return false;
        return sameBytes(s.ipText, ip, len);
    }
    // Two overlapping word loads cover 4 to 16 bytes without leaving [0, n).
    [[gnu::always_inline]] static bool sameBytes(const char* a, const char* b, size_t n) {
        if (n >= 8) return load<uint64_t>(a) == load<uint64_t>(b) && load<uint64_t>(a + n - 8) == load<uint64_t>(b + n - 8);
        if (n >= 4) return load<uint32_t>(a) == load<uint32_t>(b) && load<uint32_t>(a + n - 4) == load<uint32_t>(b + n - 4);
        return std::memcmp(a, b, n) == 0;
    }
    template <class T>
    static T load(const char* p) {
        T v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    const char* ip;
    size_t len = 0;
    uint32_t hash = 0;
};

// Lookups run several times per packet. A session is unique per address and port (a new one is
// made only when none exists), so the slot last found for a key, checked again, is the answer;
// otherwise the table is scanned from slot 0.
[[gnu::noinline]] int lookupScan(Monitor& m, const char* ip, int port) {
    const AddressKey key(m, ip, port);
    int8_t& hint = m.slotCache[key.hash];
    if (hint >= 0 && m.sessions[hint].inUse && key.matches(m.sessions[hint], port)) return hint;
    for (int i = 0; i < kSlots; ++i) {
        const Session& s = m.sessions[i];
        if (s.inUse && key.matches(s, port)) {
            hint = static_cast<int8_t>(i);
            return i;
        }
    }
    return -1;
}

// The packet's own source, found again at its hint, is the common case: it is tested here
// without a call (-1: not this case, which says nothing about the table).
[[gnu::always_inline]] inline int hintedSource(Monitor& m, const char* ip, int port) {
    const uint32_t n = m.pkt.srcLen;
    if (ip == m.pkt.srcIp && port == m.pkt.srcPort && n - 4 < sizeof m.pkt.srcIp - 4 && ip[n] == '\0') {
        const int hint = m.slotCache[m.pkt.srcHash];
        if (hint >= 0) {
            const Session& s = m.sessions[hint];
            if (s.inUse && s.port == port && s.ipText[n] == '\0' && AddressKey::sameBytes(s.ipText, ip, n))
                return hint;
        }
    }
    return -1;
}

[[gnu::always_inline]] inline int lookup(Monitor& m, const char* ip, int port) {
    const int hint = hintedSource(m, ip, port);
    return hint >= 0 ? hint : lookupScan(m, ip, port);
}

[[gnu::noinline]] void countPacketScan(Monitor& m, const char* ip, int port) {
    const int i = lookupScan(m, ip, port);
    if (i >= 0) ++m.sessions[i].packetCount;
}

}  // namespace

int findSession(Monitor& m, const char* ip, int port) { return lookup(m, ip, port); }

namespace {

// A player refused a session because all slots are taken: counted once per address and port
// (as far as the fixed set of keys reaches), and told on the console at most once a minute.
[[gnu::noinline]] void turnAway(Monitor& m, const char* ip, int port, const char* name) {
    RunStats& st = m.stats;
    uint32_t h = 2166136261u;
    for (const char* c = ip; *c; ++c) h = (h ^ static_cast<uint8_t>(*c)) * 16777619u;
    h = (h ^ static_cast<uint32_t>(port)) * 16777619u;
    if (h == 0) h = 1;
    bool counted = false;
    for (size_t k = 0; k < st.turnedAwayKeys.size(); ++k) {
        uint32_t& key = st.turnedAwayKeys[(h + k) % st.turnedAwayKeys.size()];
        if (key == h) {
            counted = true;
            break;
        }
        if (key == 0) {
            key = h;
            break;
        }
    }
    if (!counted) ++st.turnedAway;
    const int64_t now = monitorNow(m);
    if (now - st.lastFullNotice < 60) return;
    st.lastFullNotice = now;
    say(m, "Session table full (%d players): %s (%s:%d) is not followed or blocked; %llu turned away so far\n",
        kSlots, name, ip, port, static_cast<unsigned long long>(st.turnedAway));
}

}  // namespace

void touchSession(Monitor& m, const char* ip, int port, const char* name, const char* wireName) {
    int i = findSession(m, ip, port);
    if (i >= 0) {
        Session& s = m.sessions[i];
        s.inGameTicks = 0;
        s.lagHold = 0;
        s.damageCount = 0;
        s.speedStrikes = 0;
        return;
    }
    for (i = 0; i < kSlots && m.sessions[i].inUse; ++i) {
    }
    if (i == kSlots) {  // table full: this player is not followed
        turnAway(m, ip, port, name);
        return;
    }
    Session& s = m.sessions[i];
    s.inUse = 1;
    s.blockTimer = 0;
    s.blockCountdown = 0;
    s.inGameTicks = 0;
    s.packetCount = 0;
    s.idleTicks = 0;
    s.lagHold = 0;
    s.damageCount = 0;
    s.speedStrikes = 0;
    s.repairCount = 0;
    copyText(s.ipText, sizeof s.ipText, ip);
    copyText(s.name, sizeof s.name, name);
    copyText(s.wireName, sizeof s.wireName, wireName ? wireName : name);
    s.port = port;
    say(m, "Creating player session %d, %s (%s:%d)\n", i, s.name, s.ipText, s.port);
    eventLine(m, m.pkt.eventTime, s.ipText, s.port, " %s, NEW SESSION, NEW SESSION, %d, \n", s.name, i);
    jsonSessionEvent(m, m.pkt.eventSecond, i, "NEW SESSION", "%d", i);
}

void countPacket(Monitor& m, const char* ip, int port) {
    const int i = hintedSource(m, ip, port);
    if (i >= 0)
        ++m.sessions[i].packetCount;
    else
        countPacketScan(m, ip, port);
}

void markJoined(Monitor& m, const char* ip, int port, uint32_t timeMs) {
    int i = findSession(m, ip, port);
    if (i < 0) return;
    Session& s = m.sessions[i];
    say(m, "%s (%s) joined game\n", s.name, s.ipText);
    s.inGameTicks = 1;
    s.joinTimeMs = timeMs;
}

int takeInGameSession(Monitor& m, const char* ip, int port) {
    int i = lookup(m, ip, port);
    if (i < 0) return -1;
    Session& s = m.sessions[i];
    if (s.inGameTicks < 1 || s.positionTaken != 0) return -1;
    s.positionTaken = 1;
    return i;
}

void clearPositionTaken(Monitor& m) {
    for (Session& s : m.sessions)
        if (s.inUse) s.positionTaken = 0;
}

bool ignoredAddress(const Monitor& m, const char* ip, const char** entry) {
    in_addr a{};
    if (inet_pton(AF_INET, ip, &a) != 1) return false;
    for (const Settings::IgnoreNet& n : m.settings.ignore) {
        if ((a.s_addr & n.mask) == n.net) {
            if (entry) *entry = n.text.c_str();
            return true;
        }
    }
    return false;
}

namespace {

// A block requested for an address of the IgnoreIP list: no route and no BLOCK line, but the
// operator (and the JSON log) learn that the block was skipped, and why.
[[gnu::noinline]] void skipBlock(Monitor& m, int slot, const char* reason, const char* entry) {
    const Session& s = m.sessions[slot];
    say(m, "Block of %s (%s) for %s skipped: IgnoreIP %s\n", s.name, s.ipText, reason, entry);
    jsonSessionEvent(m, monitorNow(m), slot, "BLOCK SKIPPED", "%s; IgnoreIP %s", reason, entry);
}

}  // namespace

void scheduleBlock(Monitor& m, const char* ip, int port, BlockMode mode, int seconds,
                   const char* reason) {
    int i = lookup(m, ip, port);
    if (i < 0 || m.sessions[i].blockCountdown != 0) return;
    Session& s = m.sessions[i];
    if (mode == BlockMode::InGame && s.inGameTicks < 6) return;
    if (!m.settings.ignore.empty()) {
        const char* entry = nullptr;
        if (ignoredAddress(m, s.ipText, &entry)) {
            skipBlock(m, i, reason, entry);
            return;
        }
    }
    if (mode == BlockMode::InGame) {
        s.blockCountdown = seconds;
        copyText(s.blockReason, sizeof s.blockReason, reason);
        say(m, "Will block %s (%s) in %d seconds\n", s.name, s.ipText, seconds);
        return;
    }
    copyText(s.blockReason, sizeof s.blockReason, reason);
    s.blockCountdown = seconds;
}

void blockTick(Monitor& m) {
    const int64_t deleteAfter = static_cast<int64_t>(m.settings.NETblockTime) + 2;
    for (int i = 0; i < kSlots; ++i) {
        Session& s = m.sessions[i];
        if (s.blockCountdown == 1) {
            if (s.blockTimer == 2) {
                routeAdd(m, i);
                say(m, "BLOCKING %s (%s)\n", s.name, s.ipText);
                s.blockTimer = 3;
                s.inGameTicks = 0;
                char t[9];
                freshTime(m, t);
                eventLine(m, t, s.ipText, s.port, " %s, BLOCK, BLOCK, %s, \n", s.name, s.blockReason);
                jsonSessionEvent(m, monitorNow(m), i, "BLOCK", "%s", s.blockReason);
            } else if (s.blockTimer > deleteAfter) {
                routeDelete(m, i);
                char t[9];
                freshTime(m, t);
                eventLine(m, t, s.ipText, s.port, " %s, UNBLOCK, UNBLOCK, %s, \n", s.name,
                          s.blockReason);
                jsonSessionEvent(m, monitorNow(m), i, "UNBLOCK", "%s", s.blockReason);
                s.blockCountdown = 0;
                say(m, "UNBLOCKING %s (%s)\n", s.name, s.ipText);
                say(m, "Closing player session %d, %s (%s:%d)\n", i, s.name, s.ipText, s.port);
                eventLine(m, t, s.ipText, s.port, " %s, CLOSE SESSION, CLOSE SESSION, %d, \n", s.name, i);
                jsonSessionEvent(m, monitorNow(m), i, "CLOSE SESSION", "%d", i);
                s.inUse = 0;
                s.inGameTicks = 0;
            } else {
                ++s.blockTimer;
            }
        } else if (s.blockCountdown > 1) {
            if (s.inGameTicks == 0)
                s.blockCountdown = 0;
            else
                --s.blockCountdown;
        }
    }
}

void unblockAll(Monitor& m) {
    for (int i = 0; i < kSlots; ++i) {
        Session& s = m.sessions[i];
        if (s.blockCountdown == 0) continue;
        routeDelete(m, i);
        char t[9];
        freshTime(m, t);
        eventLine(m, t, s.ipText, s.port, " %s, UNBLOCK, UNBLOCK, UNBLOCK, \n", s.name);
        jsonSessionEvent(m, monitorNow(m), i, "UNBLOCK", "UNBLOCK");
        s.blockCountdown = 0;
        say(m, "UNBLOCKING %s (%s)\n", s.name, s.ipText);
    }
}

void clearSession(Monitor& m, int slot) {
    if (slot < 0 || slot >= kSlots) return;
    Session& s = m.sessions[slot];
    s.blockTimer = 0;
    s.inUse = 0;
    s.inGameTicks = 0;
    s.ipText[0] = '\0';
}

void recoverJournal(Monitor& m) {
    std::string path = pathIn(m, kJournal);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    char line[kLineSize];
    bool any = false;
    while (std::fgets(line, sizeof line, f)) {
        char ip[32] = {};
        char gw[32] = {};
        int port = 0;
        if (std::sscanf(line, "%31s %d %31s", ip, &port, gw) < 1) continue;
        if (!vk::isDottedIPv4(ip)) continue;  // never hand anything else to a route command
        if (!vk::isDottedIPv4(gw)) gw[0] = '\0';
        if (!any) say(m, "\nRoutes left in place by an earlier run:\n");
        any = true;
        say(m, "route delete %s mask 255.255.255.255 %s\n", ip, gw);
        routes(m).del(ip);
        say(m, "UNBLOCKING %s (left by an earlier run)\n", ip);
        m.recovered.push_back({ip, port, monitorNow(m)});
    }
    std::fclose(f);
    std::remove(path.c_str());
    if (any) say(m, "\n");
    if (m.log) logRecovered(m);
}

void logRecovered(Monitor& m) {
    for (const Monitor::Recovered& r : m.recovered) {
        char t[9];
        timeText(r.second, t);
        eventLine(m, t, r.ip.c_str(), r.port, " event_msg, UNBLOCK, UNBLOCK, EARLIER RUN, \n");
        jsonEvent(m, r.second, "UNBLOCK", "EARLIER RUN", r.ip.c_str(), r.port, std::string_view(), -1);
    }
    m.recovered.clear();
}

}  // namespace vkst
