#pragma once
// A monitor run in a temporary folder, with captured console, recorded routes and shell calls,
// a virtual clock and scripted keys.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "platform/clock.h"
#include "platform/console_keys.h"
#include "platform/routes.h"

namespace vkst::test {

// Event times are local; the tests read them in UTC.
inline void useUtc() {
    setenv("TZ", "UTC", 1);
    tzset();
}

class RunFolder {
public:
    RunFolder() {
        char tmpl[] = "/tmp/vkst-test-XXXXXX";
        dir = mkdtemp(tmpl);
    }
    ~RunFolder() { std::filesystem::remove_all(dir); }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
    }
    std::string read(const std::string& name) const {
        std::ifstream f(dir + "/" + name, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir + "/" + name); }
    void remove(const std::string& name) const { std::filesystem::remove(dir + "/" + name); }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::string dir;
};

// 2026-12-10 21:04:00 UTC
inline constexpr std::time_t kStart = 1796936640;

inline const char* kScs = "port=2300;\r\n";
inline const char* kIni = "USEMAP=Marne.map\r\nGAMELENGTHINSECONDS=600\r\n";
inline const char* kVkstIni =
    "nicNumber=-1;\r\n"
    "NETblockTime=35;\r\n"
    "DerouteIP=192.0.2.254;\r\n"
    "TestUDP=0;\r\n";

struct Harness {
    explicit Harness(const RunFolder& f) : folder(f), m(std::make_unique<Monitor>()) {
        useUtc();
        m->io.out = &out;
        m->io.err = &err;
        m->io.clock = &clock;
        m->io.keys = &keys;
        m->io.routes = &routes;
        m->io.dir = folder.dir;
        m->io.shellOpen = [this](const std::string& file) {
            shell.push_back(file);
            return shellResult(file);
        };
        m->io.hostAddresses = [this](std::vector<std::string>& a) {
            if (!hostOk) return false;
            a = addresses;
            return true;
        };
        keys.now = [this] { return monitorNow(*m); };
    }
    // The three settings files and an empty landmark file of the map MARNE.
    void standardFiles(const std::string& vkstIni = kVkstIni) const {
        folder.write("vk2server.scs", kScs);
        folder.write("vk2server.ini", kIni);
        folder.write("VKST.ini", vkstIni);
        folder.write("lndmrks0.dat", std::string(99, '\0'));
    }
    // Opens the event log as start-up would, without reading any settings.
    void openLog() {
        m->log = std::fopen(folder.path("VKST.csv").c_str(), "ab");
        ASSERT_NE(m->log, nullptr);
    }
    std::string log() const {
        if (m->log) std::fflush(m->log);
        return folder.read("VKST.csv");
    }
    int run(const std::vector<std::string>& args) { return runMonitor(*m, args); }

    const RunFolder& folder;
    std::unique_ptr<Monitor> m;
    StringSink out, err;
    vk::VirtualClock clock{1000, kStart};
    vk::ScriptedKeys keys;
    vk::RecordedRoutes routes;
    std::vector<std::string> shell;
    std::function<int(const std::string&)> shellResult = [](const std::string&) { return 42; };
    bool hostOk = true;
    std::vector<std::string> addresses{"192.0.2.10", "127.0.0.1"};
};

// "\n" line ends as the event log writes them.
inline std::string crlf(const std::string& text) {
    std::string r;
    for (char c : text) {
        if (c == '\n') r += '\r';
        r += c;
    }
    return r;
}

}  // namespace vkst::test
