// The conversation over real TCP on loopback, driven by the secure-server simulator.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include "harness.h"
#include "tools/convpeer/peer_sockets.h"
#include "tools/secsim/secsim.h"

namespace vk::test {
namespace {

using LoopbackSockets = peer::PeerSockets;

struct LoopbackRun {
    secsim::Report report;
    std::string simulatorOutput;
};

// Runs the client's handlers on this thread and the simulator on another until both are done.
LoopbackRun Converse(Harness& h, LoopbackSockets& sockets, secsim::Options o) {
    o.port = sockets.port();
    LoopbackRun run;
    std::ostringstream out;
    std::atomic<bool> done{false};
    std::thread sim([&] {
        run.report = secsim::Run(o, out);
        done = true;
    });
    const bool ended = peer::ServeConversation(
        *h.conv, sockets, [&] { h.runner.DeliverReports(); }, [&] { return done.load(); }, std::chrono::seconds(60));
    sim.join();
    EXPECT_TRUE(ended);
    run.simulatorOutput = out.str();
    return run;
}

class Loopback : public ::testing::Test {
protected:
    void SetUp() override {
        g.file("data\\fmparam3.dat", "FMPARAM3 of the Camel, flight model data 0123456789");
        g.file("data\\acspecs1.dat", "ACSPECS1 data").file("data\\fmparam9z.dat", "");
        ASSERT_GE(sockets.listenFd, 0);
    }
    GameFolder g;
    Harness h{g.path()};
    LoopbackSockets sockets{"127.0.0.1", 0};
    SteadyClock clock;

    void wireRealSockets() {
        h.conv = std::make_unique<Conversation>(
            h.state, ConversationWindows{h.main, h.errors, h.serverInfo, h.selfTest.Memo, h.getUrl, h.blocked},
            ConversationPorts{sockets, h.runner, h.connection, clock, h.dialogs, h.shell, h.priority, h.processes});
        h.conv->random = [](uint32_t n) { return n - 1; };
    }
};

TEST_F(Loopback, SimulatorFindsEveryAnswerRightAndTheClientFlies) {
    wireRealSockets();
    h.state.foregroundChecks = false;  // the background path with its 3.5 s wait
    secsim::Options o = secsim::DefaultOptions();
    o.gameFolder = g.path();
    o.script = "@time\nver?\nid?vkid.txt|data\\fmparam3.dat\nid?vkid.txt|data\\fmparam3.dat\n"
               "check=plyr-cfg.txt=data\\|-fmparam*?.dat|acspecs?.dat|\nsnd?\ncrc?\n"
               "ecrc?data\\fmparam3.dat\necrc?data\\missing.dat\nfmparm?data\\fmparam3.dat\nfmparm?nothere.dat\n"
               "ok?\n@wait 1500\n@time\n@verdict\nsrvinf:EOT:\n";
    LoopbackRun run = Converse(h, sockets, o);
    EXPECT_TRUE(run.report.connected);
    EXPECT_EQ(run.report.mismatches, 0) << run.simulatorOutput;
    EXPECT_EQ(run.report.answersChecked, 9) << run.simulatorOutput;
    EXPECT_TRUE(h.state.verdict);
    EXPECT_EQ(h.main.cfgstatus.caption, "Go Fly Now.... Salute!");
    EXPECT_EQ(h.main.URIP.caption.rfind("Your Internet IP : 127.0.0.1:", 0), 0u);
}

TEST_F(Loopback, DefaultConversationWithAShortGap) {
    wireRealSockets();
    secsim::Options o = secsim::DefaultOptions();
    o.gapMs = 3000;  // real clocks on both sides: a long span keeps scheduling delays far below 5 %
    LoopbackRun run = Converse(h, sockets, o);
    EXPECT_EQ(run.report.mismatches, 0) << run.simulatorOutput;
    EXPECT_EQ(h.main.cfgstatus.caption, "Go Fly Now.... Salute!");
}

TEST_F(Loopback, WrongKeyIsAMismatchAndGroundsThePlayer) {
    wireRealSockets();
    secsim::Options o = secsim::DefaultOptions();
    o.key[0] ^= 0xFF;
    o.script = "ecrc?data\\fmparam3.dat\n@verdict\nsrvinf:EOT:\n";
    LoopbackRun run = Converse(h, sockets, o);
    EXPECT_EQ(run.report.mismatches, 1) << run.simulatorOutput;
    EXPECT_NE(run.simulatorOutput.find("MISMATCH  ecrc?: deciphers to"), std::string::npos) << run.simulatorOutput;
    EXPECT_FALSE(h.state.verdict);
    EXPECT_EQ(h.main.cfgstatus.caption, "Grounded, do NOT fly!!!");
}

TEST_F(Loopback, FastServerClockRaisesTheAlarm) {
    wireRealSockets();
    secsim::Options o = secsim::DefaultOptions();
    o.script = "@time\n@time +5000\n@alarm\n";
    LoopbackRun run = Converse(h, sockets, o);
    EXPECT_EQ(run.report.mismatches, 0) << run.simulatorOutput;
    EXPECT_NE(run.simulatorOutput.find("speed alarm Ok:"), std::string::npos) << run.simulatorOutput;
    // The alarm stops listening; the server's close that follows closes the session.
    EXPECT_EQ(h.connection.calls, (std::vector<std::string>{"SetKickPort " + std::to_string(1024 + 9998), "ListenClick",
                                                            "CancelListenClick", "CloseClick"}));
}

}  // namespace
}  // namespace vk::test
