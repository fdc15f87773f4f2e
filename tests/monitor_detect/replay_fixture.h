#pragma once
// A replay of a generated capture through the whole monitor, in a temporary folder that holds the
// three settings files and the landmark file; the console, the error stream and VKST.csv are kept.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "platform/clock.h"
#include "platform/console_keys.h"
#include "tools/gamegen/scenario.h"

namespace vkdetect {

inline std::vector<std::string> splitLines(const std::string& text, const std::string& end) {
    std::vector<std::string> out;
    size_t start = 0, at;
    while ((at = text.find(end, start)) != std::string::npos) {
        out.push_back(text.substr(start, at - start));
        start = at + end.size();
    }
    if (start < text.size()) out.push_back(text.substr(start));
    return out;
}

struct RunResult {
    int status = 0;
    std::string out, err, csv, json;

    // Console text between the start-up and the shutdown.
    std::string loopText() const {
        const std::string begin = "Type '?' for a command list\n\n";
        const std::string end = "\n\nVKSTerminator shutting down...\n";
        size_t b = out.find(begin);
        size_t e = out.rfind(end);
        if (b == std::string::npos || e == std::string::npos || e < b) return "<no loop in console>\n" + out;
        b += begin.size();
        return out.substr(b, e - b);
    }
    std::vector<std::string> loopLines() const { return splitLines(loopText(), "\n"); }
    // Event lines of VKST.csv: the lines after the run's header up to its shutdown line.
    std::vector<std::string> events() const {
        std::vector<std::string> all = splitLines(csv, "\r\n");
        std::vector<std::string> out;
        bool in = false;
        for (const std::string& l : all) {
            if (l.rfind("Listening on ", 0) == 0) {
                in = true;
                continue;
            }
            if (l.rfind("VKS Terminator shutting down", 0) == 0) break;
            if (in && !l.empty()) out.push_back(l);
        }
        return out;
    }
};

struct Flags {
    int observe = 0, repair = 0, enterRepair = 0, speeder = 0, freeze = 0, checksum = 0, location = 0,
        flamer = 0, smoke = 0, badChat = 0, wallRide = 0;
    int blockTime = 35;
    int enterRepairTime = 20;
    std::string checksumPair = "12-200";
    std::vector<std::string> phrases = {"cheat", "-", "-", "-", "-", "-", "-", "-"};
};

// Landmark records as the file holds them: kind byte and three floats.
struct Landmark {
    float lat, lon, alt;
    int kind = 0;
};

inline std::string landmarkFile(const std::vector<Landmark>& recs, size_t extraBytes = 0) {
    std::string f(99, '\0');
    for (const Landmark& r : recs) {
        std::string rec(63, '\0');
        rec[5] = static_cast<char>(r.kind);
        std::memcpy(&rec[8], &r.lat, 4);
        std::memcpy(&rec[12], &r.lon, 4);
        std::memcpy(&rec[16], &r.alt, 4);
        f += rec;
    }
    f += std::string(extraBytes, '\0');
    return f;
}

class ReplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        char tmpl[] = "/tmp/vkdetect-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        file("lndmrks0.dat", landmarkFile({}));
        file("vk2server.scs", "port=2300;\r\n");
        file("vk2server.ini", "USEMAP=MARNE.MAP\r\nGAMELENGTHINSECONDS=0\r\n");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    void file(const std::string& name, const std::string& bytes) {
        std::ofstream o(dir_ / name, std::ios::binary | std::ios::trunc);
        o << bytes;
    }

    static std::string ini(const Flags& f) {
        std::ostringstream o;
        o << "NETonObserve=" << f.observe << ";\r\nNETonRepair=" << f.repair << ";\r\nNETonEnterRepair="
          << f.enterRepair << ";\r\nNETonSpeeder=" << f.speeder << ";\r\nNETonFreeze=" << f.freeze
          << ";\r\nNETonChecksum=" << f.checksum << ";\r\nNETonLocation=" << f.location << ";\r\nNETonFlamer="
          << f.flamer << ";\r\nNETonSmoke=" << f.smoke << ";\r\nNETonBadChat=" << f.badChat
          << ";\r\nNETonWallRide=" << f.wallRide << ";\r\nCloseOnTimedGame=0;\r\nnicNumber=-1;\r\n"
          << "NETblockTime=" << f.blockTime << ";\r\nDerouteIP=192.0.2.1;\r\nEnterRepairTime=" << f.enterRepairTime
          << ";\r\nChecksum=" << f.checksumPair << ";\r\nTestUDP=0;\r\n// phrases\r\n";
        for (const std::string& p : f.phrases) o << "phrase='" << p << "'\r\n";
        return o.str();
    }

    // Generates the scenario's capture and replays it with VKST -r.
    RunResult replay(const std::string& scenario, const Flags& flags = {}) {
        return replayWithIni(scenario, ini(flags));
    }
    // The same with VKST.ini as given (an IgnoreIP line, the sample match's settings...).
    RunResult replayWithIni(const std::string& scenario, const std::string& vkstIni) {
        file("VKST.ini", vkstIni);
        std::string cap = (dir_ / "match.pcap").string();
        vkgen::writeCapture(vkgen::parseScenarioText(scenario), cap);
        auto m = std::make_unique<vkst::Monitor>();
        vkst::StringSink out, err;
        vk::VirtualClock clock;
        vk::ScriptedKeys keys;
        m->io.out = &out;
        m->io.err = &err;
        m->io.clock = &clock;
        m->io.keys = &keys;
        m->io.dir = dir_.string();
        m->io.hostAddresses = [](std::vector<std::string>& a) {
            a = {"192.168.0.10"};
            return true;
        };
        RunResult r;
        r.status = vkst::runMonitor(*m, {"-r", cap});
        m.reset();
        r.out = out.text;
        r.err = err.text;
        std::ifstream in(dir_ / "VKST.csv", std::ios::binary);
        r.csv.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        std::filesystem::remove(dir_ / "VKST.csv");
        std::ifstream js(dir_ / "VKST.json", std::ios::binary);
        r.json.assign(std::istreambuf_iterator<char>(js), std::istreambuf_iterator<char>());
        std::filesystem::remove(dir_ / "VKST.json");
        return r;
    }

    std::filesystem::path dir_;
};

// The scenario head most tests share: one server, a fixed start (12:00:00 UTC).
inline const char* kHead =
    "server 192.168.0.10:2300\n"
    "start @1796472000\n";

}  // namespace vkdetect
