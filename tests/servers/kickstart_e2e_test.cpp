// Kickstart end to end over loopback: the headless client as a program, the meta-server stub
// and the secure-server simulator's UDP side. The player refreshes the browser, switches to
// Kickstart mode and double-clicks a listed server; the client kicks the simulator, which
// answers "goport:", and the example conversation runs over the connection the client opens.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <sstream>
#include <thread>

#include "client/core/getproc.h"
#include "platform/processes.h"
#include "tests/app/app_harness.h"
#include "tests/app/client_process.h"
#include "tools/metastub/metastub.h"
#include "tools/secsim/secsim.h"

namespace vk::test {
namespace {

class KickstartProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ProcProcesses processes;
        if (CountModuleUsers(processes, "wdnplyr") > 0)
            GTEST_SKIP() << "another wdnplyr runs on this machine; the client would end as a second instance";
    }
};

constexpr int kSimKickPort = 41981;  // the simulator's UDP port: the listed game port - 1000

TEST_F(KickstartProgram, RefreshKickGoportConnectOutAndTheConversation) {
    GameFolder g;
    // The default Port: the client listens on 50998 and asks for "idport:40998". Kickstart
    // does not need the listening port, so the test goes on where another program holds it.
    Installation(g, 27998);
    g.file("wdnhelp.exe", "#!/bin/sh\nexit 0\n");
    ::chmod(g.osPath("wdnhelp.exe").c_str(), 0755);
    ::unlink(g.osPath("wdnplyr").c_str());

    metastub::Options mo;
    mo.entries = {{"Volkar II/Camel Club", "Dawn patrol", "t", "UDP:127.0.0.1:" + std::to_string(kSimKickPort + 1000)}};
    metastub::Stub stub(mo);
    ASSERT_TRUE(stub.start());

    secsim::Options so = secsim::DefaultOptions();
    so.kickPort = kSimKickPort;
    so.gameFolder = g.root();
    so.gapMs = 1000;
    so.datagrams = {"areuwdn:hi", "xareuwdn:hi", "areuwdn:Yes", "srvinf:Welcome to the Camel Club"};
    std::ostringstream simOut;
    secsim::Report report;
    std::thread sim([&] { report = secsim::Run(so, simOut); });

    ClientProcess c(g.root());
    c.start();
    ASSERT_TRUE(c.waitFor("Waiting for contact with secured game server")) << c.log();

    c.command("click Form1.getmetas");  // disabled until Kickstart mode is on
    c.command("click Form1.Mupdmplyr");
    c.command("set metabrws.metabrwser 127.0.0.1:" + std::to_string(stub.port()));
    c.command("click metabrws.getem");
    c.command("get metabrws.srvrs");
    ASSERT_TRUE(c.waitFor("Camel Club |__| Dawn patrol |__| UDP:127.0.0.1:42981")) << c.log();
    EXPECT_EQ(stub.goodRequests(), 1);
    EXPECT_TRUE(g.exists("meta100.txt"));

    c.command("select metabrws.srvrs 0");
    c.command("dblclick metabrws.srvrs");
    ASSERT_TRUE(c.waitFor("[box] Not in Kickstart mode.... -> OK")) << c.log();

    c.command("click Form1.cantforward");
    c.command("dblclick metabrws.srvrs");
    c.command("dblclick metabrws.srvrs");
    ASSERT_TRUE(c.waitFor("[box] Less than 10 seconds ago.... please try again... -> OK")) << c.log();
    ASSERT_TRUE(c.waitFor("[status] Go Fly Now.... Salute!", 40000)) << c.log() << simOut.str();
    sim.join();

    EXPECT_TRUE(report.connected) << simOut.str();
    EXPECT_EQ(report.mismatches, 0) << simOut.str();
    ASSERT_FALSE(report.datagrams.empty()) << simOut.str();
    EXPECT_EQ(report.datagrams[0], "127.0.0.1:40998 idport:40998") << simOut.str();
    auto received = [&](const std::string& d) {
        return std::find(report.datagrams.begin(), report.datagrams.end(), d) != report.datagrams.end();
    };
    EXPECT_TRUE(received("127.0.0.1:40998 areuwdn:?")) << simOut.str();
    EXPECT_TRUE(received("127.0.0.1:40998 areuwdn:ok")) << simOut.str();  // to the greeting's own port
    EXPECT_EQ(std::count_if(report.datagrams.begin(), report.datagrams.end(),
                            [](const std::string& d) { return d.find("areuwdn:ok") != std::string::npos; }),
              1)
        << "only the greeting that starts its datagram is answered\n"
        << simOut.str();

    for (const char* line : {"IP+udpWDN: 127.0.0.1:41981", "WDN says hi...", "WDN keepalive rcvd...",
                             "Welcome to the Camel Club", "Kick rcvd, WDN-server: 127.0.0.1", "Contacted by WDN...",
                             "Connecting w/TCP to WDN... ", "Connected to IP=127.0.0.1"})
        EXPECT_TRUE(c.logged(std::string("  | ") + line)) << line << "\n" << c.log();
    EXPECT_TRUE(c.logged("using Kickstart")) << c.log();
    c.terminate();
    EXPECT_EQ(c.wait(), 0) << c.log();
}

// Another program holds the kick port: the client logs the failure and goes on listening,
// instead of the component's "Assign an OnError event handler" box.
TEST(KickPortHeld, LoggedNotBoxed) {
    const int holder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kKickPort);
    // When the bind fails the port is held already, which is the case under test too.
    ::bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a);
    {
        GameFolder g;
        Installation(g, 27982);
        AppHarness h(g);
        TForm1& app = h.ready();
        EXPECT_TRUE(h.logged("KickUDP: error:Address already in use #10048 resetting ...")) << h.log();
        for (const auto& text : h.boxTexts()) EXPECT_EQ(text.find("OnError"), std::string::npos) << text;
        EXPECT_FALSE(app.udpkick.IsOpen());
        EXPECT_TRUE(h.logged("Waiting for contact with secured game server....\r\n" + std::string(48, '_'))) << h.log();
    }
    ::close(holder);
}

}  // namespace
}  // namespace vk::test
