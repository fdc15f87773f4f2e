// gamegen: turns a game-traffic scenario into a capture file, or sends it as UDP datagrams to a
// loopback address in real time (or faster).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tools/gamegen/scenario.h"

namespace {

const char* kUsage =
    "usage: gamegen SCENARIO -w OUT.pcap         write a capture file (Ethernet/IPv4/UDP)\n"
    "       gamegen SCENARIO -s [ADDR:PORT]      send the datagrams to a loopback address\n"
    "            [--speed F]                     ... F times faster than the scenario's clock\n"
    "       gamegen SCENARIO -l                  list the datagrams, one a line\n"
    "SCENARIO may be - for standard input. Scenario lines:\n"
    "  server ADDR:PORT              the game server (default 127.0.0.1:2300)\n"
    "  start YYYY-MM-DD HH:MM:SS     capture start in local time (or start @EPOCH)\n"
    "  map NAME                      lets positions be given as deg=LAT,LON\n"
    "  player NAME ADDR:PORT         one player\n"
    "  players N PREFIX ADDR:PORT    N players PREFIX01.., addresses counting up\n"
    "  at T WHO MSG [+ MSG...]       one datagram at T seconds (WHO: a name or all)\n"
    "  from T0 to T1 N/s WHO MSG     N datagrams a second from T0 up to T1\n"
    "  from T0 to T1 every DT WHO MSG\n"
    "Messages: goldroom [aircraft=N] [name=TEXT] | checksum A-B |\n"
    "  position [lat=X lon=Y alt=Z | deg=LAT,LON] [smoke=S] | damage [len=16..30] [same as position] |\n"
    "  repair | chat TEXT | observe | noise [len=N] | raw HEX HEX ...\n"
    "'#' starts a remark; double quotes keep spaces (chat \"gg all\").\n";

int fail(const std::string& msg) {
    std::fprintf(stderr, "gamegen: %s\n", msg.c_str());
    return 2;
}

bool isLoopback(uint32_t ip) { return (ip >> 24) == 127; }

int sendScenario(const vkgen::Scenario& s, uint32_t dstIp, uint16_t dstPort, double speed) {
    if (!isLoopback(dstIp))
        return fail("refusing to send to " + vkgen::ipText(dstIp) + ": only loopback (127.x.x.x) addresses");
    std::vector<int> socks;
    for (const vkgen::Player& p : s.players) {
        int fd = socket(AF_INET, SOCK_DGRAM, 0);
        if (fd < 0) return fail(std::string("socket: ") + std::strerror(errno));
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(p.ip);
        a.sin_port = htons(p.port);
        if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            return fail("player " + p.name + ": cannot send from " + vkgen::ipText(p.ip) + ":" +
                        std::to_string(p.port) + " (" + std::strerror(errno) +
                        "); in send mode give players loopback addresses such as 127.0.0.5");
        socks.push_back(fd);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(dstIp);
    to.sin_port = htons(dstPort);
    vkgen::DatagramStream stream(s);
    vkgen::DatagramStream::Datagram d;
    auto t0 = std::chrono::steady_clock::now();
    uint64_t sent = 0;
    while (stream.next(d)) {
        if (speed > 0) {
            auto due = t0 + std::chrono::microseconds(static_cast<int64_t>(d.timeUs / speed));
            std::this_thread::sleep_until(due);
        }
        if (sendto(socks[d.player], d.payload, d.size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0)
            std::fprintf(stderr, "gamegen: send from %s failed: %s\n", s.players[d.player].name.c_str(),
                         std::strerror(errno));
        else
            ++sent;
    }
    for (int fd : socks) close(fd);
    std::fprintf(stderr, "gamegen: sent %llu datagrams to %s:%u\n", static_cast<unsigned long long>(sent),
                 vkgen::ipText(dstIp).c_str(), dstPort);
    return 0;
}

void list(const vkgen::Scenario& s) {
    vkgen::DatagramStream stream(s);
    vkgen::DatagramStream::Datagram d;
    while (stream.next(d)) {
        const vkgen::Player& p = s.players[d.player];
        std::printf("%4lld.%06lld  %-16s %s:%u  %zu bytes:", static_cast<long long>(d.timeUs / 1000000),
                    static_cast<long long>(d.timeUs % 1000000), p.name.c_str(), vkgen::ipText(p.ip).c_str(),
                    p.port, d.size);
        for (size_t i = 3; i < d.size; ++i) std::printf(" %02x", d.payload[i]);
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string file = argv[1];
    vkgen::Scenario s;
    try {
        if (file == "-") {
            s = vkgen::parseScenario(std::cin);
        } else {
            std::ifstream in(file);
            if (!in) return fail("cannot open " + file);
            s = vkgen::parseScenario(in);
        }
    } catch (const vkgen::ScenarioError& e) {
        return fail(file + ": " + e.what());
    }
    if (s.players.empty()) return fail(file + ": no players");
    std::string mode = argv[2];
    if (mode == "-w" && argc == 4) {
        try {
            uint64_t n = vkgen::writeCapture(s, argv[3]);
            std::fprintf(stderr, "gamegen: wrote %llu packets from %zu players to %s\n",
                         static_cast<unsigned long long>(n), s.players.size(), argv[3]);
        } catch (const std::exception& e) {
            return fail(e.what());
        }
        return 0;
    }
    if (mode == "-l" && argc == 3) {
        list(s);
        return 0;
    }
    if (mode == "-s") {
        uint32_t ip = s.serverIp;
        uint16_t port = s.serverPort;
        double speed = 1.0;
        for (int i = 3; i < argc; ++i) {
            std::string a = argv[i];
            if (a == "--speed" && i + 1 < argc) {
                speed = std::atof(argv[++i]);
                if (!(speed > 0)) return fail("--speed takes a factor above 0");
            } else if (a.find(':') != std::string::npos) {
                in_addr addr{};
                std::string host = a.substr(0, a.rfind(':'));
                int p = std::atoi(a.c_str() + a.rfind(':') + 1);
                if (inet_pton(AF_INET, host.c_str(), &addr) != 1 || p < 1 || p > 65535)
                    return fail("bad destination " + a + " (expected ADDR:PORT)");
                ip = ntohl(addr.s_addr);
                port = static_cast<uint16_t>(p);
            } else {
                std::fputs(kUsage, stderr);
                return 2;
            }
        }
        return sendScenario(s, ip, port, speed);
    }
    std::fputs(kUsage, stderr);
    return 2;
}
