#pragma once
// Detector and landmark state kept by the monitor for the whole run (owned by decode/landmarks).
#include <cstdint>
#include <cstdio>

namespace vkst {

// The detector clock. Millisecond values are 32-bit and wrap; only their differences are used.
struct DecodeState {
    int64_t lastTickSec = INT64_MIN / 2;  // long ago: the first message to reach the tick starts one
    bool windowOpen = false;              // position/damage sampling window after a tick
    uint32_t windowStart = 0;             // message clock at the last tick (ms)
    uint32_t messageClock = 0;            // capture time of the last message seen in the window (ms)
    char chat[100] = {};                  // lower-cased chat text of the message being judged
};

// The map's landmark file, open for the run, and the calibration of its grid values.
struct LandmarkState {
    std::FILE* file = nullptr;
    uint32_t count = 0;  // records in the file
    double latScale = 0, latOffset = 0, lonScale = 0, lonOffset = 0;

    LandmarkState() = default;
    LandmarkState(const LandmarkState&) = delete;
    LandmarkState& operator=(const LandmarkState&) = delete;
    ~LandmarkState() {
        if (file) std::fclose(file);
    }
};

}  // namespace vkst
