#include "monitor/landmarks.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "monitor/monitor.h"

namespace vkst {
namespace {

constexpr double kLatLonTolerance = 0.025;  // degrees
constexpr double kAltTolerance = 40.0;

float floatAt(const uint8_t* p) {
    uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                 static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    float f;
    std::memcpy(&f, &v, sizeof f);
    return f;
}

// Records are read in order from record 1, so one seek serves the whole search and the reads
// stay buffered (a join of many players at once checks every record for each of them).
bool seekFirstRecord(std::FILE* f) { return std::fseek(f, 36 + kLandmarkRecord, SEEK_SET) == 0; }

bool readRecord(std::FILE* f, uint8_t rec[kLandmarkRecord]) {
    return std::fread(rec, 1, kLandmarkRecord, f) == static_cast<size_t>(kLandmarkRecord);
}

}  // namespace

uint32_t loadLandmarks(Monitor& m, const std::string& mapName) {
    const MapRow* row = findMapRow(mapName.c_str());
    if (!row) throw Fatal{"Wrong map name!\n", -1, 5};
    LandmarkState& l = m.landmarks;
    closeLandmarks(m);
    l.file = std::fopen(pathIn(m, row->file).c_str(), "rb");
    if (!l.file) throw Fatal{std::string("\nERROR -- Can't find ") + row->file + "!\n\n", -1, 5};
    l.latScale = row->latScale;
    l.latOffset = row->latOffset;
    l.lonScale = row->lonScale;
    l.lonOffset = row->lonOffset;
    // Counted by reading, as the file may be a pipe or a device as well as a plain file.
    uint64_t size = 0;
    char piece[100];
    for (;;) {
        size_t n = std::fread(piece, 1, sizeof piece, l.file);
        size += n;
        if (n < sizeof piece) {
            if (std::ferror(l.file)) sayErr(m, "Read error: %s\n", std::strerror(errno));
            break;
        }
    }
    std::clearerr(l.file);
    uint64_t records = size < static_cast<uint64_t>(kLandmarkHead) ? 0 : (size - kLandmarkHead) / kLandmarkRecord;
    // Record offsets are seeked as long; a file too large for them is counted only that far.
    const uint64_t most = (static_cast<uint64_t>(LONG_MAX) - 36) / kLandmarkRecord - 1;
    l.count = static_cast<uint32_t>(std::min<uint64_t>({records, most, UINT32_MAX}));
    return l.count;
}

void checkDromes(Monitor& m) {
    LandmarkState& l = m.landmarks;
    char now[9];
    for (Session& s : m.sessions) {
        if (!s.inUse || s.inGameTicks != 4) continue;
        const int slot = static_cast<int>(&s - m.sessions.data());
        double lat = s.latGrid * l.latScale + l.latOffset;
        double lon = s.lonGrid * l.lonScale + l.lonOffset;
        unsigned long alt = s.altitude;
        say(m, "%s drome location (LAT,LON,ALT) is %2.2f, %2.2f, %lu\n", s.name, lat, lon, alt);
        uint32_t match = 0;
        uint8_t rec[kLandmarkRecord];
        bool readable = l.file && l.count > 0 && seekFirstRecord(l.file);
        for (uint32_t k = 1; readable && k <= l.count; ++k) {
            if (!readRecord(l.file, rec)) break;
            float rlat = floatAt(rec + kRecLat);
            if (rec[kRecKind] != 0 || rlat == 0.0f) continue;
            if (std::fabs(rlat - lat) < kLatLonTolerance &&
                std::fabs(floatAt(rec + kRecLon) - lon) < kLatLonTolerance &&
                std::fabs(floatAt(rec + kRecAlt) - static_cast<double>(alt)) < kAltTolerance) {
                match = k;
                break;
            }
        }
        freshTime(m, now);
        if (match) {
            say(m, "%s drome number is #%d\n", s.name, static_cast<int>(match));
            eventLine(m, now, s.ipText, s.port, " %s, DROME LOC, DROME LOC, #%d @ %2.2f-%2.2f-%lu, \n", s.name,
                      static_cast<int>(match), lat, lon, alt);
            jsonSessionEvent(m, monitorNow(m), slot, "DROME LOC", "#%d @ %2.2f-%2.2f-%lu", static_cast<int>(match), lat,
                             lon, alt);
            continue;
        }
        eventPrefix(m, now, s.ipText, s.port);
        say(m, "INCORRECT DROME LOCATION from %s\n", s.name);
        logf(m, " %s, BAD DROME LOC, BAD DROME LOC, %2.2f-%2.2f-%lu, \n", s.name, lat, lon, alt);
        jsonSessionEvent(m, monitorNow(m), slot, "BAD DROME LOC", "%2.2f-%2.2f-%lu", lat, lon, alt);
        if (m.settings.NETonLocation != 0)
            scheduleBlock(m, s.ipText, s.port, BlockMode::Immediate, 1, "BAD DROME LOC");
    }
}

void closeLandmarks(Monitor& m) {
    if (m.landmarks.file) std::fclose(m.landmarks.file);
    m.landmarks.file = nullptr;
}

}  // namespace vkst
