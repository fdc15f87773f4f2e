// Helper of bench/live_capture_bench.sh (not a benchmark of its own):
//   live_flood send SERVER:PORT RATE SECONDS   60 players send position datagrams at RATE a second
//                                              from 127.0.1.1-60 (a namespace's loopback); prints
//                                              the datagrams sent and the rate reached
//   live_flood bare DEVICE FILTER              a bare libpcap loop on DEVICE until SIGINT/SIGTERM;
//                                              prints "received R dropped D ifdropped I counted C"
//   live_flood index DEVICE                    DEVICE's number in libpcap's list (VKST's nicNumber)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pcap/pcap.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/gamegen/scenario.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void onStop(int) { g_stop = 1; }

int flood(const std::string& server, double rate, double seconds) {
    const size_t colon = server.rfind(':');
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(std::atoi(server.c_str() + colon + 1)));
    inet_pton(AF_INET, server.substr(0, colon).c_str(), &to.sin_addr);
    // The game server's socket: it takes the datagrams (and drops what it cannot queue) without
    // reading them, so that no "port unreachable" answers cost the sender time.
    const int server_sock = socket(AF_INET, SOCK_DGRAM, 0);
    const int small = 4096;
    setsockopt(server_sock, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    if (bind(server_sock, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        std::perror("live_flood: bind server");
        return 1;
    }
    constexpr int kPlayers = 60;
    std::vector<int> socks;
    std::vector<std::vector<uint8_t>> goldroom, position;
    for (int i = 0; i < kPlayers; ++i) {
        int s = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_port = htons(2301);
        from.sin_addr.s_addr = htonl(0x7F000100u + static_cast<uint32_t>(i + 1));
        if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) {
            std::perror("live_flood: bind");
            return 1;
        }
        socks.push_back(s);
        std::vector<uint8_t> g{0, 0, 0}, p{0, 0, 0};
        auto gm = vkgen::msgGoldRoom("Pilot" + std::to_string(i + 1), 2);
        auto pm = vkgen::msgPosition(100000 + static_cast<uint32_t>(i), 10000, 1000, 0);
        g.insert(g.end(), gm.begin(), gm.end());
        p.insert(p.end(), pm.begin(), pm.end());
        goldroom.push_back(g);
        position.push_back(p);
    }
    for (int i = 0; i < kPlayers; ++i)
        if (connect(socks[i], reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            std::perror("live_flood: connect");
            return 1;
        }
    uint64_t sent = 0, failed = 0;
    for (int i = 0; i < kPlayers; ++i)
        (send(socks[i], goldroom[i].data(), goldroom[i].size(), 0) > 0 ? sent : failed)++;
    // Batches of datagrams per player in one call each, so that the sender outruns the capture.
    constexpr int kBatch = 16;
    std::vector<iovec> iov(kPlayers);
    std::vector<std::array<mmsghdr, kBatch>> batch(kPlayers);
    for (int i = 0; i < kPlayers; ++i) {
        iov[i] = {position[i].data(), position[i].size()};
        for (mmsghdr& h : batch[i]) {
            h = {};
            h.msg_hdr.msg_iov = &iov[i];
            h.msg_hdr.msg_iovlen = 1;
        }
    }
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0;; i = (i + 1) % kPlayers) {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (elapsed >= seconds) break;
        const double due = rate * elapsed;
        if (static_cast<double>(sent) > due) {
            // Ahead of the rate: wait for the next slice rather than spin.
            usleep(100);
            continue;
        }
        const int want = static_cast<int>(std::min<double>(kBatch, due - static_cast<double>(sent) + 1));
        const int n = sendmmsg(socks[i], batch[i].data(), static_cast<unsigned>(want), 0);
        if (n > 0)
            sent += static_cast<uint64_t>(n);
        else
            ++failed;
    }
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("sent %llu failed %llu rate %.0f\n", static_cast<unsigned long long>(sent),
                static_cast<unsigned long long>(failed), static_cast<double>(sent) / took);
    return 0;
}

int bare(const std::string& device, const std::string& filter) {
    char err[PCAP_ERRBUF_SIZE] = {};
    pcap_t* p = pcap_open_live(device.c_str(), 65536, 1, 100, err);
    if (!p) {
        std::fprintf(stderr, "live_flood: %s\n", err);
        return 1;
    }
    bpf_program prog{};
    if (pcap_compile(p, &prog, filter.c_str(), 1, PCAP_NETMASK_UNKNOWN) < 0 || pcap_setfilter(p, &prog) < 0) {
        std::fprintf(stderr, "live_flood: %s\n", pcap_geterr(p));
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = onStop;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::printf("ready\n");
    std::fflush(stdout);
    // The usual way to read a busy device: every packet waiting in one call, and a wait on the
    // descriptor only when none is.
    if (pcap_setnonblock(p, 1, err) < 0) {
        std::fprintf(stderr, "live_flood: %s\n", err);
        return 1;
    }
    const int fd = pcap_get_selectable_fd(p);
    struct Counts {
        uint64_t counted = 0, sum = 0;
    } counts;
    auto onPacket = [](u_char* user, const pcap_pkthdr* h, const u_char* d) {
        auto* c = reinterpret_cast<Counts*>(user);
        ++c->counted;
        c->sum += d[h->caplen - 1];
    };
    while (!g_stop) {
        int n = pcap_dispatch(p, -1, onPacket, reinterpret_cast<u_char*>(&counts));
        if (n < 0) break;
        if (n == 0) {
            pollfd pfd{fd, POLLIN, 0};
            poll(&pfd, 1, 100);
        }
    }
    const uint64_t counted = counts.counted, sum = counts.sum;
    pcap_stat st{};
    pcap_stats(p, &st);
    std::printf("received %u dropped %u ifdropped %u counted %llu%s\n", st.ps_recv, st.ps_drop, st.ps_ifdrop,
                static_cast<unsigned long long>(counted), sum == 1 && counted == 0 ? " " : "");
    pcap_close(p);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "send") return flood(argv[2], std::atof(argv[3]), std::atof(argv[4]));
    if (argc == 4 && std::string(argv[1]) == "bare") return bare(argv[2], argv[3]);
    if (argc == 3 && std::string(argv[1]) == "index") {
        char err[PCAP_ERRBUF_SIZE];
        pcap_if_t* all = nullptr;
        if (pcap_findalldevs(&all, err) != 0) return 1;
        int i = 1, found = 0;
        for (pcap_if_t* d = all; d; d = d->next, ++i)
            if (std::string(d->name) == argv[2]) found = i;
        pcap_freealldevs(all);
        std::printf("%d\n", found);
        return found ? 0 : 1;
    }
    std::fprintf(stderr, "usage: live_flood send SERVER:PORT RATE SECONDS | live_flood bare DEVICE FILTER\n");
    return 2;
}
