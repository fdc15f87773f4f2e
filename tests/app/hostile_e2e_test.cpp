// Strangers against the headless client as a program: connections that come and go by the
// thousand, and idle, slow, huge and flooding peers while the secure-server simulator holds a
// real conversation.
#include <gtest/gtest.h>

#include <dirent.h>
#include <poll.h>

#include <atomic>
#include <sstream>
#include <thread>
#include <vector>

#include "client/core/connections.h"
#include "tests/app/client_process.h"
#include "tools/secsim/secsim.h"

namespace vk::test {
namespace {

int OpenDescriptorsOf(pid_t pid) {
    DIR* d = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (!d) return -1;
    int n = 0;
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
    return n;
}

// Waits until the client holds count descriptors; returns the last count seen.
int WaitForDescriptors(pid_t pid, int count, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int n = OpenDescriptorsOf(pid);
    while (n != count && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        n = OpenDescriptorsOf(pid);
    }
    return n;
}

int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// True once the peer (the client) has closed the connection, within timeoutMs.
bool ClosedByPeer(int fd, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[256];
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
    }
    return false;
}

TEST_F(ClientProgram, DescriptorsComeBackAfterAThousandConnections) {
    ListeningClient client(27989);
    ClientProcess& c = client.c;
    ASSERT_TRUE(client.ready) << c.log();
    const int start = OpenDescriptorsOf(c.pid());
    ASSERT_GT(start, 0);
    for (int i = 0; i < 1000; ++i) {
        const int fd = Connect(50989);
        ASSERT_GE(fd, 0) << i;
        if (i % 2) {  // half of them reset instead of closing in order
            linger abortive{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        }
        ::close(fd);
        if (i % 4 == 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));  // stay inside the backlog
    }
    EXPECT_EQ(WaitForDescriptors(c.pid(), start, 10000), start) << c.log().substr(0, 2000);

    // Held connections, more than the limit, closed together.
    std::vector<int> held;
    for (int i = 0; i < 40; ++i) held.push_back(Connect(50989));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(OpenDescriptorsOf(c.pid()), start + static_cast<int>(kMaxConnections));
    for (int fd : held) ::close(fd);
    EXPECT_EQ(WaitForDescriptors(c.pid(), start, 10000), start);
    EXPECT_TRUE(c.waitFor("==> 16 connections open, new connections are refused")) << c.log().substr(0, 2000);
    c.terminate();
    EXPECT_EQ(c.wait(), 0);
}

TEST_F(ClientProgram, StrangersDoNotDisturbARealConversation) {
    ListeningClient client(27990);
    ClientProcess& c = client.c;
    ASSERT_TRUE(client.ready) << c.log();

    std::atomic<bool> stop{false};
    std::atomic<int> idleClosed{0}, slowClosed{0}, hugeClosed{0}, floods{0};
    std::vector<std::thread> strangers;
    // Idle: connect and send nothing.
    strangers.emplace_back([&] {
        std::vector<int> fds;
        for (int i = 0; i < 4; ++i) fds.push_back(Connect(50990));
        for (int fd : fds) {
            idleClosed += ClosedByPeer(fd, static_cast<int>(kFirstRequestMs) + 5000);
            ::close(fd);
        }
    });
    // Slow: one byte of a request every 300 ms.
    strangers.emplace_back([&] {
        const int fd = Connect(50990);
        const std::string request = "check=plyr-cfg.txt=data\\|-*|";
        for (size_t i = 0; i < request.size() && !stop; ++i) {
            if (::send(fd, &request[i], 1, MSG_NOSIGNAL) != 1) break;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 300) > 0) break;  // closed by the client
        }
        slowClosed += ClosedByPeer(fd, 5000);
        ::close(fd);
    });
    // Huge: 1 MB without a terminator.
    strangers.emplace_back([&] {
        const int fd = Connect(50990);
        const std::string block(64 * 1024, 'x');
        for (int i = 0; i < 16; ++i)
            if (::send(fd, block.data(), block.size(), MSG_NOSIGNAL) < 0) break;
        hugeClosed += ClosedByPeer(fd, 5000);
        ::close(fd);
    });
    // Flooding: connections opened and closed as fast as they go, some with half a request.
    strangers.emplace_back([&] {
        while (!stop) {
            const int fd = Connect(50990);
            if (fd < 0) continue;
            if (floods % 3 == 0) (void)::send(fd, "ver", 3, MSG_NOSIGNAL);
            ::close(fd);
            ++floods;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });

    secsim::Options o = secsim::DefaultOptions();
    o.port = 50990;
    o.gameFolder = client.g.root();
    o.gapMs = 5000;  // the clock check allows 5 %: 250 ms of delay on a loaded machine
    std::ostringstream report;
    const secsim::Report r = secsim::Run(o, report);
    stop = true;
    for (auto& t : strangers) t.join();

    EXPECT_TRUE(r.connected) << report.str();
    EXPECT_EQ(r.mismatches, 0) << report.str();
    EXPECT_GT(r.answersChecked, 0);
    EXPECT_TRUE(c.waitFor("[status] Go Fly Now.... Salute!")) << c.log().substr(0, 4000);
    EXPECT_FALSE(c.logged("Your PC is speeding"));
    EXPECT_EQ(idleClosed, 4);
    EXPECT_EQ(slowClosed, 1);
    EXPECT_EQ(hugeClosed, 1);
    EXPECT_GT(floods, 100);
    EXPECT_TRUE(c.logged("): no request in 10 s")) << c.log().substr(0, 4000);
    c.terminate();
    EXPECT_EQ(c.wait(), 0);
}

}  // namespace
}  // namespace vk::test
