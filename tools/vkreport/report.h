#pragma once
// Reading a VKST event log (VKST.csv, one or more runs, also logs of older versions) and writing
// one self-contained HTML page per run: a player table and an SVG timeline, readable offline.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vkreport {

struct Block {
    int64_t from = 0;  // seconds since the run began
    int64_t to = 0;
    std::string reason;
    bool open = false;  // not lifted before the log ends
};

struct Mark {
    int64_t at = 0;  // seconds since the run began
    std::string event;
    std::string detail;
};

struct Player {
    std::string ip;
    int port = 0;
    std::string name;                 // first name seen ("" before any)
    std::vector<std::string> otherNames;
    int sessions = 0;                 // NEW SESSION lines
    std::vector<int> sessionNumbers;
    std::map<std::string, int> counts;  // events by kind
    std::vector<Block> blocks;
    std::vector<Mark> marks;
};

struct Run {
    int number = 0;          // 1, 2 ... in file order
    int firstLine = 0;
    std::string date;        // MM/DD/YY of the header ("" if the run has none)
    std::string startTime;   // HH:MM:SS of the header
    std::string version;
    std::string server;      // "address:port"
    std::string listening;
    bool shutDown = false;   // the shutdown line was found
    int64_t length = 0;      // seconds from the header to the shutdown (or the last event)
    int oversizedWarnings = 0;
    std::vector<Player> players;  // in order of first appearance
};

struct Log {
    std::vector<Run> runs;
    std::vector<std::string> warnings;  // "line N: ..." for every line skipped
};

Log parseLog(const std::string& text);
// The HTML page of one run; `source` names the log in the page.
std::string renderHtml(const Run& run, const std::string& source);
// The SVG timeline alone (embedded in the page).
std::string renderTimeline(const Run& run);
// Text made safe for HTML: markup characters as entities, control bytes as '?', 8-bit bytes as
// numeric references of their Latin-1 characters.
std::string escapeHtml(const std::string& bytes);

}  // namespace vkreport
