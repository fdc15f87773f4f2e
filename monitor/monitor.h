#pragma once
// The monitor's whole state: one Monitor object, passed to every function, so that tests can run
// many monitors in one process. Tables are fixed-size and live for the whole run; nothing here is
// allocated per packet.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/decode_state.h"
#include "platform/clock.h"

namespace vk {
class KeySource;
class RouteRunner;
}  // namespace vk

namespace vkst {

inline constexpr int kSlots = 60;               // session table
inline constexpr int MAX_PACKET_SIZE = 512;      // decode buffer and message slots
inline constexpr int kMessageSlots = 240;        // the most messages a 512-byte packet can hold
inline constexpr int kPhrases = 8;               // bad-chat phrase slots
inline constexpr int kLineSize = 100;            // settings line buffer (99 characters + NUL)
inline constexpr int kMessageStart = 31;         // decode-buffer position of a message's length byte
inline constexpr int kPayloadStart = 28;         // decode-buffer position of the UDP payload
inline constexpr char kVersionText[] = "Beta 1.54 (for WinPcap 3.1 Beta)";

// A fatal start-up failure. Only runMonitor catches it: it prints `message` (to the standard
// error stream when toStderr), waits waitSeconds and ends with exitStatus.
struct Fatal {
    std::string message;
    int exitStatus = -1;
    int waitSeconds = 5;
    bool toStderr = false;
};

// Where console and error-stream text goes. Tests capture it in a StringSink.
class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void write(std::string_view text) = 0;
};

class StringSink final : public TextSink {
public:
    void write(std::string_view t) override { text.append(t); }
    std::string text;
};

// Filled once at start-up, read-only afterwards.
struct Settings {
    int32_t serverPort = 0;
    std::string mapName;             // upper case, line end included
    uint32_t gameLength = 0;         // seconds; +15 when CloseOnTimedGame took effect
    int32_t NETonObserve = 0;
    int32_t NETonRepair = 0;
    int32_t NETonEnterRepair = 0;
    int32_t NETonSpeeder = 0;
    int32_t NETonFreeze = 0;
    int32_t NETonChecksum = 0;
    int32_t NETonLocation = 0;
    int32_t NETonFlamer = 0;
    int32_t NETonSmoke = 0;
    int32_t NETonBadChat = 0;
    int32_t NETonWallRide = 0;
    int32_t AutoStartMMPServer = 0;
    int32_t CloseOnTimedGame = 0;
    int32_t nicNumber = 0;
    int32_t LocalIP_ListNum = 1;
    int32_t NETblockTime = 35;
    std::string DerouteIP;           // dotted IPv4 or empty
    int32_t EnterRepairTime = 20;
    int32_t checksumFirst = 0;
    int32_t checksumSecond = 0;
    int32_t TestUDP = 0;
    std::array<std::string, kPhrases> phrases;  // empty slot matches every chat text
    std::vector<std::string> localAddresses;    // as listed at start-up
    std::string localAddress;
    std::string filterText;
    // IgnoreIP: addresses that are never blocked (network order), with the text the operator wrote.
    struct IgnoreNet {
        uint32_t net = 0;
        uint32_t mask = 0;
        std::string text;
    };
    std::vector<IgnoreNet> ignore;
    uint32_t tickIntervalS = 1;      // detector tick and block timer
    uint32_t sampleWindowMs = 210;   // position/damage sampling window
};

struct Session {
    int32_t inUse = 0;
    char ipText[17] = {};
    char name[19] = {};
    char wireName[17] = {};          // the name as the game sent it (JSON log), control bytes kept
    int32_t port = 0;
    int32_t inGameTicks = 0;
    uint32_t joinTimeMs = 0;
    int32_t blockCountdown = 0;
    int32_t blockTimer = 0;
    char blockReason[24] = {};
    int32_t packetCount = 0;
    int32_t lagHold = 0;
    int32_t speedStrikes = 0;
    int32_t idleTicks = 0;
    int32_t positionTaken = 0;
    uint32_t latGrid = 0;
    uint32_t lonGrid = 0;
    uint32_t altitude = 0;
    int32_t damageCount = 0;
    int32_t repairCount = 0;
};

// Filled for every captured packet; read while its messages are decoded.
struct PacketContext {
    char srcIp[16] = {};
    int32_t srcPort = 0;
    char dstIp[16] = {};
    int32_t dstPort = 0;
    char eventTime[9] = "00:00:00";  // HH:MM:SS when the packet was parsed
    int64_t eventSecond = 0;         // the same moment, for the JSON log's full date
    int64_t tsSec = 0;               // capture timestamp
    int64_t tsUsec = 0;
    uint32_t wireLength = 0;
    uint32_t srcLen = 0;             // strlen(srcIp)
    uint32_t srcHash = 0;            // session lookup hint for the source (0-255)
};

enum class EjectInput { None, FirstDigit, SecondDigit };

struct LoopState {
    bool quit = false;
    EjectInput eject = EjectInput::None;
    int ejectTens = 0;
    int64_t lastBlockTick = -1000000;  // long ago, so the first pass runs the block timer
    int64_t gameStart = 0;
    int lastResult = 0;                // 1 packet, 0 time-out, -1 error, -2 end of capture
};

// One network adapter as the capture library lists it.
struct Adapter {
    std::string name;
    std::string description;   // empty: none available
    bool hasAddress = false;
    uint32_t netmask = 0;      // network order, of the first address entry
};

// A packet read: 1 packet, 0 time-out, -1 error, -2 end of capture.
struct PacketRead {
    int result = 0;
    int64_t tsSec = 0;
    int64_t tsUsec = 0;
    uint32_t wireLength = 0;
    uint32_t capLength = 0;
    const uint8_t* data = nullptr;
};

// The capture library's own counts (pcap_stats); a capture file has none.
struct CaptureCounts {
    uint64_t received = 0;
    uint64_t droppedKernel = 0;
    uint64_t droppedInterface = 0;
};

class PacketSource {
public:
    virtual ~PacketSource() = default;
    virtual PacketRead next() = 0;
    virtual std::string error() = 0;
    // False when the source keeps no counts.
    virtual bool counts(CaptureCounts&) { return false; }
};

// What the run saw, for the statistics lines and the JSON log.
struct RunStats {
    uint64_t packets = 0;            // packets handled by the loop (read from a capture file)
    int64_t startSecond = 0;         // monitor clock when listening began
    uint64_t oversizedLeftOut = 0;   // oversized-packet warnings not written
    uint64_t turnedAway = 0;         // players refused a session by a full table
    int64_t lastFullNotice = INT64_MIN / 2;  // second of the last "table full" console line
    // Last second an oversized-packet warning was written, per source address (fixed table).
    struct Oversized {
        uint32_t raw = 0;
        int64_t second = INT64_MIN;
    };
    std::array<Oversized, 256> oversized{};
    // Players already counted as turned away (hashes of address and port; 0 = free).
    std::array<uint32_t, 256> turnedAwayKeys{};
};

// The capture library as start-up uses it; tests substitute adapters and packets.
class CaptureBackend {
public:
    virtual ~CaptureBackend() = default;
    // false with errText on failure
    virtual bool listAdapters(std::vector<Adapter>& out, std::string& errText) = 0;
    // Opens a live adapter (snapshot 65536, promiscuous, 100 ms time-out); nullptr on failure.
    virtual std::unique_ptr<PacketSource> openLive(const Adapter& a, std::string& errText) = 0;
    // Link type of the last opened source (1 = Ethernet).
    virtual int datalink(PacketSource& s) = 0;
    // Compiles and installs the filter: 0 ok, -1 compile failed, -2 setting it failed.
    virtual int setFilter(PacketSource& s, const std::string& filter, uint32_t netmask) = 0;
};

// Everything the monitor touches outside itself. Null members get the real implementation.
struct Io {
    TextSink* out = nullptr;               // console
    TextSink* err = nullptr;               // standard error stream
    vk::Clock* clock = nullptr;            // sleeps; wall clock when not replaying
    vk::KeySource* keys = nullptr;         // console keys
    vk::RouteRunner* routes = nullptr;     // runs route commands (not used in replay)
    CaptureBackend* capture = nullptr;     // live adapters
    // Opens a file through the shell; returns a value above 32 on success.
    std::function<int(const std::string& file)> shellOpen;
    // Host IPv4 addresses in dotted form; false when the host name cannot be obtained.
    std::function<bool(std::vector<std::string>& out)> hostAddresses;
    std::string dir;                       // working directory of the run; empty = current
    bool handleSignals = false;            // install SIGINT/SIGTERM/SIGHUP handlers (main only)
};

struct Monitor {
    Io io;
    Settings settings;
    std::array<Session, kSlots> sessions{};
    std::array<bool, kSlots> routeInPlace{};    // journal of routes this run added
    std::array<int8_t, 256> slotCache;          // last slot found per address hash (-1 none)
    struct IpTextCache {
        bool valid = false;
        uint32_t raw = 0;
        uint32_t length = 0;
        char text[16] = {};
    };
    std::array<IpTextCache, 256> ipTextCache{};  // dotted text per last address byte
    PacketContext pkt;
    alignas(8) std::array<uint8_t, MAX_PACKET_SIZE> buf{};  // decode buffer, from the IP header
    std::array<std::array<uint8_t, MAX_PACKET_SIZE>, kMessageSlots> slots{};
    int messageCount = 0;                  // messages cut from the last packet
    LoopState loop;
    DecodeState decode;
    LandmarkState landmarks;

    // Replay: clocks follow the capture timestamps.
    bool replay = false;
    std::string captureFile;
    int64_t replayNow = 0;                 // seconds of the last packet read (or the first, before)
    int64_t lastKeyPollUs = INT64_MIN / 2; // capture time of the last look at the keyboard

    std::FILE* log = nullptr;              // VKST.csv
    std::FILE* json = nullptr;             // VKST.json: one object per event line
    RunStats stats;
    // Routes of a crashed run removed before the log was open; logged once it is.
    struct Recovered {
        std::string ip;
        int port = 0;
        int64_t second = 0;
    };
    std::vector<Recovered> recovered;
    PacketSource* source = nullptr;        // the open capture, for its counts

    // Local time text of the last second converted: most packets share their second.
    int64_t timeCacheSecond = INT64_MIN;
    char timeCacheText[9] = {};
    // Destination of the last packet parsed: nearly every packet goes to the one server.
    bool lastDstValid = false;
    uint32_t lastDstRaw = 0;

    Monitor();
    ~Monitor();
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;
};

// ---- output -------------------------------------------------------------------------------
// Console text (printf-style).
void say(Monitor& m, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Standard error stream.
void sayErr(Monitor& m, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// Event log text: "\n" is written as CR LF, and the file is flushed at every line end.
void logf(Monitor& m, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void logText(Monitor& m, std::string_view text);
// Event line prefix "%s, %s, %d," (time, address, port).
void eventPrefix(Monitor& m, const char* timeText, const char* ip, int port);
// Prefix and body in one call.
void eventLine(Monitor& m, const char* timeText, const char* ip, int port, const char* bodyFmt, ...)
    __attribute__((format(printf, 5, 6)));

// ---- JSON event log ------------------------------------------------------------------------
// One object a line: full local date and time with its UTC offset, the event, its detail, the
// address, port, name and session number. Texts are written byte for byte (\u00XX for control
// bytes and bytes above 127), so nothing a player sends can break or forge a line.
// `name` with data() == nullptr and `slot` -1 are written as null.
void jsonEvent(Monitor& m, int64_t second, const char* event, std::string_view detail, const char* ip, int port,
               std::string_view name, int slot);
// An event of a session's player; the detail is printf-style.
void jsonSessionEvent(Monitor& m, int64_t second, int slot, const char* event, const char* detailFmt, ...)
    __attribute__((format(printf, 5, 6)));
// An event about the message being decoded: its source, and the player's name and session
// number when the source has a session.
void jsonMessageEvent(Monitor& m, const char* event, std::string_view detail);
// Formats a JSON string (quotes included) of the bytes.
void appendJsonString(std::string& out, std::string_view bytes);
// "2026-12-05T20:00:04+01:00"
std::string isoTime(int64_t second);

// ---- statistics -----------------------------------------------------------------------------
// The capture statistics on the console and as a STATISTICS object in the JSON log.
void printStatistics(Monitor& m);

// ---- clocks -------------------------------------------------------------------------------
// Current wall-clock second of the system clock (or the injected clock).
int64_t systemNow(Monitor& m);
// Current wall-clock second: the capture time in replay, the system clock otherwise.
inline int64_t monitorNow(Monitor& m) { return m.replay ? m.replayNow : systemNow(m); }
// Converts a second into the time cache (a new second: the local time is looked up).
void fillTimeCache(Monitor& m, int64_t second);
// Local time HH:MM:SS of monitorNow ("fresh local time"); out holds 9 bytes. It runs for every
// packet, so only a new second costs a conversion.
inline void freshTime(Monitor& m, char out[9]) {
    const int64_t now = monitorNow(m);
    if (now != m.timeCacheSecond) fillTimeCache(m, now);
    std::memcpy(out, m.timeCacheText, 9);
}
// Local date MM/DD/YY and time HH:MM:SS of a second.
void dateText(int64_t second, char out[9]);
void timeText(int64_t second, char out[9]);

// ---- files --------------------------------------------------------------------------------
// A file of the working directory of the run.
std::string pathIn(const Monitor& m, const char* name);

// ---- sessions, blocking, event log ----------------------------------------------------------
enum class BlockMode { Immediate, InGame };

// Slot of the first session in use with that address and port, or -1.
int findSession(Monitor& m, const char* ip, int port);
// `wireName`: the name as the game sent it (nullptr: the same as `name`).
void touchSession(Monitor& m, const char* ip, int port, const char* name, const char* wireName = nullptr);
void countPacket(Monitor& m, const char* ip, int port);
void markJoined(Monitor& m, const char* ip, int port, uint32_t timeMs);
// Slot of the joined session whose position is not yet taken this tick (now marked), or -1.
int takeInGameSession(Monitor& m, const char* ip, int port);
void clearPositionTaken(Monitor& m);
void scheduleBlock(Monitor& m, const char* ip, int port, BlockMode mode, int seconds,
                   const char* reason);
void blockTick(Monitor& m);
void unblockAll(Monitor& m);
// Frees a slot: block timer 0, not in use, in-game ticks 0, address blanked.
void clearSession(Monitor& m, int slot);
// Removes the routes that the journal of a crashed run lists (start-up, before the settings are
// read); their event lines are written at once when the log is open, else by logRecovered.
void recoverJournal(Monitor& m);
void logRecovered(Monitor& m);
// True when the address is on the IgnoreIP list; `entry` gets the entry that matched.
bool ignoredAddress(const Monitor& m, const char* ip, const char** entry = nullptr);

// ---- start-up, loop -------------------------------------------------------------------------
void loadSettings(Monitor& m);     // throws Fatal
// Cuts the packet just read into messages and decodes them.
void handlePacket(Monitor& m, const PacketRead& p);
// Runs the whole program: start-up, loop, shutdown. Returns the exit status.
int runMonitor(Monitor& m, const std::vector<std::string>& args);

// ---- provided by the decoder and landmarks --------------------------------------------------
void decodeMessage(Monitor& m);                             // message at buf[31], context in pkt
uint32_t loadLandmarks(Monitor& m, const std::string& mapName);  // throws Fatal
void checkDromes(Monitor& m);
void closeLandmarks(Monitor& m);

}  // namespace vkst
