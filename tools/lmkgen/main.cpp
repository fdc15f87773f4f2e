// lmkgen: writes (or lists) a landmark file of the monitor: a 99-byte head, then 63-byte records
// with a kind byte and the place's latitude, longitude and altitude as little-endian floats.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "monitor/landmarks.h"

namespace {

const char* kUsage =
    "usage: lmkgen -o OUT.dat [RECORDS]   write a landmark file from record lines (default: stdin)\n"
    "       lmkgen -d FILE.dat            list a landmark file's records\n"
    "Record lines: LAT LON ALT [kind=K] [NAME...]   (degrees, degrees, altitude; kind 0 takes part\n"
    "in the drome check, any other kind does not; '#' starts a remark). A record of latitude 0\n"
    "never takes part either.\n";

void putFloat(uint8_t* p, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

float getFloat(const uint8_t* p) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(p[i]) << (8 * i);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}

// Name text lives in record bytes 24..62, which the monitor does not read.
constexpr int kRecName = 24;

int write(const std::string& out, std::istream& in) {
    std::vector<uint8_t> file(vkst::kLandmarkHead, 0);
    const char head[] = "Volkar landmarks (lmkgen)";
    std::memcpy(file.data(), head, sizeof head);
    std::string line;
    int n = 0, count = 0;
    while (std::getline(in, line)) {
        ++n;
        if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream is(line);
        double lat, lon, alt;
        if (!(is >> lat)) continue;
        if (!(is >> lon >> alt) || !std::isfinite(lat) || !std::isfinite(lon) || !std::isfinite(alt)) {
            std::fprintf(stderr, "lmkgen: line %d: expected LAT LON ALT [kind=K] [NAME]\n", n);
            return 2;
        }
        int kind = 0;
        std::string word, name;
        while (is >> word) {
            if (word.rfind("kind=", 0) == 0 && name.empty()) {
                kind = std::atoi(word.c_str() + 5);
                if (kind < 0 || kind > 255) {
                    std::fprintf(stderr, "lmkgen: line %d: kind must be 0 to 255\n", n);
                    return 2;
                }
            } else {
                name += (name.empty() ? "" : " ") + word;
            }
        }
        uint8_t rec[vkst::kLandmarkRecord] = {};
        rec[vkst::kRecKind] = static_cast<uint8_t>(kind);
        putFloat(rec + vkst::kRecLat, static_cast<float>(lat));
        putFloat(rec + vkst::kRecLon, static_cast<float>(lon));
        putFloat(rec + vkst::kRecAlt, static_cast<float>(alt));
        std::memcpy(rec + kRecName, name.data(), std::min<size_t>(name.size(), vkst::kLandmarkRecord - kRecName - 1));
        file.insert(file.end(), rec, rec + sizeof rec);
        ++count;
    }
    std::ofstream o(out, std::ios::binary | std::ios::trunc);
    o.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    o.close();
    if (!o) {
        std::fprintf(stderr, "lmkgen: cannot write %s\n", out.c_str());
        return 1;
    }
    std::fprintf(stderr, "lmkgen: wrote %d records to %s\n", count, out.c_str());
    return 0;
}

int dump(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "lmkgen: cannot open %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    long size = static_cast<long>(file.size());
    long n = size < vkst::kLandmarkHead ? 0 : (size - vkst::kLandmarkHead) / vkst::kLandmarkRecord;
    std::printf("%s: %ld records\n", path.c_str(), n);
    for (long k = 1; k <= n; ++k) {
        const uint8_t* r = file.data() + 36 + vkst::kLandmarkRecord * k;
        std::string name(reinterpret_cast<const char*>(r + kRecName),
                         strnlen(reinterpret_cast<const char*>(r + kRecName), vkst::kLandmarkRecord - kRecName));
        std::printf("#%ld  %.5f %.5f %.1f kind=%d %s\n", k, getFloat(r + vkst::kRecLat), getFloat(r + vkst::kRecLon),
                    getFloat(r + vkst::kRecAlt), r[vkst::kRecKind], name.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string a = argc > 1 ? argv[1] : "";
    if (a == "-o" && (argc == 3 || argc == 4)) {
        if (argc == 3) return write(argv[2], std::cin);
        std::ifstream in(argv[3]);
        if (!in) {
            std::fprintf(stderr, "lmkgen: cannot open %s\n", argv[3]);
            return 1;
        }
        return write(argv[2], in);
    }
    if (a == "-d" && argc == 3) return dump(argv[2]);
    std::fputs(kUsage, stderr);
    return 2;
}
