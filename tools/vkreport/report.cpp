#include "tools/vkreport/report.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace vkreport {

namespace {

const std::set<std::string>& knownEvents() {
    static const std::set<std::string> k{
        "NEW SESSION", "BLOCK",     "UNBLOCK",   "CLOSE SESSION", "LAG",         "SPEEDER",   "FREEZE",
        "OBSERVE",     "GR-EVENT",  "CHECKSUM",  "BAD CHECK",     "REPAIR",      "ENTER REPAIR", "WALL RIDE",
        "BAD_CHAT",    "SMOKE",     "DAMAGE",    "DROME LOC",     "BAD DROME LOC"};
    return k;
}

std::vector<std::string> splitColumns(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0, at;
    while ((at = line.find(", ", start)) != std::string::npos) {
        out.push_back(line.substr(start, at - start));
        start = at + 2;
    }
    out.push_back(line.substr(start));
    return out;
}

bool digits(const std::string& s) {
    return !s.empty() && s.size() <= 5 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// HH:MM:SS as seconds of the day, or -1.
int64_t secondsOfDay(const std::string& t) {
    if (t.size() != 8 || t[2] != ':' || t[5] != ':') return -1;
    for (int i : {0, 1, 3, 4, 6, 7})
        if (t[i] < '0' || t[i] > '9') return -1;
    int h = (t[0] - '0') * 10 + t[1] - '0', m = (t[3] - '0') * 10 + t[4] - '0', s = (t[6] - '0') * 10 + t[7] - '0';
    if (h > 23 || m > 59 || s > 60) return -1;
    return h * 3600 + m * 60 + s;
}

// The text after `key` up to the next " - " or ",", or "".
std::string field(const std::string& line, const std::string& key) {
    size_t at = line.find(key);
    if (at == std::string::npos) return {};
    at += key.size();
    size_t end = std::min(line.find(" - ", at), line.find(',', at));
    return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// A shown text for warnings on the terminal: control bytes as '?', at most 60 bytes.
std::string shownText(const std::string& s) {
    std::string out = s.substr(0, 60);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    return out + (s.size() > 60 ? "..." : "");
}

struct RunBuilder {
    Run run;
    int64_t startSod = -1;   // seconds of the day when the run began
    int64_t dayOffset = 0;   // days passed (times that go back by hours mean midnight passed)
    int64_t lastSod = -1;
    int64_t lastAt = 0;

    int64_t at(int64_t sod) {
        if (startSod < 0) startSod = sod;
        if (lastSod >= 0 && sod + 12 * 3600 < lastSod) dayOffset += 86400;
        lastSod = sod;
        int64_t t = sod + dayOffset - startSod;
        if (t < 0) t = 0;
        lastAt = std::max(lastAt, t);
        return t;
    }

    Player& player(const std::string& ip, int port) {
        for (Player& p : run.players)
            if (p.ip == ip && p.port == port) return p;
        run.players.push_back(Player{});
        run.players.back().ip = ip;
        run.players.back().port = port;
        return run.players.back();
    }

    void finish() {
        if (!run.shutDown) run.length = lastAt;
        for (Player& p : run.players)
            for (Block& b : p.blocks)
                if (b.open) b.to = run.length;
    }
};

}  // namespace

Log parseLog(const std::string& text) {
    Log log;
    std::vector<RunBuilder> runs;
    auto current = [&](int lineNo) -> RunBuilder& {
        if (runs.empty()) {
            // Events before any header: a run of its own, dated by nothing.
            runs.emplace_back();
            runs.back().run.firstLine = lineNo;
            log.warnings.push_back("line " + std::to_string(lineNo) + ": events before any run header");
        }
        return runs.back();
    };
    size_t start = 0;
    int lineNo = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;

        if (line.rfind("VKS Terminator Version ", 0) == 0) {
            runs.emplace_back();
            RunBuilder& b = runs.back();
            b.run.firstLine = lineNo;
            b.run.version = field(line, "VKS Terminator Version ");
            b.run.date = field(line, "Date: ");
            b.run.startTime = field(line, "Time: ");
            const int64_t sod = secondsOfDay(b.run.startTime);
            if (sod >= 0) b.at(sod);
            continue;
        }
        if (line.rfind("VK server IP:port is ", 0) == 0) {
            current(lineNo).run.server = line.substr(21);
            continue;
        }
        if (line.rfind("Listening on ", 0) == 0) {
            std::string l = line.substr(13);
            if (l.size() >= 3 && l.compare(l.size() - 3, 3, "...") == 0) l.resize(l.size() - 3);
            current(lineNo).run.listening = l;
            continue;
        }
        if (line.find("WARNING: PACKET LENTGH > MAX_PACKET_SIZE") != std::string::npos) {
            ++current(lineNo).run.oversizedWarnings;
            continue;
        }
        if (line.rfind("VKS Terminator shutting down", 0) == 0) {
            RunBuilder& b = current(lineNo);
            const int64_t sod = secondsOfDay(field(line, "Time: "));
            if (sod >= 0) {
                b.run.length = b.at(sod);
                b.run.length = b.lastAt;
                b.run.shutDown = true;
            }
            continue;
        }

        // An event line: time, address, port, name (may hold ", "), the event twice, the detail.
        std::vector<std::string> c = splitColumns(line);
        const int64_t sod = c.empty() ? -1 : secondsOfDay(c[0]);
        size_t ev = 0;
        if (sod >= 0 && c.size() >= 6 && digits(c[2]))
            for (size_t i = 3; i + 1 < c.size(); ++i)
                if (c[i] == c[i + 1] && knownEvents().count(c[i])) {
                    ev = i;
                    break;
                }
        if (!ev) {
            log.warnings.push_back("line " + std::to_string(lineNo) + ": not an event line, skipped: " + shownText(line));
            continue;
        }
        RunBuilder& b = current(lineNo);
        std::string name;
        for (size_t i = 3; i < ev; ++i) name += (i > 3 ? ", " : "") + c[i];
        std::string detail;
        for (size_t i = ev + 2; i < c.size(); ++i) detail += (i > ev + 2 ? ", " : "") + c[i];
        // The detail ends with the line's last comma.
        while (!detail.empty() && (detail.back() == ' ' || detail.back() == ',')) detail.pop_back();
        const std::string& event = c[ev];
        const int64_t t = b.at(sod);
        Player& p = b.player(c[1], std::stoi(c[2]));
        if (name != "event_msg" && !name.empty()) {
            if (p.name.empty())
                p.name = name;
            else if (name != p.name && name != "unknown CS" &&
                     std::find(p.otherNames.begin(), p.otherNames.end(), name) == p.otherNames.end())
                p.otherNames.push_back(name);
            if (p.name == "unknown CS" && name != "unknown CS") p.name = name;
        }
        ++p.counts[event];
        p.marks.push_back({t, event, detail});
        if (event == "NEW SESSION") {
            ++p.sessions;
            if (digits(detail)) p.sessionNumbers.push_back(std::stoi(detail));
        } else if (event == "BLOCK") {
            p.blocks.push_back({t, t, detail, true});
        } else if (event == "UNBLOCK") {
            for (Block& bl : p.blocks)
                if (bl.open) {
                    bl.open = false;
                    bl.to = t;
                }
        }
    }
    for (RunBuilder& b : runs) {
        b.finish();
        b.run.number = static_cast<int>(log.runs.size()) + 1;
        log.runs.push_back(std::move(b.run));
    }
    return log;
}

std::string escapeHtml(const std::string& bytes) {
    std::string out;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default:
                if (c < 32 || c == 127)
                    out += '?';
                else if (c >= 128)
                    out += "&#" + std::to_string(c) + ";";
                else
                    out += static_cast<char>(c);
        }
    }
    return out;
}

namespace {

struct Style {
    const char* event;
    const char* color;
    char shape;  // c circle, t triangle, d diamond, s square, x cross
};

// Detections stand out (triangles and diamonds, warm colours); routine events are small and grey.
const Style kStyles[] = {
    {"NEW SESSION", "#8c8c8c", 'c'},   {"GR-EVENT", "#9ecae1", 's'},   {"CHECKSUM", "#74c476", 's'},
    {"BAD CHECK", "#d62728", 'd'},     {"OBSERVE", "#9467bd", 'd'},    {"REPAIR", "#ff9896", 'c'},
    {"ENTER REPAIR", "#ff7f0e", 't'},  {"WALL RIDE", "#8c564b", 't'},  {"BAD_CHAT", "#e377c2", 'd'},
    {"SMOKE", "#bcbd22", 't'},         {"DAMAGE", "#fdae6b", 'c'},     {"LAG", "#6baed6", 'c'},
    {"SPEEDER", "#c7001e", 't'},       {"FREEZE", "#1f3b8c", 't'},     {"DROME LOC", "#2ca02c", 'c'},
    {"BAD DROME LOC", "#8b0000", 'd'}, {"BLOCK", "#000000", 'x'},      {"UNBLOCK", "#555555", 'x'},
    {"CLOSE SESSION", "#bdbdbd", 'x'},
};

const Style& styleOf(const std::string& event) {
    for (const Style& s : kStyles)
        if (event == s.event) return s;
    return kStyles[0];
}

std::string num(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.1f", v);
    return b;
}

std::string clock(int64_t s) {
    char b[32];
    if (s >= 3600)
        std::snprintf(b, sizeof b, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    else
        std::snprintf(b, sizeof b, "%lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
    return b;
}

std::string shape(const Style& st, double x, double y, const std::string& title) {
    const std::string t = "<title>" + title + "</title>";
    const std::string fill = std::string(" fill=\"") + st.color + "\"";
    switch (st.shape) {
        case 't':
            return "<polygon points=\"" + num(x) + "," + num(y - 6) + " " + num(x - 5) + "," + num(y + 4) + " " +
                   num(x + 5) + "," + num(y + 4) + "\"" + fill + ">" + t + "</polygon>";
        case 'd':
            return "<polygon points=\"" + num(x) + "," + num(y - 6) + " " + num(x + 5) + "," + num(y) + " " + num(x) +
                   "," + num(y + 6) + " " + num(x - 5) + "," + num(y) + "\"" + fill + ">" + t + "</polygon>";
        case 's':
            return "<rect x=\"" + num(x - 3) + "\" y=\"" + num(y - 3) + "\" width=\"6\" height=\"6\"" + fill + ">" + t +
                   "</rect>";
        case 'x':
            return "<path d=\"M" + num(x - 4) + " " + num(y - 4) + "L" + num(x + 4) + " " + num(y + 4) + "M" +
                   num(x - 4) + " " + num(y + 4) + "L" + num(x + 4) + " " + num(y - 4) + "\" stroke=\"" + st.color +
                   "\" stroke-width=\"2\">" + t + "</path>";
        default:
            return "<circle cx=\"" + num(x) + "\" cy=\"" + num(y) + "\" r=\"4\"" + fill + ">" + t + "</circle>";
    }
}

std::string playerLabel(const Player& p) { return p.name.empty() ? p.ip : p.name; }

}  // namespace

std::string renderTimeline(const Run& run) {
    const double left = 170, right = 20, top = 30, row = 26, width = 960;
    const int64_t length = std::max<int64_t>(run.length, 1);
    const double plot = width - left - right;
    const double height = top + row * static_cast<double>(run.players.size()) + 40;
    auto x = [&](int64_t t) { return left + plot * static_cast<double>(std::min(t, length)) / static_cast<double>(length); };
    std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(width) + "\" height=\"" + num(height) +
                    "\" viewBox=\"0 0 " + num(width) + " " + num(height) +
                    "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"12\" role=\"img\">\n";
    s += "<title>Timeline of run " + std::to_string(run.number) + "</title>\n";
    // Axis: a tick every "nice" step, at most about ten.
    int64_t step = 1;
    for (int64_t c : {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 14400, 43200, 86400})
        if (length / c <= 10) {
            step = c;
            break;
        }
    if (length / step > 10) step = (length / 10 / 86400 + 1) * 86400;
    const double axisY = top + row * static_cast<double>(run.players.size()) + 6;
    for (int64_t t = 0; t <= length; t += step) {
        s += "<line x1=\"" + num(x(t)) + "\" y1=\"" + num(top - 8) + "\" x2=\"" + num(x(t)) + "\" y2=\"" + num(axisY) +
             "\" stroke=\"#e6e6e6\"/>\n";
        s += "<text x=\"" + num(x(t)) + "\" y=\"" + num(axisY + 16) + "\" text-anchor=\"middle\" fill=\"#444\">" +
             clock(t) + "</text>\n";
    }
    s += "<line x1=\"" + num(left) + "\" y1=\"" + num(axisY) + "\" x2=\"" + num(left + plot) + "\" y2=\"" + num(axisY) +
         "\" stroke=\"#444\"/>\n";
    s += "<text x=\"" + num(left + plot) + "\" y=\"" + num(top - 14) + "\" text-anchor=\"end\" fill=\"#444\">match length " +
         clock(run.length) + "</text>\n";
    for (size_t i = 0; i < run.players.size(); ++i) {
        const Player& p = run.players[i];
        const double y = top + row * static_cast<double>(i) + row / 2;
        if (i % 2 == 0)
            s += "<rect x=\"0\" y=\"" + num(y - row / 2) + "\" width=\"" + num(width) + "\" height=\"" + num(row) +
                 "\" fill=\"#f7f7f7\"/>\n";
        s += "<text x=\"" + num(left - 8) + "\" y=\"" + num(y + 4) + "\" text-anchor=\"end\">" +
             escapeHtml(playerLabel(p)) + "</text>\n";
        for (const Block& b : p.blocks) {
            const double w = std::max(2.0, x(b.to) - x(b.from));
            s += "<rect x=\"" + num(x(b.from)) + "\" y=\"" + num(y - row / 2 + 2) + "\" width=\"" + num(w) +
                 "\" height=\"" + num(row - 4) + "\" fill=\"#d62728\" fill-opacity=\"0.22\" stroke=\"#d62728\"><title>" +
                 escapeHtml("blocked for " + b.reason + ", " + std::to_string(b.to - b.from) + " s" +
                            (b.open ? " (not lifted in the log)" : "")) +
                 "</title></rect>\n";
        }
        s += "<line x1=\"" + num(left) + "\" y1=\"" + num(y) + "\" x2=\"" + num(left + plot) + "\" y2=\"" + num(y) +
             "\" stroke=\"#d9d9d9\"/>\n";
        for (const Mark& m : p.marks)
            s += shape(styleOf(m.event), x(m.at), y,
                       escapeHtml(clock(m.at) + " " + m.event + (m.detail.empty() ? "" : ": " + m.detail))) + "\n";
    }
    s += "</svg>\n";
    return s;
}

std::string renderHtml(const Run& run, const std::string& source) {
    std::string title = "VKST match report, run " + std::to_string(run.number);
    if (!run.date.empty()) title += " of " + run.date + " " + run.startTime;
    std::string h =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'; img-src data:\">\n"
        "<title>" + escapeHtml(title) + "</title>\n<style>\n"
        "body{font-family:'DejaVu Sans',Arial,sans-serif;margin:24px;color:#222;background:#fff}\n"
        "h1{font-size:20px;margin:0 0 4px}p.meta{color:#555;margin:0 0 16px}\n"
        "table{border-collapse:collapse;margin:12px 0 20px;font-size:13px}\n"
        "th,td{border:1px solid #ccc;padding:4px 8px;text-align:left;vertical-align:top}\n"
        "th{background:#eee}td.num{text-align:right}.legend span{display:inline-block;margin-right:14px;font-size:12px}\n"
        ".legend svg{vertical-align:middle;margin-right:3px}\n"
        "</style>\n</head>\n<body>\n";
    h += "<h1>" + escapeHtml(title) + "</h1>\n<p class=\"meta\">";
    const size_t slash = source.rfind('/');
    h += "Log " + escapeHtml(slash == std::string::npos ? source : source.substr(slash + 1)) + " from line " + std::to_string(run.firstLine);
    if (!run.server.empty()) h += " &middot; server " + escapeHtml(run.server);
    if (!run.listening.empty()) h += " &middot; listening on " + escapeHtml(run.listening);
    h += " &middot; match length " + clock(run.length) + (run.shutDown ? "" : " (no shutdown line: up to the last event)");
    h += " &middot; " + std::to_string(run.players.size()) + " players";
    if (run.oversizedWarnings) h += " &middot; " + std::to_string(run.oversizedWarnings) + " oversized-packet warnings";
    h += "</p>\n";

    h += "<table>\n<tr><th>Player</th><th>Address</th><th>Sessions</th><th>Events</th><th>Blocks</th></tr>\n";
    for (const Player& p : run.players) {
        h += "<tr><td>" + escapeHtml(p.name.empty() ? "(no session)" : p.name);
        for (const std::string& n : p.otherNames) h += "<br>also " + escapeHtml(n);
        h += "</td><td>" + escapeHtml(p.ip) + ":" + std::to_string(p.port) + "</td><td class=\"num\">" +
             std::to_string(p.sessions);
        if (!p.sessionNumbers.empty()) {
            h += " (#";
            for (size_t i = 0; i < p.sessionNumbers.size(); ++i)
                h += (i ? ", #" : "") + std::to_string(p.sessionNumbers[i]);
            h += ")";
        }
        h += "</td><td>";
        bool first = true;
        for (const auto& [event, n] : p.counts) {
            h += (first ? "" : ", ") + escapeHtml(event) + " &times;" + std::to_string(n);
            first = false;
        }
        h += "</td><td>";
        if (p.blocks.empty()) h += "&ndash;";
        for (size_t i = 0; i < p.blocks.size(); ++i) {
            const Block& b = p.blocks[i];
            h += (i ? "<br>" : "") + escapeHtml(b.reason) + " at " + clock(b.from) + " for " +
                 std::to_string(b.to - b.from) + " s" + (b.open ? " (not lifted in the log)" : "");
        }
        h += "</td></tr>\n";
    }
    h += "</table>\n<h2 style=\"font-size:16px\">Timeline</h2>\n<div class=\"legend\">";
    std::set<std::string> seen;
    for (const Player& p : run.players)
        for (const auto& kv : p.counts) seen.insert(kv.first);
    for (const Style& st : kStyles) {
        if (!seen.count(st.event)) continue;
        h += "<span><svg width=\"14\" height=\"14\" viewBox=\"0 0 14 14\">" + shape(st, 7, 7, st.event) + "</svg>" +
             escapeHtml(st.event) + "</span>";
    }
    h += "<span><svg width=\"14\" height=\"14\"><rect width=\"14\" height=\"14\" fill=\"#d62728\" fill-opacity=\"0.22\" "
         "stroke=\"#d62728\"/></svg>blocked</span></div>\n";
    h += renderTimeline(run);
    h += "</body>\n</html>\n";
    return h;
}

}  // namespace vkreport
