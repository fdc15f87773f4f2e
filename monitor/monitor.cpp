#include "monitor/monitor.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vkst {

Monitor::Monitor() { slotCache.fill(-1); }

Monitor::~Monitor() {
    if (log) std::fclose(log);
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

std::string pathIn(const Monitor& m, const char* name) {
    if (m.io.dir.empty()) return name;
    return m.io.dir + "/" + name;
}

}  // namespace vkst
