// The session table, the block timeline with its route commands and journal, and the event lines
// these write.
#include <cstdio>
#include <cstring>
#include <string>

#include "monitor/monitor.h"
#include "platform/routes.h"

namespace vkst {

namespace {

void copyText(char* dst, size_t size, const char* src) {
    std::snprintf(dst, size, "%s", src ? src : "");
}

const char* kJournal = "VKST.routes";

// The journal lists the routes in place, one "address port" a line, so that a run that ends
// without its shutdown leaves a record the next run can clean up.
void writeJournal(Monitor& m) {
    std::string path = pathIn(m, kJournal);
    std::string tmp = path + ".new";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return;
    for (int i = 0; i < kSlots; ++i)
        if (m.routeInPlace[i]) std::fprintf(f, "%s %d\n", m.sessions[i].ipText, m.sessions[i].port);
    bool ok = std::fflush(f) == 0;
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
    routes(m).add(s.ipText, m.settings.DerouteIP);
    m.routeInPlace[slot] = true;
    writeJournal(m);
}

void routeDelete(Monitor& m, int slot) {
    const Session& s = m.sessions[slot];
    const char* gw = m.settings.DerouteIP.c_str();
    if (m.replay) {
        say(m, "(replay) route delete %s mask 255.255.255.255 %s\n", s.ipText, gw);
        return;
    }
    say(m, "route delete %s mask 255.255.255.255 %s\n", s.ipText, gw);
    routes(m).del(s.ipText);
    if (m.routeInPlace[slot]) {
        m.routeInPlace[slot] = false;
        writeJournal(m);
    }
}

}  // namespace

int findSession(Monitor& m, const char* ip, int port) {
    for (int i = 0; i < kSlots; ++i) {
        const Session& s = m.sessions[i];
        if (s.inUse && s.port == port && std::strcmp(s.ipText, ip) == 0) return i;
    }
    return -1;
}

void touchSession(Monitor& m, const char* ip, int port, const char* name) {
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
    if (i == kSlots) return;  // table full: this player is not followed
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
    s.port = port;
    say(m, "Creating player session %d, %s (%s:%d)\n", i, s.name, s.ipText, s.port);
    eventLine(m, m.pkt.eventTime, s.ipText, s.port, " %s, NEW SESSION, NEW SESSION, %d, \n", s.name, i);
}

void countPacket(Monitor& m, const char* ip, int port) {
    int i = findSession(m, ip, port);
    if (i >= 0) ++m.sessions[i].packetCount;
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
    for (int i = 0; i < kSlots; ++i) {
        Session& s = m.sessions[i];
        if (s.inUse && s.port == port && std::strcmp(s.ipText, ip) == 0 && s.inGameTicks >= 1 &&
            s.positionTaken == 0) {
            s.positionTaken = 1;
            return i;
        }
    }
    return -1;
}

void clearPositionTaken(Monitor& m) {
    for (Session& s : m.sessions)
        if (s.inUse) s.positionTaken = 0;
}

void scheduleBlock(Monitor& m, const char* ip, int port, BlockMode mode, int seconds,
                   const char* reason) {
    int i = 0;
    for (; i < kSlots; ++i) {
        const Session& s = m.sessions[i];
        if (s.inUse && s.port == port && std::strcmp(s.ipText, ip) == 0 && s.blockCountdown == 0)
            break;
    }
    if (i == kSlots) return;
    Session& s = m.sessions[i];
    if (mode == BlockMode::InGame) {
        if (s.inGameTicks < 6) return;
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
            } else if (s.blockTimer > deleteAfter) {
                routeDelete(m, i);
                char t[9];
                freshTime(m, t);
                eventLine(m, t, s.ipText, s.port, " %s, UNBLOCK, UNBLOCK, %s, \n", s.name,
                          s.blockReason);
                s.blockCountdown = 0;
                say(m, "UNBLOCKING %s (%s)\n", s.name, s.ipText);
                say(m, "Closing player session %d, %s (%s:%d)\n", i, s.name, s.ipText, s.port);
                eventLine(m, t, s.ipText, s.port, " %s, CLOSE SESSION, CLOSE SESSION, %d, \n", s.name, i);
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
        int port = 0;
        if (std::sscanf(line, "%31s %d", ip, &port) < 1) continue;
        if (!vk::isDottedIPv4(ip)) continue;  // never hand anything else to a route command
        if (!any) say(m, "\nRoutes left in place by an earlier run:\n");
        any = true;
        say(m, "route delete %s mask 255.255.255.255 %s\n", ip, m.settings.DerouteIP.c_str());
        routes(m).del(ip);
        say(m, "UNBLOCKING %s (left by an earlier run)\n", ip);
        char t[9];
        freshTime(m, t);
        eventLine(m, t, ip, port, " event_msg, UNBLOCK, UNBLOCK, EARLIER RUN, \n");
    }
    std::fclose(f);
    std::remove(path.c_str());
    if (any) say(m, "\n");
}

}  // namespace vkst
