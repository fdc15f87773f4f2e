// The gamegen and lmkgen programs as an operator runs them.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "monitor/landmarks.h"
#include "monitor/monitor.h"

namespace vkdetect {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kBin = std::string(VK_BINARY_DIR) + "/bin/";

struct Output {
    int status;
    std::string text;
};

Output run(const std::string& cmd) {
    Output o{-1, ""};
    std::FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return o;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) o.text.append(buf, n);
    int st = pclose(p);
    o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return o;
}

class Tools : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vktools-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string file(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
        return (dir_ / name).string();
    }
    std::filesystem::path dir_;
};

// Send mode: each player's datagrams leave from its own address and port, in order, to the
// loopback address given.
TEST_F(Tools, GamegenSendsTheDatagramsOverLoopback) {
    int rx = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(rx, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(rx, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(rx, reinterpret_cast<sockaddr*>(&a), &len);
    int port = ntohs(a.sin_port);
    std::mt19937 rng(static_cast<unsigned>(getpid()));
    int p1 = 40000 + static_cast<int>(rng() % 20000), p2 = p1 + 1;
    std::string scen = file("s.txt", "player Kestrel 127.0.0.5:" + std::to_string(p1) + "\nplayer Falke 127.0.0.6:" +
                                         std::to_string(p2) +
                                         "\nat 0 Kestrel goldroom\nat 0.5 Falke observe\nat 1 Kestrel chat hi\n");
    Output o = run(kBin + "gamegen " + scen + " -s 127.0.0.1:" + std::to_string(port) + " --speed 20");
    ASSERT_EQ(o.status, 0) << o.text;
    EXPECT_THAT(o.text, HasSubstr("gamegen: sent 3 datagrams to 127.0.0.1:" + std::to_string(port)));
    std::vector<std::string> got;
    for (int i = 0; i < 3; ++i) {
        pollfd pf{rx, POLLIN, 0};
        if (poll(&pf, 1, 2000) != 1) break;
        uint8_t buf[1500];
        sockaddr_in from{};
        socklen_t fl = sizeof from;
        ssize_t n = recvfrom(rx, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fl);
        char ip[16];
        inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip);
        got.push_back(std::string(ip) + ":" + std::to_string(ntohs(from.sin_port) - p1) + " " + std::to_string(n) +
                      " code " + std::to_string(buf[3 + 3]));
    }
    close(rx);
    EXPECT_THAT(got, ElementsAre("127.0.0.5:0 36 code 35", "127.0.0.6:1 12 code 28", "127.0.0.5:0 19 code 18"));
}

TEST_F(Tools, GamegenRefusesWhatItCannotDo) {
    std::string scen = file("s.txt", "player Kestrel 10.0.0.5:2301\nat 0 Kestrel observe\n");
    Output far = run(kBin + "gamegen " + scen + " -s 192.0.2.1:2300");
    EXPECT_EQ(far.status, 2);
    EXPECT_THAT(far.text, HasSubstr("refusing to send to 192.0.2.1: only loopback"));
    Output bind = run(kBin + "gamegen " + scen + " -s 127.0.0.1:9");
    EXPECT_EQ(bind.status, 2);
    EXPECT_THAT(bind.text, HasSubstr("player Kestrel: cannot send from 10.0.0.5:2301"));
    Output bad = run(kBin + "gamegen " + file("b.txt", "player A 10.0.0.1:1\nat 1 A fly\n") + " -l");
    EXPECT_EQ(bad.status, 2);
    EXPECT_THAT(bad.text, HasSubstr("b.txt: line 2: unknown message 'fly'"));
    Output usage = run(kBin + "gamegen");
    EXPECT_EQ(usage.status, 2);
    EXPECT_THAT(usage.text, HasSubstr("usage: gamegen SCENARIO -w OUT.pcap"));
}

TEST_F(Tools, GamegenListsTheDatagrams) {
    Output o = run(kBin + "gamegen " +
                   file("s.txt", "player Kestrel 10.0.0.5:2301\nfrom 1 to 1.5 every 0.25 Kestrel observe\n") + " -l");
    ASSERT_EQ(o.status, 0) << o.text;
    EXPECT_EQ(o.text,
              "   1.000000  Kestrel          10.0.0.5:2301  12 bytes: 07 00 00 1c 00 00 00 00 00\n"
              "   1.250000  Kestrel          10.0.0.5:2301  12 bytes: 07 00 00 1c 00 00 00 00 00\n");
}

// lmkgen writes the layout the monitor reads: the monitor counts its records and matches them.
TEST_F(Tools, LmkgenWritesWhatTheMonitorReads) {
    std::string recs = file("r.txt",
                            "# aerodromes\n48.9590 4.3700 150 Chalons-Ecury\n\n"
                            "48.5500 3.9000 300 kind=1 Balloon park\n");
    std::string out = (dir_ / "lndmrks0.dat").string();
    Output w = run(kBin + "lmkgen -o " + out + " " + recs);
    ASSERT_EQ(w.status, 0) << w.text;
    EXPECT_EQ(std::filesystem::file_size(out), 99u + 2 * 63);
    std::ifstream in(out, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    float lat;
    std::memcpy(&lat, &bytes[36 + 63 + 8], 4);  // record 1
    EXPECT_FLOAT_EQ(lat, 48.959f);
    EXPECT_EQ(bytes[36 + 63 + 5], 0);
    EXPECT_EQ(bytes[36 + 126 + 5], 1);  // record 2: kind
    auto m = std::make_unique<vkst::Monitor>();
    vkst::StringSink sink;
    m->io.out = m->io.err = &sink;
    m->io.dir = dir_.string();
    EXPECT_EQ(vkst::loadLandmarks(*m, "MARNE.MAP\n"), 2u);
    vkst::closeLandmarks(*m);

    Output d = run(kBin + "lmkgen -d " + out);
    EXPECT_THAT(d.text, HasSubstr("2 records\n#1  48.95900 4.37000 150.0 kind=0 Chalons-Ecury\n"
                                  "#2  48.55000 3.90000 300.0 kind=1 Balloon park\n"));
    Output bad = run(kBin + "lmkgen -o " + out + " " + file("bad.txt", "48.1 2.0\n"));
    EXPECT_EQ(bad.status, 2);
    EXPECT_THAT(bad.text, HasSubstr("line 1: expected LAT LON ALT"));
}

}  // namespace
}  // namespace vkdetect
