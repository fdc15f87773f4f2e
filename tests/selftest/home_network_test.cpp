// A player's home network in network namespaces this test makes (root only): the player's PC
// (192.168.61.2) behind a router that masquerades its traffic to the "Internet" under its
// outside address 203.0.113.1, and a host there (203.0.113.2). The self-test runs inside the
// player namespace: it must take the PC's own interface address as the local address and
// find the router's outside address with the route ping. No packet leaves the namespaces.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "client/selftest/selftest.h"
#include "platform/poll_reactor.h"
#include "platform/spawn.h"

namespace vk {
namespace {

class NoConnection final : public ConnectionActions {
public:
    void ListenClick() override {}
    void CancelListenClick() override {}
    void CloseClick() override {}
    void SetKickPort(int) override {}
};

class HomeNetwork : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to create network namespaces";
        for (const char* tool : {"ip", "nft", "ping"})
            if (PosixNetTools::FindProgram(tool).empty()) GTEST_SKIP() << "needs the tool " << tool;
        const std::string id = "vkst" + std::to_string(getpid());
        player_ = id + "p";
        router_ = id + "r";
        internet_ = id + "i";
        for (const auto& ns : {player_, router_, internet_}) {
            if (runProgram({"ip", "netns", "add", ns}) != 0) GTEST_SKIP() << "cannot create network namespaces here";
            made_.push_back(ns);
        }
        const std::string a = id + "a", b = id + "b", c = id + "c", d = id + "d";
        const std::vector<std::vector<std::string>> steps = {
            {"ip", "link", "add", a, "netns", player_, "type", "veth", "peer", "name", b, "netns", router_},
            {"ip", "link", "add", c, "netns", router_, "type", "veth", "peer", "name", d, "netns", internet_},
            {"ip", "-n", player_, "link", "set", "lo", "up"},
            {"ip", "-n", player_, "addr", "add", "192.168.61.2/24", "dev", a},
            {"ip", "-n", player_, "link", "set", a, "up"},
            {"ip", "-n", player_, "route", "add", "default", "via", "192.168.61.1"},
            {"ip", "-n", router_, "addr", "add", "192.168.61.1/24", "dev", b},
            {"ip", "-n", router_, "link", "set", b, "up"},
            {"ip", "-n", router_, "addr", "add", "203.0.113.1/24", "dev", c},
            {"ip", "-n", router_, "link", "set", c, "up"},
            {"ip", "-n", internet_, "addr", "add", "203.0.113.2/24", "dev", d},
            {"ip", "-n", internet_, "link", "set", d, "up"},
            {"ip", "netns", "exec", router_, "nft", "add", "table", "ip", "nat"},
            {"ip", "netns", "exec", router_, "nft", "add", "chain", "ip", "nat", "post",
             "{ type nat hook postrouting priority 100 ; }"},
            {"ip", "netns", "exec", router_, "nft", "add", "rule", "ip", "nat", "post", "oifname", c, "masquerade"},
        };
        for (const auto& step : steps) ASSERT_EQ(runProgram(step), 0) << step[3] << " " << step[4];
        // The router forwards (its /proc/sys/net is its own namespace's).
        ASSERT_EQ(InNamespace(router_, [] {
                      std::ofstream f("/proc/sys/net/ipv4/ip_forward");
                      f << "1\n";
                      f.flush();
                      return std::string(f ? "ok" : "failed");
                  }),
                  "ok");
    }
    void TearDown() override {
        for (const auto& ns : made_) runProgram({"ip", "netns", "del", ns});
    }

    // Runs fn in a child process inside a namespace; returns the text fn returned.
    std::string InNamespace(const std::string& name, const std::function<std::string()>& fn) {
        int out[2];
        if (pipe(out) != 0) return "pipe failed";
        const pid_t pid = fork();
        if (pid == 0) {
            ::close(out[0]);
            std::string text;
            const int ns = ::open(("/var/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
            if (ns < 0 || setns(ns, CLONE_NEWNET) != 0) text = "setns failed";
            else text = fn();
            (void)!::write(out[1], text.data(), text.size());
            _exit(0);
        }
        ::close(out[1]);
        std::string text;
        char buf[4096];
        for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
        ::close(out[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        return text;
    }

    std::string player_, router_, internet_;
    std::vector<std::string> made_;
};

TEST_F(HomeNetwork, TheRoutePingFindsTheRoutersOutsideAddress) {
    const std::string report = InNamespace(player_, [] {
        PollReactor reactor;
        SteadyClock clock;  // the tools really run: the read-back waits for them
        ScriptedDialogs dialogs;
        NoConnection connection;
        PosixNetTools tools;
        ClientState state;
        state.gameFolder = "/nonexistent/";
        Tselftest form;
        MainForm main;
        SelfTest test(state, {form, main}, {clock, dialogs, reactor, NameResolver::system(), connection, tools, {}});
        test.FormCreate();
        form.pingsite.text = "203.0.113.2";
        test.RoutePing();
        std::ostringstream s;
        s << "locIP=" << form.locIP.text << "\nInetIP=" << form.InetIP.text << "\n";
        for (const auto& box : dialogs.shown) s << "box=" << box.text << "\n";
        for (const auto& line : form.Memo.lines) s << "log=" << line << "\n";
        return s.str();
    });
    EXPECT_NE(report.find("locIP=192.168.61.2\n"), std::string::npos) << report;
    EXPECT_NE(report.find("InetIP=203.0.113.1\n"), std::string::npos) << report;
    EXPECT_NE(report.find("box=Your Internet IP seems to be:203.0.113.1\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("log=    Route: 203.0.113.1 ->\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("log=RR:"), std::string::npos) << "the record-route list is rewritten\n" << report;
}

}  // namespace
}  // namespace vk
