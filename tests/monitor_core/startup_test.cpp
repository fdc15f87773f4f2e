// Start-up of a live capture with a scripted capture library, the loop without traffic, signals
// and the shutdown sequence.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <signal.h>

#include "fixture.h"
#include "monitor/loop.h"

namespace vkst::test {
namespace {

// Delivers no packets: every read is a 100 ms time-out on the virtual clock.
class QuietSource final : public PacketSource {
public:
    explicit QuietSource(vk::VirtualClock& c, int endAfter) : clock_(c), left_(endAfter) {}
    PacketRead next() override {
        PacketRead r;
        if (left_-- == 0) {
            r.result = -1;
            return r;
        }
        clock_.advance(100);
        return r;
    }
    std::string error() override { return "the device went away"; }

private:
    vk::VirtualClock& clock_;
    int left_;
};

class FakeCapture final : public CaptureBackend {
public:
    explicit FakeCapture(vk::VirtualClock& c) : clock(c) {}
    bool listAdapters(std::vector<Adapter>& out, std::string& errText) override {
        if (!listOk) {
            errText = "no permission";
            return false;
        }
        out = adapters;
        return true;
    }
    std::unique_ptr<PacketSource> openLive(const Adapter& a, std::string&) override {
        opened = a.name;
        if (!openOk) return nullptr;
        return std::make_unique<QuietSource>(clock, readsBeforeError);
    }
    int datalink(PacketSource&) override { return link; }
    int setFilter(PacketSource&, const std::string& f, uint32_t netmask) override {
        filter = f;
        mask = netmask;
        return filterResult;
    }
    vk::VirtualClock& clock;
    std::vector<Adapter> adapters{{"eth0", "Intel", true, 0x00FFFFFF}, {"lo", "", false, 0}, {"eth1", "Realtek", true, 0x0000FFFF}};
    bool listOk = true, openOk = true;
    int link = 1, filterResult = 0, readsBeforeError = -1;
    std::string opened, filter;
    uint32_t mask = 0;
};

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        h.m->io.capture = &cap;
        h.keys.keys.push_back({kStart + 3, 'q'});
    }
    void files(const std::string& nic) {
        h.standardFiles(nic + "NETblockTime=35;\nDerouteIP=192.0.2.254;\nTestUDP=0;\n");
    }
    RunFolder f;
    Harness h{f};
    FakeCapture cap{h.clock};
};

TEST_F(Startup, NicNumberChoosesTheAdapter) {
    struct Case {
        const char* line;
        const char* opened;
    };
    for (const Case& c : {Case{"nicNumber=-1;\n", "eth1"}, Case{"nicNumber=1;\n", "eth0"}, Case{"nicNumber=2;\n", "lo"}}) {
        RunFolder f2;
        Harness h2(f2);
        FakeCapture cap2(h2.clock);
        h2.m->io.capture = &cap2;
        h2.keys.keys.push_back({kStart + 2, 'q'});
        h2.standardFiles(std::string(c.line) + "TestUDP=0;\n");
        EXPECT_EQ(h2.run({}), 0) << c.line;
        EXPECT_EQ(cap2.opened, c.opened) << c.line;
    }
}

TEST_F(Startup, ListsAdaptersOpensTheChosenOneAndSetsTheFilter) {
    files("nicNumber=3;\n");
    EXPECT_EQ(h.run({}), 0);
    EXPECT_EQ(cap.filter, "udp and dst host 192.0.2.10 and dst port 2300");
    EXPECT_EQ(cap.mask, 0x0000FFFFu);
    const std::string& out = h.out.text;
    EXPECT_NE(out.find("\nNIC List:\n1. eth0 (Intel)\n2. lo (No description available)\n3. eth1 (Realtek)\n"
                       "\nListening on Realtek...\n\nType '?' for a command list\n\n"),
              std::string::npos)
        << out;
    EXPECT_NE(h.log().find("Listening on Realtek...\r\n\r\n"), std::string::npos);
    // Shutdown: the batch file is opened one second after the log is closed, then half a second more.
    EXPECT_NE(out.find("q\n\nVKSTerminator shutting down...\n\nRemove any rerouted IPs...\n"), std::string::npos);
    EXPECT_EQ(h.shell, std::vector<std::string>{"VKSTbatch.bat"});
    EXPECT_NE(h.log().find("VKS Terminator shutting down - Date: 12/10/26 - Time: 21:04:03,\r\n"), std::string::npos);
}

TEST_F(Startup, AdapterWithoutAddressesCompilesWithAClassCMask) {
    files("nicNumber=2;\n");
    EXPECT_EQ(h.run({}), 0);
    EXPECT_EQ(cap.mask, htonl(0xFFFFFF00u));
    EXPECT_NE(h.out.text.find("\nListening on lo...\n"), std::string::npos);
}

TEST_F(Startup, CaptureFailures) {
    struct Case {
        const char* name;
        std::function<void(FakeCapture&)> setUp;
        const char* nic;
        int status;
        const char* message;
        bool toStderr;
        uint64_t slept;
    };
    const std::vector<Case> cases{
        {"ListFails", [](FakeCapture& c) { c.listOk = false; }, "nicNumber=1;\n", 1,
         "Error in pcap_findalldevs: no permission\n", true, 0},
        {"NoAdapters", [](FakeCapture& c) { c.adapters.clear(); }, "nicNumber=1;\n", -1,
         "\nNo interfaces found! Make sure WinPcap is installed.\n", false, 0},
        {"NicZero", [](FakeCapture&) {}, "", -1, "ERROR -- incorrect NIC number\n", false, 5000},
        {"NicPastList", [](FakeCapture&) {}, "nicNumber=4;\n", -1, "ERROR -- incorrect NIC number\n", false, 5000},
        {"OpenFails", [](FakeCapture& c) { c.openOk = false; }, "nicNumber=1;\n", -1,
         "\nUnable to open the adapter. eth0 is not supported by WinPcap\n", true, 0},
        {"NotEthernet", [](FakeCapture& c) { c.link = 113; }, "nicNumber=1;\n", -1,
         "\nThis program works only on Ethernet networks.\n", true, 0},
        {"FilterCompile", [](FakeCapture& c) { c.filterResult = -1; }, "nicNumber=1;\n", -1,
         "\nUnable to compile the packet filter. Check the syntax.\n", true, 0},
        {"FilterSet", [](FakeCapture& c) { c.filterResult = -2; }, "nicNumber=1;\n", -1,
         "\nError setting the filter.\n", true, 0},
    };
    for (const Case& c : cases) {
        RunFolder f2;
        Harness h2(f2);
        FakeCapture cap2(h2.clock);
        c.setUp(cap2);
        h2.m->io.capture = &cap2;
        h2.standardFiles(std::string(c.nic) + "TestUDP=0;\n");
        EXPECT_EQ(h2.run({}), c.status) << c.name;
        const std::string& where = c.toStderr ? h2.err.text : h2.out.text;
        const std::string msg = c.message;
        ASSERT_GE(where.size(), msg.size()) << c.name;
        EXPECT_EQ(where.substr(where.size() - msg.size()), msg) << c.name;
        EXPECT_EQ(h2.clock.totalSlept(), c.slept) << c.name;
        EXPECT_TRUE(h2.shell.empty()) << c.name;
    }
}

TEST_F(Startup, WithoutTrafficKeysAreAnsweredAndTheBlockTimerRuns) {
    files("nicNumber=1;\n");
    h.keys.keys.clear();
    h.keys.keys.push_back({kStart + 1, 'e'});
    h.keys.keys.push_back({kStart + 1, '0'});
    h.keys.keys.push_back({kStart + 1, '0'});
    h.keys.keys.push_back({kStart + 50, 'q'});
    // A player seen before the capture started, so that slot 00 holds a session.
    h.m->io.hostAddresses = [](std::vector<std::string>& a) {
        a = {"192.0.2.10"};
        return true;
    };
    struct Seed final : TextSink {
        Monitor* m = nullptr;
        TextSink* inner = nullptr;
        void write(std::string_view t) override {
            if (t.find("Type '?'") != std::string_view::npos) touchSession(*m, "10.0.0.5", 2301, "Kestrel");
            inner->write(t);
        }
    } seed;
    seed.m = h.m.get();
    seed.inner = &h.out;
    h.m->io.out = &seed;
    EXPECT_EQ(h.run({}), 0);
    EXPECT_EQ(h.routes.calls, (std::vector<std::string>{"add 10.0.0.5 192.0.2.254", "del 10.0.0.5"}));
    // Route added at the third timer second after the eject, removed 36 seconds later.
    char added[9], removed[9];
    timeText(kStart + 1 + 3, added);
    timeText(kStart + 1 + 3 + 36, removed);
    const std::string log = h.log();
    EXPECT_NE(log.find(std::string(added) + ", 10.0.0.5, 2301, Kestrel, BLOCK, BLOCK, MANUAL EJECT, \r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(std::string(removed) + ", 10.0.0.5, 2301, Kestrel, UNBLOCK, UNBLOCK, MANUAL EJECT, \r\n"), std::string::npos) << log;
}

TEST_F(Startup, ReadErrorEndsTheLoopThroughTheNormalShutdown) {
    files("nicNumber=1;\n");
    h.keys.keys.clear();
    cap.readsBeforeError = 5;
    EXPECT_EQ(h.run({}), 0);
    EXPECT_NE(h.out.text.find("Error reading the packets: the device went away\n\n\nVKSTerminator shutting down...\n"),
              std::string::npos);
    EXPECT_EQ(h.shell, std::vector<std::string>{"VKSTbatch.bat"});
}

TEST_F(Startup, StopSignalsRunTheNormalShutdownAndLiftTheBlocks) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        RunFolder f2;
        Harness h2(f2);
        FakeCapture cap2(h2.clock);
        h2.m->io.capture = &cap2;
        h2.m->io.handleSignals = true;
        h2.standardFiles("nicNumber=1;\nDerouteIP=192.0.2.254;\nTestUDP=0;\n");
        // The signal arrives while a block is in place.
        struct Raiser final : vk::KeySource {
            Monitor* m = nullptr;
            int sig = 0;
            bool keyWaiting() override {
                if (m->sessions[0].blockTimer == 3 && sig) {
                    raise(sig);
                    sig = 0;
                }
                return false;
            }
            int readKey() override { return 0; }
        } raiser;
        raiser.m = h2.m.get();
        raiser.sig = sig;
        h2.m->io.keys = &raiser;
        struct Seed final : TextSink {
            Monitor* m = nullptr;
            TextSink* inner = nullptr;
            void write(std::string_view t) override {
                if (t.find("Type '?'") != std::string_view::npos) {
                    touchSession(*m, "10.0.0.5", 2301, "Kestrel");
                    scheduleBlock(*m, "10.0.0.5", 2301, BlockMode::Immediate, 1, "SPEEDER");
                }
                inner->write(t);
            }
        } seed;
        seed.m = h2.m.get();
        seed.inner = &h2.out;
        h2.m->io.out = &seed;
        EXPECT_EQ(h2.run({}), 0) << sig;
        EXPECT_EQ(h2.routes.calls, (std::vector<std::string>{"add 10.0.0.5 192.0.2.254", "del 10.0.0.5"})) << sig;
        EXPECT_NE(h2.log().find("Kestrel, UNBLOCK, UNBLOCK, UNBLOCK, \r\nVKS Terminator shutting down"), std::string::npos)
            << sig;
        EXPECT_EQ(h2.shell, std::vector<std::string>{"VKSTbatch.bat"}) << sig;
        EXPECT_EQ(f2.read("VKST.routes"), "") << sig;
    }
    // The handlers are put back after the run.
    struct sigaction now {};
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST_F(Startup, CrashedRunsRoutesAreRemovedBeforeCapturing) {
    files("nicNumber=1;\n");
    f.write("VKST.routes", "10.0.0.5 2301\n");
    EXPECT_EQ(h.run({}), 0);
    ASSERT_FALSE(h.routes.calls.empty());
    EXPECT_EQ(h.routes.calls[0], "del 10.0.0.5");
    EXPECT_LT(h.out.text.find("UNBLOCKING 10.0.0.5 (left by an earlier run)"), h.out.text.find("NIC List"));
    EXPECT_NE(h.log().find("10.0.0.5, 2301, event_msg, UNBLOCK, UNBLOCK, EARLIER RUN, \r\n"), std::string::npos);
}

// A settings error ends start-up, but not before the routes of the crashed run are gone.
TEST_F(Startup, CrashedRunsRoutesAreRemovedEvenWhenTheSettingsFail) {
    h.standardFiles("nicNumber=1;\nDerouteIP=192.0.2.1&reboot;\nTestUDP=0;\n");
    f.write("VKST.routes", "10.0.0.5 2301 192.0.2.254\n");
    EXPECT_EQ(h.run({}), -1);
    EXPECT_EQ(h.routes.calls, std::vector<std::string>{"del 10.0.0.5"});
    EXPECT_FALSE(f.exists("VKST.routes"));
    EXPECT_NE(h.out.text.find("route delete 10.0.0.5 mask 255.255.255.255 192.0.2.254\n"
                              "UNBLOCKING 10.0.0.5 (left by an earlier run)\n"),
              std::string::npos)
        << h.out.text;
}

// libpcap's counts on a live capture: on the "s" key and at shutdown, on the console and as a
// STATISTICS object in the JSON log.
TEST_F(Startup, StatisticsOnTheSKeyAndAtShutdown) {
    struct CountingCapture final : CaptureBackend {
        struct Source final : PacketSource {
            vk::VirtualClock* clock = nullptr;
            PacketRead next() override {
                clock->advance(100);
                return {};
            }
            std::string error() override { return {}; }
            bool counts(CaptureCounts& c) override {
                c = {1200, 7, 2};
                return true;
            }
        };
        vk::VirtualClock* clock = nullptr;
        bool listAdapters(std::vector<Adapter>& out, std::string&) override {
            out = {{"lo", "", false, 0}};
            return true;
        }
        std::unique_ptr<PacketSource> openLive(const Adapter&, std::string&) override {
            auto s = std::make_unique<Source>();
            s->clock = clock;
            return s;
        }
        int datalink(PacketSource&) override { return 1; }
        int setFilter(PacketSource&, const std::string&, uint32_t) override { return 0; }
    } counting;
    counting.clock = &h.clock;
    h.m->io.capture = &counting;
    files("nicNumber=1;\n");
    h.keys.keys = {{kStart + 2, 's'}, {kStart + 3, 'q'}};
    EXPECT_EQ(h.run({}), 0);
    const std::string stats =
        "\nCapture statistics: 1200 packets received, 7 dropped by the kernel, 2 dropped by the interface\n";
    const std::string& out = h.out.text;
    EXPECT_NE(out.find("s" + stats + "600.0 packets per second over 2 s; oversized-packet warnings left out: 0; "
                       "players turned away by a full table: 0\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\nRemove any rerouted IPs...\n" + stats + "400.0 packets per second over 3 s;"),
              std::string::npos)
        << out;
    const std::string json = f.read("VKST.json");
    EXPECT_NE(json.find("\"event\":\"STATISTICS\",\"detail\":\"live capture\",\"received\":1200,\"dropped_kernel\":7,"
                        "\"dropped_interface\":2,\"seconds\":3,\"packets_per_second\":400.0,"
                        "\"oversized_left_out\":0,\"turned_away\":0}\n"),
              std::string::npos)
        << json;
    // The event log keeps exactly its lines.
    EXPECT_EQ(h.log().find("statistics"), std::string::npos);
}

TEST_F(Startup, AutoStartTriesTheSecondServerProgramWhenTheFirstFails) {
    files("nicNumber=1;\nAutoStartMMPServer=1;\n");
    h.shellResult = [](const std::string& file) { return file == "vk2serveM02.exe" ? 2 : 42; };
    EXPECT_EQ(h.run({}), 0);
    EXPECT_EQ(h.shell, (std::vector<std::string>{"vk2serveM02.exe", "vk2serve.exe", "VKSTbatch.bat"}));
    EXPECT_NE(h.out.text.find("Attempting to start the VK server...\n\nType '?'"), std::string::npos);
}

TEST_F(Startup, UnknownArgumentsAreRefused) {
    EXPECT_EQ(h.run({"-x"}), -1);
    EXPECT_EQ(h.err.text, "Usage: VKST [-r capture-file]\n");
}

}  // namespace
}  // namespace vkst::test
