#pragma once
// Landmark files of the five maps and the aerodrome-location check.
#include <cstdint>
#include <cstring>
#include <string>

namespace vkst {

struct Monitor;

// One row of the map table: the keyword looked for in the map name, the landmark file and the
// calibration that turns the grid values of position messages into degrees.
struct MapRow {
    const char* keyword;
    const char* file;
    double latScale;
    double latOffset;
    double lonScale;
    double lonOffset;
};

inline constexpr MapRow kMapTable[] = {
    {"MARNE", "lndmrks0.dat", 2.74362e-06, 48.42499998, 4.13702e-06, 2.532887013},
    {"FLANDERS", "lndmrks1.dat", 2.74962e-06, 49.86137972, 4.3646e-06, 1.810303379},
    {"VERDUN", "lndmrks2.dat", 2.74962e-06, 48.33505374, 4.12951e-06, 4.556594713},
    {"ALSACE", "lndmrks3.dat", 2.74962e-06, 47.70279, 4.11e-06, 5.863366},
    {"ISLAND", "lndmrks4.dat", 2.74571e-06, 48.42490778, 4.17012e-06, 2.515686519},
};

// The first row whose keyword occurs anywhere in the map name, in table order; null for none.
inline const MapRow* findMapRow(const char* mapName) {
    for (const MapRow& row : kMapTable)
        if (std::strstr(mapName, row.keyword)) return &row;
    return nullptr;
}

// Landmark file layout: a 99-byte head, then records of 63 bytes; record k (from 1) begins at
// byte 36 + 63 k. Only the kind byte and three little-endian floats are read.
inline constexpr long kLandmarkHead = 99;
inline constexpr long kLandmarkRecord = 63;
inline constexpr int kRecKind = 5;
inline constexpr int kRecLat = 8;
inline constexpr int kRecLon = 12;
inline constexpr int kRecAlt = 16;

// Selects the map's row, opens its landmark file for the run and counts its records.
// Throws Fatal when the map name has no keyword or the file cannot be opened.
uint32_t loadLandmarks(Monitor& m, const std::string& mapName);

// Once per detector tick: judges every session at its fourth in-game tick against the file.
void checkDromes(Monitor& m);

// Closes the landmark file (shutdown).
void closeLandmarks(Monitor& m);

}  // namespace vkst
