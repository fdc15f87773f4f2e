#include "monitor/monitor.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vkst {

Monitor::Monitor() { slotCache.fill(-1); }

Monitor::~Monitor() {
    if (log) std::fclose(log);
    if (json) std::fclose(json);
}

namespace {

// Formats into a fixed buffer: no allocation on the packet path. Texts longer than the buffer
// are cut (the longest line, a chat report, is far shorter).
struct Formatted {
    char text[2048];
    int length;
};

void vformat(Formatted& f, const char* fmt, va_list ap) {
    int n = std::vsnprintf(f.text, sizeof f.text, fmt, ap);
    if (n < 0) n = 0;
    f.length = n < static_cast<int>(sizeof f.text) ? n : static_cast<int>(sizeof f.text) - 1;
}

}  // namespace

void say(Monitor& m, const char* fmt, ...) {
    Formatted f;
    va_list ap;
    va_start(ap, fmt);
    vformat(f, fmt, ap);
    va_end(ap);
    if (m.io.out) m.io.out->write(std::string_view(f.text, f.length));
}

void sayErr(Monitor& m, const char* fmt, ...) {
    Formatted f;
    va_list ap;
    va_start(ap, fmt);
    vformat(f, fmt, ap);
    va_end(ap);
    if (m.io.err) m.io.err->write(std::string_view(f.text, f.length));
}

// CR LF on every platform, and a flush at every line end so that a crash loses no event.
void logText(Monitor& m, std::string_view text) {
    if (!m.log) return;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') continue;
        size_t end = i;
        if (end > start && text[end - 1] == '\r') --end;
        std::fwrite(text.data() + start, 1, end - start, m.log);
        std::fwrite("\r\n", 1, 2, m.log);
        std::fflush(m.log);
        start = i + 1;
    }
    if (start < text.size()) std::fwrite(text.data() + start, 1, text.size() - start, m.log);
}

void logf(Monitor& m, const char* fmt, ...) {
    Formatted f;
    va_list ap;
    va_start(ap, fmt);
    vformat(f, fmt, ap);
    va_end(ap);
    logText(m, std::string_view(f.text, f.length));
}

void eventPrefix(Monitor& m, const char* timeText, const char* ip, int port) {
    logf(m, "%s, %s, %d,", timeText, ip, port);
}

void eventLine(Monitor& m, const char* timeText, const char* ip, int port, const char* bodyFmt,
               ...) {
    eventPrefix(m, timeText, ip, port);
    Formatted f;
    va_list ap;
    va_start(ap, bodyFmt);
    vformat(f, bodyFmt, ap);
    va_end(ap);
    logText(m, std::string_view(f.text, f.length));
}

int64_t systemNow(Monitor& m) {
    return m.io.clock ? static_cast<int64_t>(m.io.clock->now()) : static_cast<int64_t>(std::time(nullptr));
}

namespace {
std::tm localOf(int64_t second) {
    std::time_t t = static_cast<std::time_t>(second);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}


void two(char* out, int v) {
    unsigned u = static_cast<unsigned>(v < 0 ? -v : v) % 100u;
    out[0] = static_cast<char>('0' + u / 10);
    out[1] = static_cast<char>('0' + u % 10);
}

void threeFields(char out[9], int a, int b, int c, char sep) {
    two(out, a);
    out[2] = sep;
    two(out + 3, b);
    out[5] = sep;
    two(out + 6, c);
    out[8] = '\0';
}

}  // namespace

void timeText(int64_t second, char out[9]) {
    std::tm tm = localOf(second);
    threeFields(out, tm.tm_hour, tm.tm_min, tm.tm_sec, ':');
}

void dateText(int64_t second, char out[9]) {
    std::tm tm = localOf(second);
    threeFields(out, tm.tm_mon + 1, tm.tm_mday, tm.tm_year % 100, '/');
}

void fillTimeCache(Monitor& m, int64_t second) {
    timeText(second, m.timeCacheText);
    m.timeCacheSecond = second;
}

std::string isoTime(int64_t second) {
    std::tm tm = localOf(second);
    char text[96];
    long off = tm.tm_gmtoff % 86400;
    const char sign = off < 0 ? '-' : '+';
    if (off < 0) off = -off;
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, sign, off / 3600, off / 60 % 60);
    return text;
}

// Every byte stays: control bytes, DEL and the 8-bit characters of the game's texts become
// \u00XX (the byte as a Latin-1 code point), so the line is plain ASCII and cannot be split.
void appendJsonString(std::string& out, std::string_view bytes) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (char ch : bytes) {
        const auto c = static_cast<uint8_t>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

void jsonEvent(Monitor& m, int64_t second, const char* event, std::string_view detail, const char* ip, int port,
               std::string_view name, int slot) {
    if (!m.json) return;
    std::string line;
    line.reserve(160);
    line += "{\"time\":\"";
    line += isoTime(second);
    line += "\",\"event\":";
    appendJsonString(line, event);
    line += ",\"detail\":";
    appendJsonString(line, detail);
    line += ",\"address\":";
    appendJsonString(line, ip ? ip : "");
    line += ",\"port\":";
    line += std::to_string(port);
    line += ",\"name\":";
    if (name.data())
        appendJsonString(line, name);
    else
        line += "null";
    line += ",\"session\":";
    line += slot >= 0 ? std::to_string(slot) : "null";
    line += "}\n";
    std::fwrite(line.data(), 1, line.size(), m.json);
    std::fflush(m.json);
}

void jsonSessionEvent(Monitor& m, int64_t second, int slot, const char* event, const char* detailFmt, ...) {
    if (!m.json || slot < 0 || slot >= kSlots) return;
    Formatted f;
    va_list ap;
    va_start(ap, detailFmt);
    vformat(f, detailFmt, ap);
    va_end(ap);
    const Session& s = m.sessions[slot];
    jsonEvent(m, second, event, std::string_view(f.text, f.length), s.ipText, s.port, s.wireName, slot);
}

void jsonMessageEvent(Monitor& m, const char* event, std::string_view detail) {
    if (!m.json) return;
    const PacketContext& p = m.pkt;
    const int slot = findSession(m, p.srcIp, p.srcPort);
    std::string_view name;
    if (slot >= 0) name = m.sessions[slot].wireName;
    jsonEvent(m, p.eventSecond, event, detail, p.srcIp, p.srcPort, name, slot);
}

std::string pathIn(const Monitor& m, const char* name) {
    if (m.io.dir.empty()) return name;
    return m.io.dir + "/" + name;
}

}  // namespace vkst
