#include "monitor/decode.h"

#include <cstdio>
#include <cstring>

#include "monitor/landmarks.h"
#include "monitor/monitor.h"

namespace vkst {
namespace {

constexpr int kLagBelow = 8;         // packets per tick
constexpr int kHighAbove = 17;       // packets per tick
constexpr int kLagHold = 5;          // ticks
constexpr int kFreezeTicks = 5;      // silent ticks
constexpr int kCloseAfter = 35;      // silent ticks
constexpr int kInGame = 6;           // in-game ticks
constexpr int kInGameMax = 101;
constexpr int kRepairDelay = 16;     // seconds
constexpr int kWallRide = 6;         // repairs in one tick
constexpr int kFlamer = 5;           // damage count

// Text from a player goes to the console and into CSV lines: a control byte there could forge
// log lines or drive the operator's terminal, so it is shown as '?'.
inline char shown(uint8_t c) { return c < 32 || c == 127 ? '?' : static_cast<char>(c); }

bool blockOn(int32_t setting) { return setting != 0; }

[[gnu::noinline]] void observe(Monitor& m) {
    const PacketContext& p = m.pkt;
    eventPrefix(m, p.eventTime, p.srcIp, p.srcPort);
    say(m, "OBSERVE MSG from %s\n", p.srcIp);
    logf(m, " event_msg, OBSERVE, OBSERVE, OBSERVE, \n");
    jsonMessageEvent(m, "OBSERVE", "OBSERVE");
    if (blockOn(m.settings.NETonObserve)) scheduleBlock(m, p.srcIp, p.srcPort, BlockMode::Immediate, 1, "OBSERVE");
}

[[gnu::noinline]] void goldRoom(Monitor& m, const uint8_t* b) {
    const PacketContext& p = m.pkt;
    char name[17] = {};
    char wire[17] = {};
    for (int i = 0; i < 16 && b[7 + i] != 0; ++i) {
        name[i] = shown(b[7 + i]);
        wire[i] = static_cast<char>(b[7 + i]);
    }
    int aircraft = b[24];
    touchSession(m, p.srcIp, p.srcPort, name, wire);
    eventPrefix(m, p.eventTime, p.srcIp, p.srcPort);
    say(m, "%s sent a Gold Room MSG (aircraft # = %d)\n", name, aircraft);
    logf(m, " %s, GR-EVENT, GR-EVENT, %d, \n", name, aircraft);
    if (m.json) {
        char detail[8];
        std::snprintf(detail, sizeof detail, "%d", aircraft);
        jsonEvent(m, p.eventSecond, "GR-EVENT", detail, p.srcIp, p.srcPort, wire,
                  findSession(m, p.srcIp, p.srcPort));
    }
}

[[gnu::noinline]] void checksum(Monitor& m, const uint8_t* b) {
    const PacketContext& p = m.pkt;
    int first = b[22], second = b[23];
    touchSession(m, p.srcIp, p.srcPort, "unknown CS");
    markJoined(m, p.srcIp, p.srcPort, m.decode.messageClock);
    say(m, "Logged checksum MSG from %s\n", p.srcIp);
    eventLine(m, p.eventTime, p.srcIp, p.srcPort, " event_msg, CHECKSUM, CHECKSUM, %d-%d, \n", first, second);
    char pair[12];
    if (m.json) {
        std::snprintf(pair, sizeof pair, "%d-%d", first, second);
        jsonMessageEvent(m, "CHECKSUM", pair);
    }
    if (first == m.settings.checksumFirst && second == m.settings.checksumSecond) return;
    eventPrefix(m, p.eventTime, p.srcIp, p.srcPort);
    say(m, "INCORRECT PLAYER CHECKSUM MSG from %s\n", p.srcIp);
    logf(m, " event_msg, BAD CHECK, BAD CHECK, %d-%d, \n", first, second);
    if (m.json) jsonMessageEvent(m, "BAD CHECK", pair);
    if (blockOn(m.settings.NETonChecksum))
        scheduleBlock(m, p.srcIp, p.srcPort, BlockMode::Immediate, 1, "BAD CHECK");
}

[[gnu::noinline]] void repair(Monitor& m) {
    const PacketContext& p = m.pkt;
    int slot = findSession(m, p.srcIp, p.srcPort);
    if (slot < 0) return;
    Session& s = m.sessions[slot];
    if (s.inGameTicks < kInGame || s.blockCountdown != 0) return;
    const LandmarkState& l = m.landmarks;
    double lat = s.latGrid * l.latScale + l.latOffset;
    double lon = s.lonGrid * l.lonScale + l.lonOffset;
    say(m, "REPAIR MSG from %s (%s)\n", s.name, p.srcIp);
    eventLine(m, p.eventTime, p.srcIp, p.srcPort, " %s, REPAIR, REPAIR, %2.2f - %2.2f - %lu, \n", s.name, lat, lon,
              static_cast<unsigned long>(s.altitude));
    jsonSessionEvent(m, p.eventSecond, slot, "REPAIR", "%2.2f - %2.2f - %lu", lat, lon,
                     static_cast<unsigned long>(s.altitude));
    if (blockOn(m.settings.NETonRepair))
        scheduleBlock(m, p.srcIp, p.srcPort, BlockMode::InGame, kRepairDelay, "REPAIR");
    // Signed 32-bit difference of the wrapping clock; the limit is widened so that a huge
    // EnterRepairTime cannot overflow.
    int32_t sinceJoin = static_cast<int32_t>(m.decode.messageClock - s.joinTimeMs);
    if (static_cast<int64_t>(sinceJoin) < static_cast<int64_t>(m.settings.EnterRepairTime) * 1000) {
        say(m, "REPAIR too soon after enter, from %s \n", s.name);
        eventLine(m, p.eventTime, p.srcIp, p.srcPort, " %s, ENTER REPAIR, ENTER REPAIR, ENTER REPAIR,\n", s.name);
        jsonSessionEvent(m, p.eventSecond, slot, "ENTER REPAIR", "ENTER REPAIR");
        if (blockOn(m.settings.NETonEnterRepair))
            scheduleBlock(m, p.srcIp, p.srcPort, BlockMode::InGame, 1, "ENTER REPAIR");
    }
    if (++s.repairCount >= kWallRide) {
        say(m, "WALL RIDE from %s \n", s.name);
        eventLine(m, p.eventTime, p.srcIp, p.srcPort, " %s, WALL RIDE, WALL RIDE, WALL RIDE,\n", s.name);
        jsonSessionEvent(m, p.eventSecond, slot, "WALL RIDE", "WALL RIDE");
        if (blockOn(m.settings.NETonWallRide))
            scheduleBlock(m, p.srcIp, p.srcPort, BlockMode::InGame, 1, "WALL RIDE");
    }
}

[[gnu::noinline]] void chat(Monitor& m, const uint8_t* b, int len) {
    const PacketContext& p = m.pkt;
    char* text = m.decode.chat;
    std::memset(text, 0, sizeof m.decode.chat);
    // The text is b13..b(len); a longer one is cut to the buffer, keeping its terminator.
    int n = len > 12 ? len - 12 : 0;
    if (n > static_cast<int>(sizeof m.decode.chat) - 1) n = sizeof m.decode.chat - 1;
    for (int i = 0; i < n; ++i) {
        uint8_t c = b[13 + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
        text[i] = c == 0 ? '\0' : shown(c);
    }
    bool bad = false;
    for (const std::string& phrase : m.settings.phrases) {
        if (phrase == "-") continue;
        if (std::strstr(text, phrase.c_str())) {  // an empty phrase matches every text
            bad = true;
            break;
        }
    }
    if (!bad) return;
    say(m, "BAD CHAT from %s,  %s \n", p.srcIp, text);
    eventLine(m, p.eventTime, p.srcIp, p.srcPort, " event_msg, BAD_CHAT, BAD_CHAT, %s,\n", text);
    if (m.json) {
        // The text as it was sent: case and every byte kept, up to its end or terminator.
        int raw = 0;
        while (raw < n && b[13 + raw] != 0) ++raw;
        jsonMessageEvent(m, "BAD_CHAT", std::string_view(reinterpret_cast<const char*>(b + 13), raw));
    }
    if (blockOn(m.settings.NETonBadChat)) scheduleBlock(m, p.srcIp, p.srcPort, BlockMode::Immediate, 1, "BAD CHAT");
}

void speedCheck(Monitor& m) {
    char now[9];
    for (Session& s : m.sessions) {
        if (!s.inUse || s.inGameTicks < kInGame) continue;
        if (s.lagHold > 0) --s.lagHold;
        if (s.packetCount < kLagBelow) {
            if (s.lagHold == 0) {
                say(m, "%s lagging (msg cnt = %d, IP: %s)\n", s.name, s.packetCount, s.ipText);
                say(m, "Ignoring %s numMsgs for %d seconds\n", s.name, kLagHold);
                freshTime(m, now);
                eventLine(m, now, s.ipText, s.port, " %s, LAG, LAG, %d, \n", s.name, s.packetCount);
                jsonSessionEvent(m, monitorNow(m), static_cast<int>(&s - m.sessions.data()), "LAG", "%d", s.packetCount);
            }
            s.lagHold = kLagHold;
        }
        if (s.packetCount > kHighAbove && s.lagHold == 0) {
            if (s.speedStrikes >= 1) {
                say(m, "SPEEDING by %s (msg cnt = %d, IP: %s)\n", s.name, s.packetCount, s.ipText);
                freshTime(m, now);
                eventLine(m, now, s.ipText, s.port, " %s, SPEEDER, SPEEDER, %d, \n", s.name, s.packetCount);
                jsonSessionEvent(m, monitorNow(m), static_cast<int>(&s - m.sessions.data()), "SPEEDER", "%d",
                                 s.packetCount);
                if (blockOn(m.settings.NETonSpeeder))
                    scheduleBlock(m, s.ipText, s.port, BlockMode::Immediate, 1, "SPEEDER");
            } else {
                ++s.speedStrikes;
                say(m, "High msg count by %s (msg cnt = %d, IP: %s)\n", s.name, s.packetCount, s.ipText);
            }
        } else {
            s.speedStrikes = 0;
        }
    }
}

void idleCheck(Monitor& m) {
    char now[9];
    for (int slot = 0; slot < kSlots; ++slot) {
        Session& s = m.sessions[slot];
        if (!s.inUse) continue;
        if (s.packetCount != 0 || s.blockCountdown != 0) {
            s.idleTicks = 0;
        } else {
            if (s.idleTicks > kCloseAfter) {
                say(m, "Closing player session %d, %s (%s:%d)\n", slot, s.name, s.ipText, s.port);
                freshTime(m, now);
                eventLine(m, now, s.ipText, s.port, " %s, CLOSE SESSION, CLOSE SESSION, %d, \n", s.name, slot);
                jsonSessionEvent(m, monitorNow(m), slot, "CLOSE SESSION", "%d", slot);
                clearSession(m, slot);
            } else {
                ++s.idleTicks;
            }
            if (s.idleTicks == kFreezeTicks && s.inGameTicks >= kInGame) {
                say(m, "FREEZING by %s (0 MSGs for %d seconds, IP: %s)\n", s.name, kFreezeTicks, s.ipText);
                freshTime(m, now);
                eventLine(m, now, s.ipText, s.port, " %s, FREEZE, FREEZE, %d, \n", s.name, kFreezeTicks);
                jsonSessionEvent(m, monitorNow(m), slot, "FREEZE", "%d", kFreezeTicks);
                if (blockOn(m.settings.NETonFreeze))
                    scheduleBlock(m, s.ipText, s.port, BlockMode::Immediate, 1, "FREEZE");
            }
        }
        if (s.inGameTicks >= 1 && s.inGameTicks < kInGameMax) {
            if (++s.inGameTicks == kInGame) say(m, "%s in game\n", s.name);
        }
        s.packetCount = 0;
        s.repairCount = 0;
    }
}

// Grid fields as a position message holds them at message bytes 6..13, read from `f` = b + 6.
void readGrid(const uint8_t* f, Session& s) {
    s.latGrid = static_cast<uint32_t>(f[0]) << 16 | static_cast<uint32_t>(f[7]) << 8 | f[6];
    s.lonGrid = static_cast<uint32_t>(f[3]) << 16 | static_cast<uint32_t>(f[2]) << 8 | f[1];
    s.altitude = static_cast<uint32_t>(f[5]) << 8 | f[4];
}

[[gnu::noinline]] void tickAndSample(Monitor& m, const uint8_t* b, int len, int code, bool tick) {
    DecodeState& d = m.decode;
    const PacketContext& p = m.pkt;
    uint32_t nowMs = static_cast<uint32_t>(p.tsSec * 1000 + p.tsUsec / 1000);
    if (tick) {
        speedCheck(m);
        checkDromes(m);
        idleCheck(m);
        d.windowOpen = true;
        d.windowStart = nowMs;
        clearPositionTaken(m);
        d.lastTickSec = p.tsSec;
    }
    if (!d.windowOpen) return;
    d.messageClock = nowMs;
    bool position = len == 24 && code == 0;
    bool damage = len >= 16 && len <= 30 && code == 21;
    if (position || damage) {
        int slot = takeInGameSession(m, p.srcIp, p.srcPort);
        if (slot >= 0) {
            Session& s = m.sessions[slot];
            // A damage message carries its position 2len+4 bytes further on, beyond itself.
            const uint8_t* f = position ? b + 6 : b + 2 * len + 10;
            readGrid(f, s);
            char now[9];
            if (position) {
                s.damageCount = 0;
                int smoke = b[24];
                if (smoke & 1) {
                    say(m, "AIRSHOW SMOKE by %s (%s)\n", s.name, s.ipText);
                    freshTime(m, now);
                    eventLine(m, now, s.ipText, s.port, " %s, SMOKE, SMOKE, %d, \n", s.name, smoke);
                    jsonSessionEvent(m, monitorNow(m), slot, "SMOKE", "%d", smoke);
                    if (blockOn(m.settings.NETonSmoke))
                        scheduleBlock(m, s.ipText, s.port, BlockMode::Immediate, 1, "SMOKE");
                }
            } else {
                ++s.damageCount;
                say(m, "DAMAGE to %s (%s)\n", s.name, s.ipText);
                freshTime(m, now);
                eventLine(m, now, s.ipText, s.port, " %s, DAMAGE, DAMAGE, DmgCnt: %d - pktlen: %d - Buf31: %d, \n",
                          s.name, s.damageCount, static_cast<int>(p.wireLength), len);
                jsonSessionEvent(m, monitorNow(m), slot, "DAMAGE", "DmgCnt: %d - pktlen: %d - Buf31: %d", s.damageCount,
                                 static_cast<int>(p.wireLength), len);
                if (blockOn(m.settings.NETonFlamer) && s.damageCount >= kFlamer)
                    scheduleBlock(m, s.ipText, s.port, BlockMode::Immediate, 1, "FLAMER");
            }
        }
    }
    if (d.messageClock - d.windowStart > m.settings.sampleWindowMs) d.windowOpen = false;
}

// Most messages arrive between sampling windows with no tick due: they end here.
inline void tickPart(Monitor& m, const uint8_t* b, int len, int code) {
    const bool tick = m.pkt.tsSec - m.decode.lastTickSec >= static_cast<int64_t>(m.settings.tickIntervalS);
    if (tick || m.decode.windowOpen) tickAndSample(m, b, len, code, tick);
}

}  // namespace

void decodeMessage(Monitor& m) {
    // Message byte k is decode-buffer position 31 + k. Every field read below lies within the
    // 512-byte buffer: the furthest is a chat text's end at 31 + 255.
    const uint8_t* b = m.buf.data() + kMessageStart;
    int len = b[0];
    int code = b[3];
    if (len == 7 && code == 28) {
        observe(m);
    } else if (len == 31 && code == 35) {
        goldRoom(m, b);
    } else if (len == 23 && code == 10) {
        checksum(m, b);
    } else if (len == 11 && code == 21) {
        if (b[6] == 0 && b[12] == 128)
            repair(m);
        else
            tickPart(m, b, len, code);
    } else if (code == 18 && (b[7] == 64 || b[7] == 128)) {
        chat(m, b, len);
    } else {
        tickPart(m, b, len, code);
    }
}

}  // namespace vkst
