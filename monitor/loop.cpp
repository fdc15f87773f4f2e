// Program entry, start-up of the capture, the loop with its timers and keys, and shutdown.
#include <algorithm>
#include "monitor/loop.h"

#include <arpa/inet.h>
#include <signal.h>

#include <cstdio>
#include <cstring>

#include "monitor/capture.h"
#include "monitor/settings.h"
#include "platform/console_keys.h"
#include "platform/spawn.h"

namespace vkst {

namespace {

volatile sig_atomic_t g_stop = 0;

void onStopSignal(int) { g_stop = 1; }

// Installs the stop handlers for the run and puts the previous ones back afterwards.
class StopSignals {
public:
    explicit StopSignals(bool active) : active_(active) {
        if (!active_) return;
        g_stop = 0;
        struct sigaction sa {};
        sa.sa_handler = onStopSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;  // no SA_RESTART: a waiting read returns at once
        sigaction(SIGINT, &sa, &old_[0]);
        sigaction(SIGTERM, &sa, &old_[1]);
        sigaction(SIGHUP, &sa, &old_[2]);
        struct sigaction ign {};
        ign.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ign, &old_[3]);
    }
    ~StopSignals() {
        if (!active_) return;
        sigaction(SIGINT, &old_[0], nullptr);
        sigaction(SIGTERM, &old_[1], nullptr);
        sigaction(SIGHUP, &old_[2], nullptr);
        sigaction(SIGPIPE, &old_[3], nullptr);
        g_stop = 0;
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    bool active_;
    struct sigaction old_[4] {};
};

class StdioSink final : public TextSink {
public:
    explicit StdioSink(std::FILE* f) : f_(f) {}
    void write(std::string_view t) override {
        std::fwrite(t.data(), 1, t.size(), f_);
        std::fflush(f_);
    }

private:
    std::FILE* f_;
};

// The defaults a real run uses for whatever the caller left empty.
struct RealIo {
    StdioSink out{stdout};
    StdioSink err{stderr};
    vk::SteadyClock clock;
    std::unique_ptr<vk::ConsoleKeys> keys;
};

void sleepMs(Monitor& m, uint32_t ms) { m.io.clock->sleep(ms); }

int openShell(Monitor& m, const char* file) {
    if (m.replay) {
        say(m, "(replay) open %s\n", file);
        return 42;
    }
    return m.io.shellOpen ? m.io.shellOpen(file) : vk::shellOpen(file, m.io.dir);
}

// The library's memcpy, called through a pointer: the compiler would otherwise expand it into
// a string instruction (rep movs), whose start-up costs more than copying a packet's few bytes.
void* (*volatile const libraryCopy)(void*, const void*, size_t) = std::memcpy;
void copyBytes(void* dst, const void* src, size_t n) { libraryCopy(dst, src, n); }

// "%d.%d.%d.%d", by hand: it runs twice for every packet.
uint32_t formatIp(char* out, const uint8_t* b) {
    char* p = out;
    for (int i = 0; i < 4; ++i) {
        unsigned v = b[i];
        if (v >= 100) *p++ = static_cast<char>('0' + v / 100);
        if (v >= 10) *p++ = static_cast<char>('0' + v / 10 % 10);
        *p++ = static_cast<char>('0' + v % 10);
        *p++ = i < 3 ? '.' : '\0';
    }
    return static_cast<uint32_t>(p - out - 1);
}

// Most packets come from addresses seen just before; their text is kept per last byte.
[[gnu::always_inline]] inline uint32_t copyIpText(Monitor& m, char* out, const uint8_t* b) {
    uint32_t raw;
    std::memcpy(&raw, b, 4);
    Monitor::IpTextCache& c = m.ipTextCache[b[3]];
    if (!c.valid || c.raw != raw) {
        c.length = formatIp(c.text, b);
        c.raw = raw;
        c.valid = true;
    }
    std::memcpy(out, c.text, 16);
    return c.length;
}

// Start-up steps 3 to 10 for a live adapter; returns the open device.
std::unique_ptr<PacketSource> openAdapter(Monitor& m, std::string& listening) {
    CaptureBackend& cap = m.io.capture ? *m.io.capture : pcapBackend();
    std::vector<Adapter> adapters;
    std::string err;
    if (!cap.listAdapters(adapters, err))
        throw Fatal{"Error in pcap_findalldevs: " + err + "\n", 1, 0, true};
    say(m, "\nNIC List:\n");
    for (size_t i = 0; i < adapters.size(); ++i) {
        say(m, "%d. %s", static_cast<int>(i + 1), adapters[i].name.c_str());
        if (!adapters[i].description.empty())
            say(m, " (%s)\n", adapters[i].description.c_str());
        else
            say(m, " (No description available)\n");
    }
    if (adapters.empty())
        throw Fatal{"\nNo interfaces found! Make sure WinPcap is installed.\n", -1, 0};
    int nic = m.settings.nicNumber;
    if (nic == -1) nic = static_cast<int>(adapters.size());
    if (nic < 1 || nic > static_cast<int>(adapters.size()))
        throw Fatal{"ERROR -- incorrect NIC number\n", -1, 5};
    const Adapter& a = adapters[nic - 1];
    auto src = cap.openLive(a, err);
    if (!src)
        throw Fatal{"\nUnable to open the adapter. " + a.name + " is not supported by WinPcap\n", -1, 0, true};
    if (cap.datalink(*src) != 1)
        throw Fatal{"\nThis program works only on Ethernet networks.\n", -1, 0, true};
    uint32_t netmask = a.hasAddress && a.netmask ? a.netmask : htonl(0xFFFFFF00u);
    int rc = cap.setFilter(*src, m.settings.filterText, netmask);
    if (rc == -1) throw Fatal{"\nUnable to compile the packet filter. Check the syntax.\n", -1, 0, true};
    if (rc < 0) throw Fatal{"\nError setting the filter.\n", -1, 0, true};
    // Linux adapters often carry no description; the name then says which one it is.
    listening = a.description.empty() ? a.name : a.description;
    return src;
}

void prepareReplay(SavefileSource& f, Monitor& m) {
    if (f.datalink() != 1) throw Fatal{"\nThis program works only on Ethernet networks.\n", -1, 0, true};
    if (f.setFilter(m.settings.filterText, m.settings.serverPort) < 0)
        throw Fatal{"\nUnable to compile the packet filter. Check the syntax.\n", -1, 0, true};
}

// A replay reads packets far faster than they came; the keyboard is looked at once per 100 ms of
// capture time, as often as a quiet live run would, and not once per packet.
bool pollKeys(Monitor& m, const PacketRead& p) {
    if (m.replay && p.result == 1) {
        int64_t us = p.tsSec * 1000000 + p.tsUsec;
        if (us - m.lastKeyPollUs < 100000 && us >= m.lastKeyPollUs) return false;
        m.lastKeyPollUs = us;
    }
    return m.io.keys->keyWaiting();
}

// Over more than an hour of quiet capture time with no block running and no key waiting, only
// the timed close can still happen: go straight to its second (or to the hour before the next
// packet). A capture whose clock jumps years ahead would otherwise keep the replay busy for hours.
void skipIdleHours(Monitor& m, int64_t nextPacketSecond) {
    constexpr int64_t kHour = 3600;
    int64_t to = nextPacketSecond - kHour;
    if (to <= m.replayNow + 1) return;
    for (const Session& s : m.sessions)
        if (s.blockCountdown != 0) return;
    if (m.io.keys->keyWaiting()) return;
    const Settings& st = m.settings;
    if (st.CloseOnTimedGame > 0 && st.gameLength != 0)
        to = std::min(to, m.loop.gameStart + static_cast<int64_t>(st.gameLength) + 1);
    if (to > m.replayNow + 1) m.replayNow = to - 1;
}

void runLoop(Monitor& m, PacketSource& src) {
    LoopState& L = m.loop;
    while (!L.quit) {
        if (g_stop) break;
        PacketRead p = src.next();
        L.lastResult = p.result;
        if (p.result < 0) break;
        if (m.replay && p.result == 1) {
            // A live run passes through quiet seconds on 100 ms read time-outs; so does the
            // replay, so that timers and keys behave as they did live.
            if (m.replayNow + 1 < p.tsSec) {
                while (m.replayNow + 1 < p.tsSec && !L.quit && !g_stop) {
                    skipIdleHours(m, p.tsSec);
                    ++m.replayNow;
                    for (int pass = 0; pass < 10 && !L.quit; ++pass) {
                        timerStep(m);
                        if (m.io.keys->keyWaiting()) handleKey(m, m.io.keys->readKey());
                    }
                }
                if (L.quit || g_stop) break;
            }
            m.replayNow = p.tsSec;
        }
        if (monitorNow(m) - L.lastBlockTick >= 1) timerStep(m);  // else timerStep has nothing to do
        if (pollKeys(m, p)) handleKey(m, m.io.keys->readKey());
        if (p.result == 1) {
            ++m.stats.packets;
            handlePacket(m, p);
        }
    }
}

void shutdown(Monitor& m, PacketSource& src) {
    if (m.loop.lastResult == -1) say(m, "Error reading the packets: %s\n", src.error().c_str());
    say(m, "\n\nVKSTerminator shutting down...\n");
    say(m, "\nRemove any rerouted IPs...\n");
    unblockAll(m);
    printStatistics(m);
    char date[9], time[9];
    int64_t now = monitorNow(m);
    dateText(now, date);
    timeText(now, time);
    logf(m, "VKS Terminator shutting down - Date: %s - Time: %s,\n", date, time);
    if (m.log) {
        std::fclose(m.log);
        m.log = nullptr;
    }
    if (m.json) {
        std::fclose(m.json);
        m.json = nullptr;
    }
    closeLandmarks(m);
    // The waits give the routes and the batch file time; a replay runs neither.
    if (!m.replay) sleepMs(m, 1000);
    openShell(m, "VKSTbatch.bat");
    if (!m.replay) sleepMs(m, 500);
}

}  // namespace

bool stopSignalled() { return g_stop != 0; }

void timerStep(Monitor& m) {
    int64_t now = monitorNow(m);
    if (now - m.loop.lastBlockTick < 1) return;
    m.loop.lastBlockTick = now;
    blockTick(m);
    const Settings& s = m.settings;
    if (s.CloseOnTimedGame > 0 && s.gameLength != 0 &&
        now - m.loop.gameStart > static_cast<int64_t>(s.gameLength))
        m.loop.quit = true;
}

void printPlayerList(Monitor& m) {
    say(m, "\n\n");
    say(m, "Session  Name              IP                Port   Status\n");
    say(m, "-------  ----------------  ----------------  -----  --------\n");
    for (int i = 0; i < kSlots; ++i) {
        const Session& s = m.sessions[i];
        if (!s.inUse) continue;
        const char* status = s.blockCountdown > 0 ? "BLOCKED"
                             : s.idleTicks > 0    ? "UNKNOWN"
                             : s.inGameTicks > 0  ? "IN GAME"
                                                  : "IN GR";
        say(m, "%.2d       %-16s  ", i, s.name);
        say(m, "%-15s   %.5d  %s\n", s.ipText, s.port, status);
    }
    say(m, "\n");
}

void handleKey(Monitor& m, int key) {
    LoopState& L = m.loop;
    say(m, "%c", key);
    if (key == 'q') L.quit = true;
    if (key == 'l') printPlayerList(m);
    if (key == 's') printStatistics(m);
    if (key == 'e') {
        say(m, "\nInput 2 digit session number of player to eject: ");
        L.eject = EjectInput::FirstDigit;
        return;
    }
    if (L.eject != EjectInput::None) {
        if (key < '0' || key > '9') {
            // Only digits make a session number; anything else ends the input.
            say(m, " -- not a digit, no player ejected\n");
            L.eject = EjectInput::None;
        } else if (L.eject == EjectInput::FirstDigit) {
            L.ejectTens = 10 * (key - '0');
            L.eject = EjectInput::SecondDigit;
        } else {
            int n = L.ejectTens + (key - '0');
            L.eject = EjectInput::None;
            say(m, " -- session # is %d\n", n);
            if (n >= kSlots) {
                say(m, "Session # %d is out of range (00 to 59)\n", n);
            } else if (m.sessions[n].inUse) {
                // A free slot may still hold its last player's address: only a session in use
                // is ejected.
                scheduleBlock(m, m.sessions[n].ipText, m.sessions[n].port, BlockMode::Immediate, 1,
                              "MANUAL EJECT");
            }
        }
    }
    if (key == '?') {
        say(m, "\nCommand list\n");
        say(m, "------------\n");
        say(m, "'q' shuts down VKST\n");
        say(m, "'l' lists players\n");
        say(m, "'e' ejects a player\n");
        say(m, "'?' displays this list\n");
        say(m, "'s' shows the capture statistics\n\n");
    }
}

namespace {

// The oversized-packet warning, at most once a second per source address: a flood of large
// datagrams must not flood the event log. The rest are counted for the statistics.
[[gnu::noinline]] void oversizedWarning(Monitor& m, const uint8_t* source) {
    uint32_t raw;
    std::memcpy(&raw, source, 4);
    const int64_t now = m.pkt.eventSecond;
    auto& table = m.stats.oversized;
    const size_t start = (raw * 2654435761u) >> 24;
    RunStats::Oversized* free = nullptr;
    for (size_t k = 0; k < table.size(); ++k) {
        RunStats::Oversized& e = table[(start + k) % table.size()];
        if (e.second != now) {
            if (!free) free = &e;
        } else if (e.raw == raw) {
            ++m.stats.oversizedLeftOut;
            return;
        }
    }
    // Every entry taken by another address in this very second: that many warnings are enough.
    if (!free) {
        ++m.stats.oversizedLeftOut;
        return;
    }
    free->raw = raw;
    free->second = now;
    logf(m, "\n\n WARNING: PACKET LENTGH > MAX_PACKET_SIZE!! \n\n");
}

}  // namespace

void printStatistics(Monitor& m) {
    const RunStats& st = m.stats;
    CaptureCounts c;
    const bool live = m.source && m.source->counts(c);
    if (live)
        say(m, "\nCapture statistics: %llu packets received, %llu dropped by the kernel, %llu dropped by the interface\n",
            static_cast<unsigned long long>(c.received), static_cast<unsigned long long>(c.droppedKernel),
            static_cast<unsigned long long>(c.droppedInterface));
    else
        say(m, "\nCapture statistics: %llu packets read from the capture file\n",
            static_cast<unsigned long long>(st.packets));
    const uint64_t received = live ? c.received : st.packets;
    const int64_t now = monitorNow(m);
    const int64_t seconds = now > st.startSecond ? now - st.startSecond : 0;
    const double rate = static_cast<double>(received) / static_cast<double>(seconds > 0 ? seconds : 1);
    say(m, "%.1f packets per second over %lld s; oversized-packet warnings left out: %llu; players turned away by a "
        "full table: %llu\n",
        rate, static_cast<long long>(seconds), static_cast<unsigned long long>(st.oversizedLeftOut),
        static_cast<unsigned long long>(st.turnedAway));
    if (!m.json) return;
    char line[512];
    const std::string time = isoTime(now);
    int n = std::snprintf(line, sizeof line,
                          "{\"time\":\"%s\",\"event\":\"STATISTICS\",\"detail\":\"%s\",\"received\":%llu,"
                          "\"dropped_kernel\":%s,\"dropped_interface\":%s,\"seconds\":%lld,\"packets_per_second\":%.1f,"
                          "\"oversized_left_out\":%llu,\"turned_away\":%llu}\n",
                          time.c_str(), live ? "live capture" : "capture file",
                          static_cast<unsigned long long>(received),
                          live ? std::to_string(c.droppedKernel).c_str() : "null",
                          live ? std::to_string(c.droppedInterface).c_str() : "null", static_cast<long long>(seconds),
                          rate, static_cast<unsigned long long>(st.oversizedLeftOut),
                          static_cast<unsigned long long>(st.turnedAway));
    if (n > 0 && n < static_cast<int>(sizeof line)) {
        std::fwrite(line, 1, static_cast<size_t>(n), m.json);
        std::fflush(m.json);
    }
}

void handlePacket(Monitor& m, const PacketRead& p) {
    m.messageCount = 0;
    const uint8_t* d = p.data;
    const uint32_t cap = p.capLength;
    // The filter passes only UDP to the server; anything shorter than the headers is skipped.
    if (!d || cap < 14 + 20) return;
    const uint32_t ihl = 4u * (d[14] & 0x0Fu);
    if (ihl < 20 || cap < 14 + ihl + 8) return;
    PacketContext& c = m.pkt;
    const uint8_t* udp = d + 14 + ihl;
    c.srcPort = (udp[0] << 8) | udp[1];
    c.dstPort = (udp[2] << 8) | udp[3];
    c.srcLen = copyIpText(m, c.srcIp, d + 14 + 12);
    uint32_t raw;
    std::memcpy(&raw, d + 14 + 16, 4);
    if (!m.lastDstValid || raw != m.lastDstRaw) {
        formatIp(c.dstIp, d + 14 + 16);
        m.lastDstRaw = raw;
        m.lastDstValid = true;
    }
    std::memcpy(&raw, d + 14 + 12, 4);
    c.srcHash = ((raw ^ static_cast<uint32_t>(c.srcPort) << 7) * 2654435761u) >> 24;
    freshTime(m, c.eventTime);
    c.eventSecond = m.timeCacheSecond;
    c.tsSec = p.tsSec;
    c.tsUsec = p.tsUsec;
    c.wireLength = p.wireLength;
    if (m.settings.TestUDP)
        say(m, "dIP: %s, dport:%d, proto:%d, len:%d, \n", c.dstIp, c.dstPort, d[14 + 9],
            static_cast<int>(p.wireLength));
    countPacket(m, c.srcIp, c.srcPort);

    uint32_t len = p.wireLength;
    if (len > static_cast<uint32_t>(MAX_PACKET_SIZE)) {
        len = MAX_PACKET_SIZE;
        oversizedWarning(m, d + 14 + 12);
    }
    // Only bytes that were captured are data; a short capture ends the data early. Nor is the
    // padding of a short Ethernet frame: the datagram ends where the IP header says it does.
    if (len > cap) len = cap;
    const uint32_t ipEnd = 14u + ((static_cast<uint32_t>(d[14 + 2]) << 8) | d[14 + 3]);
    if (ipEnd >= 14 + ihl + 8 && ipEnd < len) len = ipEnd;
    if (len <= 42) return;
    copyBytes(m.buf.data() + kPayloadStart, d + 42, len - 42);
    const uint32_t end = len - 14;

    int count = 0;
    uint32_t pos = kMessageStart;
    while (pos < end && count < kMessageSlots) {
        uint32_t size = m.buf[pos] + 2u;
        // A message that runs past the captured data is dropped: its missing bytes would come
        // from earlier packets, maybe another player's, and be judged as this player's.
        if (pos + size > end) break;
        // The first message already sits at 31 and is decoded there; later ones go to slots
        // first, because each copy to 31 overwrites the packet's bytes.
        if (count > 0) copyBytes(m.slots[count].data(), m.buf.data() + pos, size);
        ++count;
        pos += size;
    }
    m.messageCount = count;
    for (int i = 0; i < count; ++i) {
        if (i > 0) copyBytes(m.buf.data() + kMessageStart, m.slots[i].data(), m.slots[i][0] + 2u);
        decodeMessage(m);
    }
}

int runMonitor(Monitor& m, const std::vector<std::string>& args) {
    RealIo real;
    if (!m.io.out) m.io.out = &real.out;
    if (!m.io.err) m.io.err = &real.err;
    if (!m.io.clock) m.io.clock = &real.clock;
    if (!m.io.keys) {
        real.keys = std::make_unique<vk::ConsoleKeys>();
        m.io.keys = real.keys.get();
    }

    if (args.size() == 2 && args[0] == "-r") {
        m.replay = true;
        m.captureFile = args[1];
    } else if (!args.empty()) {
        sayErr(m, "Usage: VKST [-r capture-file]\n");
        return -1;
    }

    StopSignals signals(m.io.handleSignals);
    std::unique_ptr<SavefileSource> file;
    std::unique_ptr<PacketSource> live;
    PacketSource* src = nullptr;
    try {
        std::string listening;
        if (m.replay) {
            std::string err;
            file = SavefileSource::open(m.captureFile, err);
            if (!file) throw Fatal{"\nUnable to read the capture file " + m.captureFile + ". " + err + "\n", -1, 0, true};
            // Every clock of a replay follows the capture, from its first packet on.
            m.replayNow = file->hasFirst() ? file->firstSecond() : static_cast<int64_t>(m.io.clock->now());
        }
        // Routes a crashed run left are removed first, whatever the settings hold.
        if (!m.replay) recoverJournal(m);
        loadSettings(m);
        logRecovered(m);
        if (m.replay) {
            prepareReplay(*file, m);
            listening = m.captureFile;
            src = file.get();
        } else {
            live = openAdapter(m, listening);
            src = live.get();
        }
        m.source = src;
        say(m, "\nListening on %s...\n\n", listening.c_str());
        logf(m, "Listening on %s...\n\n", listening.c_str());
        m.loop.gameStart = monitorNow(m);
        m.stats.startSecond = m.loop.gameStart;
        if (m.settings.AutoStartMMPServer != 0) {
            say(m, "Attempting to start the VK server...\n\n");
            if (openShell(m, "vk2serveM02.exe") <= 32) openShell(m, "vk2serve.exe");
        }
        say(m, "Type '?' for a command list\n\n");
    } catch (const Fatal& f) {
        m.source = nullptr;
        if (f.toStderr)
            sayErr(m, "%s", f.message.c_str());
        else
            say(m, "%s", f.message.c_str());
        if (f.waitSeconds > 0) sleepMs(m, static_cast<uint32_t>(f.waitSeconds) * 1000u);
        if (m.log) {
            std::fclose(m.log);
            m.log = nullptr;
        }
        if (m.json) {
            std::fclose(m.json);
            m.json = nullptr;
        }
        closeLandmarks(m);
        return f.exitStatus;
    }

    runLoop(m, *src);
    shutdown(m, *src);
    m.source = nullptr;
    return 0;
}

}  // namespace vkst
