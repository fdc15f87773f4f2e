// Whole replays of generated captures: clocks follow the capture, routes are printed, not run.
#include <gtest/gtest.h>

#include "fixture.h"
#include "tools/gamegen/scenario.h"

namespace vkst::test {
namespace {

class Replay : public ::testing::Test {
protected:
    void capture(const std::string& scenario) {
        vkgen::writeCapture(vkgen::parseScenarioText(scenario), f.path("match.pcap"));
    }
    RunFolder f;
    Harness h{f};
};

const char* kSpeeder =
    "server 192.0.2.10:2300\n"
    "start @1796936640\n"  // 21:04:00 UTC
    "player Kestrel 10.0.0.5:2301\n"
    "player Wren 10.0.0.6:2302\n"
    "at 0 all goldroom aircraft=3\n"
    "at 1 Kestrel checksum 0-0\n"
    "from 1 to 20 30/s Kestrel position lat=1 lon=1 alt=1\n"
    "at 20 Wren chat \"gg\"\n";

TEST_F(Replay, SpeederIsBlockedOnTheCaptureClockAndTheLogIsExact) {
    h.standardFiles("NETonSpeeder=1;\nNETblockTime=5;\nDerouteIP=192.0.2.254;\nTestUDP=0;\nx\nphrase='-'\n"
                    "phrase='-'\nphrase='-'\nphrase='-'\nphrase='-'\nphrase='-'\nphrase='-'\nphrase='-'\n");
    capture(kSpeeder);
    h.keys.keys.push_back({kStart + 2, 'e'});
    h.keys.keys.push_back({kStart + 2, '0'});
    h.keys.keys.push_back({kStart + 2, '1'});
    EXPECT_EQ(h.run({"-r", f.path("match.pcap")}), 0);
    EXPECT_TRUE(h.routes.calls.empty());
    EXPECT_TRUE(h.shell.empty());
    const std::string& out = h.out.text;
    EXPECT_NE(out.find("\nLocal IP Address List:\n1. 192.0.2.10\n2. 127.0.0.1\n"), std::string::npos);
    EXPECT_NE(out.find("\nListening on " + f.path("match.pcap") + "...\n\n"), std::string::npos);
    EXPECT_NE(out.find("(replay) route add 10.0.0.6 mask 255.255.255.255 192.0.2.254\nBLOCKING Wren (10.0.0.6)\n"),
              std::string::npos);
    EXPECT_NE(out.find("(replay) route add 10.0.0.5 mask 255.255.255.255 192.0.2.254\nBLOCKING Kestrel (10.0.0.5)\n"),
              std::string::npos);
    EXPECT_NE(out.find("(replay) open VKSTbatch.bat\n"), std::string::npos);
    EXPECT_EQ(h.log(), crlf(
        "\nVKS Terminator Version Beta 1.54 (for WinPcap 3.1 Beta) - Date: 12/10/26 - Time: 21:04:00,\n"
        "VK server IP:port is 192.0.2.10:2300\n"
        "Listening on " + f.path("match.pcap") + "...\n\n"
        "21:04:00, 10.0.0.5, 2301, Kestrel, NEW SESSION, NEW SESSION, 0, \n"
        "21:04:00, 10.0.0.5, 2301, Kestrel, GR-EVENT, GR-EVENT, 3, \n"
        "21:04:00, 10.0.0.6, 2302, Wren, NEW SESSION, NEW SESSION, 1, \n"
        "21:04:00, 10.0.0.6, 2302, Wren, GR-EVENT, GR-EVENT, 3, \n"
        "21:04:01, 10.0.0.5, 2301, event_msg, CHECKSUM, CHECKSUM, 0-0, \n"
        "21:04:04, 10.0.0.5, 2301, Kestrel, BAD DROME LOC, BAD DROME LOC, 48.43-2.53-1, \n"
        "21:04:05, 10.0.0.6, 2302, Wren, BLOCK, BLOCK, MANUAL EJECT, \n"
        "21:04:07, 10.0.0.5, 2301, Kestrel, SPEEDER, SPEEDER, 30, \n"
        "21:04:08, 10.0.0.5, 2301, Kestrel, SPEEDER, SPEEDER, 30, \n"
        "21:04:09, 10.0.0.5, 2301, Kestrel, SPEEDER, SPEEDER, 30, \n"
        "21:04:10, 10.0.0.5, 2301, Kestrel, BLOCK, BLOCK, SPEEDER, \n"
        "21:04:11, 10.0.0.6, 2302, Wren, UNBLOCK, UNBLOCK, MANUAL EJECT, \n"
        "21:04:11, 10.0.0.6, 2302, Wren, CLOSE SESSION, CLOSE SESSION, 1, \n"
        "21:04:16, 10.0.0.5, 2301, Kestrel, UNBLOCK, UNBLOCK, SPEEDER, \n"
        "21:04:16, 10.0.0.5, 2301, Kestrel, CLOSE SESSION, CLOSE SESSION, 0, \n"
        "VKS Terminator shutting down - Date: 12/10/26 - Time: 21:04:20,\n"));

    // A second replay of the same capture appends the same run again.
    const std::string first = h.log();
    Harness again(f);
    again.keys.keys = {{kStart + 2, 'e'}, {kStart + 2, '0'}, {kStart + 2, '1'}};
    EXPECT_EQ(again.run({"-r", f.path("match.pcap")}), 0);
    EXPECT_EQ(f.read("VKST.csv"), first + first);
    EXPECT_EQ(again.out.text, h.out.text);
}

TEST_F(Replay, QuietSecondsStillDriveTheBlockTimerAndTheTimedClose) {
    h.standardFiles("CloseOnTimedGame=1;\nNETblockTime=35;\nDerouteIP=;\nTestUDP=0;\n");
    f.write("vk2server.ini", "USEMAP=MARNE\nGAMELENGTHINSECONDS=45\n");
    capture("server 192.0.2.10:2300\nstart @1796936640\nplayer Kestrel 10.0.0.5:2301\n"
            "at 0 Kestrel goldroom\nat 100 Kestrel goldroom\n");
    h.keys.keys = {{kStart + 1, 'e'}, {kStart + 1, '0'}, {kStart + 1, '0'}};
    EXPECT_EQ(h.run({"-r", f.path("match.pcap")}), 0);
    const std::string log = h.log();
    EXPECT_NE(log.find("21:04:04, 10.0.0.5, 2301, Kestrel, BLOCK, BLOCK, MANUAL EJECT, \r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("21:04:40, 10.0.0.5, 2301, Kestrel, UNBLOCK, UNBLOCK, MANUAL EJECT, \r\n"), std::string::npos) << log;
    // 45 + 15 seconds of game: the run ends at the first second past 60, before the packet at 100.
    EXPECT_NE(log.find("VKS Terminator shutting down - Date: 12/10/26 - Time: 21:05:01,\r\n"), std::string::npos) << log;
    EXPECT_NE(h.out.text.find("(replay) route add 10.0.0.5 mask 255.255.255.255 \n"), std::string::npos);
}

TEST_F(Replay, AClockJumpOfYearsEndsPromptlyWithTheSameTimeline) {
    h.standardFiles("NETblockTime=5;\nDerouteIP=;\nTestUDP=0;\n");
    // The second packet comes ten years later: the block still runs on its seconds, then the
    // quiet years pass at once and the run ends at the last packet.
    capture("server 192.0.2.10:2300\nstart @1796936640\nplayer Kestrel 10.0.0.5:2301\n"
            "at 0 Kestrel goldroom\nat 315360000 Kestrel goldroom\n");
    h.keys.keys = {{kStart, 'e'}, {kStart, '0'}, {kStart, '0'}};
    EXPECT_EQ(h.run({"-r", f.path("match.pcap")}), 0);
    const std::string log = h.log();
    EXPECT_NE(log.find("21:04:04, 10.0.0.5, 2301, Kestrel, BLOCK, BLOCK, MANUAL EJECT, \r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("21:04:10, 10.0.0.5, 2301, Kestrel, UNBLOCK, UNBLOCK, MANUAL EJECT, \r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("VKS Terminator shutting down - Date: 12/07/36 - Time: 21:04:00,\r\n"), std::string::npos) << log;

    // With a timed close the run still ends at the first second past the game's length.
    RunFolder g;
    Harness timed(g);
    timed.standardFiles("CloseOnTimedGame=1;\nTestUDP=0;\n");
    g.write("vk2server.ini", "USEMAP=MARNE\nGAMELENGTHINSECONDS=7200\n");
    vkgen::writeCapture(vkgen::parseScenarioText("server 192.0.2.10:2300\nstart @1796936640\n"
                                                 "player Kestrel 10.0.0.5:2301\nat 0 Kestrel goldroom\n"
                                                 "at 315360000 Kestrel goldroom\n"),
                        g.path("match.pcap"));
    EXPECT_EQ(timed.run({"-r", g.path("match.pcap")}), 0);
    EXPECT_NE(timed.log().find("shutting down - Date: 12/10/26 - Time: 23:04:16,\r\n"), std::string::npos)
        << timed.log();
}

TEST_F(Replay, OnlyDatagramsToTheServerPortAreHandled) {
    h.standardFiles();
    capture("server 192.0.2.10:2300\nstart @1796936640\nplayer Kestrel 10.0.0.5:2301\nat 0 Kestrel goldroom\n");
    vkgen::Scenario other = vkgen::parseScenarioText(
        "server 192.0.2.10:2400\nstart @1796936640\nplayer Wren 10.0.0.6:2302\nat 0 Wren goldroom\n");
    vkgen::writeCapture(other, f.path("other.pcap"));
    EXPECT_EQ(h.run({"-r", f.path("other.pcap")}), 0);
    EXPECT_EQ(h.log().find("NEW SESSION"), std::string::npos);
    Harness again(f);
    EXPECT_EQ(again.run({"-r", f.path("match.pcap")}), 0);
    EXPECT_NE(f.read("VKST.csv").find("Kestrel, NEW SESSION"), std::string::npos);
}

TEST_F(Replay, CaptureWithoutPacketsUsesTheCurrentTime) {
    h.standardFiles();
    capture("server 192.0.2.10:2300\nplayer Kestrel 10.0.0.5:2301\n");
    EXPECT_EQ(h.run({"-r", f.path("match.pcap")}), 0);
    const std::string log = h.log();
    EXPECT_NE(log.find("Date: 12/10/26 - Time: 21:04:00,\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("shutting down - Date: 12/10/26 - Time: 21:04:00,\r\n"), std::string::npos) << log;
}

TEST_F(Replay, UnreadableCaptureFileEndsAtOnce) {
    h.standardFiles();
    f.write("match.pcap", "not a capture");
    EXPECT_EQ(h.run({"-r", f.path("match.pcap")}), -1);
    EXPECT_NE(h.err.text.find("\nUnable to read the capture file " + f.path("match.pcap") + ". "), std::string::npos);
    EXPECT_EQ(h.clock.totalSlept(), 0u);
}

}  // namespace
}  // namespace vkst::test
