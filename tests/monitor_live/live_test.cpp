// VKST capturing for real: in a network namespace made by the test, on its loopback device, with
// the generator sending a speeder's traffic. The host route must exist while the block lasts,
// go when it ends, and go on SIGINT too. Needs root; skipped otherwise.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// Runs argv and gives its standard output (standard error is dropped); status in *status.
std::string output(const std::vector<std::string>& argv, int* status = nullptr) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 2);
        close(fds[0]);
        std::vector<char*> a;
        for (const auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        execvp(a[0], a.data());
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, n);
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

// Starts argv in `dir` with stdin from /dev/null and stdout/stderr to `log`.
pid_t start(const std::vector<std::string>& argv, const std::string& dir, const std::string& log) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        int in = open("/dev/null", O_RDONLY);
        int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        std::vector<char*> a;
        for (const auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        execvp(a[0], a.data());
        _exit(127);
    }
    return pid;
}

int waitExit(pid_t pid, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        int st = 0;
        if (waitpid(pid, &st, WNOHANG) == pid) return WIFEXITED(st) ? WEXITSTATUS(st) : -1000;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -2000;
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class Namespace {
public:
    Namespace() : name_("vkst-live-" + std::to_string(getpid())) {
        int st = 0;
        output({"ip", "netns", "add", name_}, &st);
        ok_ = st == 0;
        if (ok_) {
            output({"ip", "netns", "exec", name_, "ip", "link", "set", "lo", "up"}, &st);
            ok_ = st == 0;
        }
    }
    ~Namespace() { output({"ip", "netns", "del", name_}); }
    bool ok() const { return ok_; }
    const std::string& name() const { return name_; }
    std::vector<std::string> exec(std::vector<std::string> argv) const {
        argv.insert(argv.begin(), {"ip", "netns", "exec", name_});
        return argv;
    }
    std::string routes() const { return output(exec({"ip", "route", "show"})); }
    // Number of the loopback device in libpcap's list as seen inside the namespace.
    int loopbackNumber() const {
        int self = open("/proc/self/ns/net", O_RDONLY);
        int ns = open(("/run/netns/" + name_).c_str(), O_RDONLY);
        int number = 0;
        if (self >= 0 && ns >= 0 && setns(ns, CLONE_NEWNET) == 0) {
            char err[PCAP_ERRBUF_SIZE];
            pcap_if_t* all = nullptr;
            if (pcap_findalldevs(&all, err) == 0) {
                int i = 1;
                for (pcap_if_t* d = all; d; d = d->next, ++i)
                    if (std::string(d->name) == "lo") number = i;
                pcap_freealldevs(all);
            }
            setns(self, CLONE_NEWNET);
        }
        if (self >= 0) close(self);
        if (ns >= 0) close(ns);
        return number;
    }

private:
    std::string name_;
    bool ok_ = false;
};

bool waitFor(const std::function<bool()>& cond, int seconds) {
    for (int i = 0; i < seconds * 5; ++i) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

TEST(LiveCapture, SpeederIsRoutedAwayForTheBlockAndSigintLiftsTheBlock) {
    if (geteuid() != 0) GTEST_SKIP() << "the live capture test needs root (network namespaces, capture, routes)";
    Namespace ns;
    if (!ns.ok()) GTEST_SKIP() << "cannot create a network namespace here (ip netns add failed)";
    const int lo = ns.loopbackNumber();
    ASSERT_GT(lo, 0) << "no loopback device listed inside the namespace";

    char tmpl[] = "/tmp/vkst-live-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
    };
    write("vk2server.scs", "port=2300;\n");
    write("vk2server.ini", "USEMAP=MARNE\nGAMELENGTHINSECONDS=600\n");
    write("lndmrks0.dat", std::string(99, '\0'));
    write("VKST.ini", "NETonSpeeder=1;\nnicNumber=" + std::to_string(lo) +
                          ";\nNETblockTime=3;\nDerouteIP=;\nTestUDP=0;\n");
    // A speeder joins, is blocked, comes back and speeds again.
    write("speeder.scn",
          "server 127.0.0.1:2300\n"
          "player Speedy 127.0.0.5:2301\n"
          "at 0.5 Speedy goldroom\n"
          "at 1 Speedy checksum 0-0\n"
          "from 1 to 17 30/s Speedy position lat=1 lon=1 alt=1\n"
          "at 18 Speedy goldroom\n"
          "at 18.5 Speedy checksum 0-0\n"
          "from 18.5 to 40 30/s Speedy position lat=1 lon=1 alt=1\n");

    pid_t vkst = start(ns.exec({VK_BINARY_DIR "/bin/VKST"}), dir, dir + "/console.txt");
    ASSERT_TRUE(waitFor([&] { return readFile(dir + "/console.txt").find("Type '?'") != std::string::npos; }, 10))
        << readFile(dir + "/console.txt");
    pid_t gen = start(ns.exec({VK_BINARY_DIR "/bin/gamegen", dir + "/speeder.scn", "-s", "127.0.0.1:2300"}), dir,
                      dir + "/gamegen.txt");

    auto routed = [&] { return ns.routes().find("blackhole 127.0.0.5") != std::string::npos; };
    EXPECT_TRUE(waitFor(routed, 20)) << readFile(dir + "/console.txt");
    EXPECT_NE(readFile(dir + "/VKST.routes").find("127.0.0.5 2301"), std::string::npos);
    // NETblockTime 3: the route goes 4 seconds after it came.
    EXPECT_TRUE(waitFor([&] { return !routed(); }, 8)) << readFile(dir + "/console.txt");
    EXPECT_NE(readFile(dir + "/VKST.csv").find("127.0.0.5, 2301, Speedy, UNBLOCK, UNBLOCK, SPEEDER, \r\n"),
              std::string::npos);

    // Second block: SIGINT while the route is in place runs the normal shutdown.
    EXPECT_TRUE(waitFor(routed, 20)) << readFile(dir + "/console.txt");
    kill(vkst, SIGINT);
    EXPECT_EQ(waitExit(vkst, 10), 0);
    EXPECT_FALSE(routed());
    const std::string log = readFile(dir + "/VKST.csv");
    EXPECT_NE(log.find("127.0.0.5, 2301, Speedy, UNBLOCK, UNBLOCK, UNBLOCK, \r\nVKS Terminator shutting down"),
              std::string::npos)
        << log;
    EXPECT_EQ(readFile(dir + "/VKST.routes"), "");
    EXPECT_NE(readFile(dir + "/console.txt").find("route delete 127.0.0.5 mask 255.255.255.255 \n"), std::string::npos);

    kill(gen, SIGTERM);
    waitExit(gen, 5);
    std::filesystem::remove_all(dir);
}

// The route tool is a child that outlives a killed VKST. Here a stand-in for /usr/sbin/ip (bound
// over it in a mount namespace of VKST's own) waits inside "ip route replace" until VKST has been
// killed, then sets the route. The next start must find it in the journal and remove it.
TEST(LiveCapture, RouteSetByAToolThatOutlivesAKilledVkstIsRemovedAtTheNextStart) {
    if (geteuid() != 0) GTEST_SKIP() << "the live capture test needs root (network namespaces, capture, routes)";
    int st = 0;
    output({"sh", "-c", "command -v unshare && command -v mount"}, &st);
    if (st != 0) GTEST_SKIP() << "unshare or mount is not installed";
    Namespace ns;
    if (!ns.ok()) GTEST_SKIP() << "cannot create a network namespace here (ip netns add failed)";
    const int lo = ns.loopbackNumber();
    ASSERT_GT(lo, 0);
    char tmpl[] = "/tmp/vkst-kill-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
    };
    write("vk2server.scs", "port=2300;\n");
    write("vk2server.ini", "USEMAP=MARNE\nGAMELENGTHINSECONDS=600\n");
    write("lndmrks0.dat", std::string(99, '\0'));
    write("VKST.ini", "NETonSpeeder=1;\nnicNumber=" + std::to_string(lo) + ";\nNETblockTime=30;\nDerouteIP=;\nTestUDP=0;\n");
    write("speeder.scn",
          "server 127.0.0.1:2300\nplayer Speedy 127.0.0.5:2301\nat 0.5 Speedy goldroom\n"
          "at 1 Speedy checksum 0-0\nfrom 1 to 30 30/s Speedy position lat=1 lon=1 alt=1\n");
    std::string realIp = output({"sh", "-c", "for p in /usr/sbin/ip /sbin/ip /usr/bin/ip /bin/ip; do [ -x $p ] && echo $p && break; done"});
    while (!realIp.empty() && realIp.back() == '\n') realIp.pop_back();
    ASSERT_FALSE(realIp.empty());
    std::filesystem::copy_file(realIp, dir + "/real-ip");
    write("ip",
          "#!/bin/sh\n"
          "if [ \"$2\" = replace ]; then\n"
          "  touch " + dir + "/tool-running\n"
          "  while [ ! -e " + dir + "/go ]; do sleep 0.05; done\n"
          "fi\n" +
          dir + "/real-ip \"$@\"\n"
          "touch " + dir + "/tool-done\n");
    chmod((dir + "/ip").c_str(), 0755);

    pid_t vkst = start(ns.exec({"unshare", "-m", "sh", "-c",
                                "mount --bind " + dir + "/ip " + realIp + " && exec " VK_BINARY_DIR "/bin/VKST"}),
                       dir, dir + "/console.txt");
    ASSERT_TRUE(waitFor([&] { return readFile(dir + "/console.txt").find("Type '?'") != std::string::npos; }, 10))
        << readFile(dir + "/console.txt");
    pid_t gen = start(ns.exec({VK_BINARY_DIR "/bin/gamegen", dir + "/speeder.scn", "-s", "127.0.0.1:2300"}), dir,
                      dir + "/gamegen.txt");
    EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(dir + "/tool-running"); }, 20))
        << readFile(dir + "/console.txt");
    EXPECT_EQ(readFile(dir + "/VKST.routes"), "127.0.0.5 2301\n");
    kill(vkst, SIGKILL);
    waitExit(vkst, 5);
    kill(gen, SIGTERM);
    waitExit(gen, 5);
    write("go", "");
    EXPECT_TRUE(waitFor([&] { return std::filesystem::exists(dir + "/tool-done"); }, 10));
    auto routed = [&] { return ns.routes().find("blackhole 127.0.0.5") != std::string::npos; };
    EXPECT_TRUE(routed()) << "the orphaned route tool should have set the route";

    pid_t again = start(ns.exec({VK_BINARY_DIR "/bin/VKST"}), dir, dir + "/console2.txt");
    ASSERT_TRUE(waitFor([&] { return readFile(dir + "/console2.txt").find("Type '?'") != std::string::npos; }, 10))
        << readFile(dir + "/console2.txt");
    EXPECT_FALSE(routed()) << readFile(dir + "/console2.txt");
    EXPECT_NE(readFile(dir + "/console2.txt").find("UNBLOCKING 127.0.0.5 (left by an earlier run)\n"), std::string::npos);
    kill(again, SIGINT);
    EXPECT_EQ(waitExit(again, 10), 0);
    std::filesystem::remove_all(dir);
}

// An address on the IgnoreIP list speeds like another player: both are detected and logged, only
// the other is routed away. The statistics close the run.
TEST(LiveCapture, IgnoredAddressIsLoggedButNeverRoutedAndStatisticsCloseTheRun) {
    if (geteuid() != 0) GTEST_SKIP() << "the live capture test needs root (network namespaces, capture, routes)";
    Namespace ns;
    if (!ns.ok()) GTEST_SKIP() << "cannot create a network namespace here (ip netns add failed)";
    const int lo = ns.loopbackNumber();
    ASSERT_GT(lo, 0);
    char tmpl[] = "/tmp/vkst-ignore-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
    };
    write("vk2server.scs", "port=2300;\n");
    write("vk2server.ini", "USEMAP=MARNE\nGAMELENGTHINSECONDS=600\n");
    write("lndmrks0.dat", std::string(99, '\0'));
    write("VKST.ini", "NETonSpeeder=1;\nnicNumber=" + std::to_string(lo) +
                          ";\nNETblockTime=30;\nDerouteIP=;\nIgnoreIP=127.0.0.5;\nTestUDP=0;\n");
    write("speeders.scn",
          "server 127.0.0.1:2300\nplayer Friend 127.0.0.5:2301\nplayer Foe 127.0.0.6:2302\nat 0.5 all goldroom\n"
          "at 1 all checksum 0-0\nfrom 1 to 30 30/s all position lat=1 lon=1 alt=1\n");
    pid_t vkst = start(ns.exec({VK_BINARY_DIR "/bin/VKST"}), dir, dir + "/console.txt");
    ASSERT_TRUE(waitFor([&] { return readFile(dir + "/console.txt").find("Type '?'") != std::string::npos; }, 10))
        << readFile(dir + "/console.txt");
    pid_t gen = start(ns.exec({VK_BINARY_DIR "/bin/gamegen", dir + "/speeders.scn", "-s", "127.0.0.1:2300"}), dir,
                      dir + "/gamegen.txt");
    auto routes = [&] { return ns.routes(); };
    EXPECT_TRUE(waitFor([&] { return routes().find("blackhole 127.0.0.6") != std::string::npos; }, 20))
        << readFile(dir + "/console.txt");
    EXPECT_TRUE(waitFor([&] { return readFile(dir + "/console.txt").find("skipped: IgnoreIP 127.0.0.5") != std::string::npos; }, 10))
        << readFile(dir + "/console.txt");
    EXPECT_EQ(routes().find("127.0.0.5"), std::string::npos);
    kill(vkst, SIGINT);
    EXPECT_EQ(waitExit(vkst, 10), 0);
    const std::string log = readFile(dir + "/VKST.csv");
    EXPECT_NE(log.find("127.0.0.5, 2301, Friend, SPEEDER, SPEEDER, "), std::string::npos) << log;
    EXPECT_EQ(log.find("Friend, BLOCK"), std::string::npos) << log;
    EXPECT_NE(log.find("127.0.0.6, 2302, Foe, BLOCK, BLOCK, SPEEDER, "), std::string::npos) << log;
    EXPECT_NE(readFile(dir + "/VKST.json").find("\"event\":\"BLOCK SKIPPED\",\"detail\":\"SPEEDER; IgnoreIP 127.0.0.5\""),
              std::string::npos);
    const std::string console = readFile(dir + "/console.txt");
    const size_t stats = console.find("\nCapture statistics: ");
    ASSERT_NE(stats, std::string::npos) << console;
    EXPECT_NE(console.find(" packets received, 0 dropped by the kernel, 0 dropped by the interface\n", stats),
              std::string::npos)
        << console.substr(stats);
    EXPECT_NE(console.find("players turned away by a full table: 0\n", stats), std::string::npos);
    kill(gen, SIGTERM);
    waitExit(gen, 5);
    std::filesystem::remove_all(dir);
}

// Instead of root, a copy of VKST with CAP_NET_RAW and CAP_NET_ADMIN run by an ordinary user:
// it captures, and its route tool gets the capability to set the route.
TEST(LiveCapture, FileCapabilitiesAreEnoughToCaptureAndRoute) {
    if (geteuid() != 0) GTEST_SKIP() << "the live capture test needs root (network namespaces, capture, routes)";
    int st = 0;
    output({"sh", "-c", "command -v setcap && command -v setpriv"}, &st);
    if (st != 0) GTEST_SKIP() << "setcap or setpriv is not installed";
    Namespace ns;
    if (!ns.ok()) GTEST_SKIP() << "cannot create a network namespace here (ip netns add failed)";
    const int lo = ns.loopbackNumber();
    ASSERT_GT(lo, 0);

    char tmpl[] = "/tmp/vkst-caps-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    chmod(dir.c_str(), 0777);
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
    };
    write("vk2server.scs", "port=2300;\n");
    write("vk2server.ini", "USEMAP=MARNE\nGAMELENGTHINSECONDS=600\n");
    write("lndmrks0.dat", std::string(99, '\0'));
    write("VKST.ini", "NETonSpeeder=1;\nnicNumber=" + std::to_string(lo) + ";\nNETblockTime=30;\nDerouteIP=;\nTestUDP=0;\n");
    write("speeder.scn",
          "server 127.0.0.1:2300\nplayer Speedy 127.0.0.5:2301\nat 0.5 Speedy goldroom\n"
          "at 1 Speedy checksum 0-0\nfrom 1 to 30 30/s Speedy position lat=1 lon=1 alt=1\n");
    std::filesystem::copy_file(VK_BINARY_DIR "/bin/VKST", dir + "/VKST");
    output({"setcap", "cap_net_raw,cap_net_admin+eip", dir + "/VKST"}, &st);
    if (st != 0) {
        std::filesystem::remove_all(dir);
        GTEST_SKIP() << "file capabilities cannot be set on " << dir;
    }
    pid_t vkst = start(ns.exec({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", dir + "/VKST"}), dir,
                       dir + "/console.txt");
    ASSERT_TRUE(waitFor([&] { return readFile(dir + "/console.txt").find("Type '?'") != std::string::npos; }, 10))
        << readFile(dir + "/console.txt");
    pid_t gen = start(ns.exec({VK_BINARY_DIR "/bin/gamegen", dir + "/speeder.scn", "-s", "127.0.0.1:2300"}), dir,
                      dir + "/gamegen.txt");
    auto routed = [&] { return ns.routes().find("blackhole 127.0.0.5") != std::string::npos; };
    EXPECT_TRUE(waitFor(routed, 20)) << readFile(dir + "/console.txt");
    kill(vkst, SIGTERM);
    EXPECT_EQ(waitExit(vkst, 10), 0);
    EXPECT_FALSE(routed());
    kill(gen, SIGTERM);
    waitExit(gen, 5);
    std::filesystem::remove_all(dir);
}

}  // namespace
