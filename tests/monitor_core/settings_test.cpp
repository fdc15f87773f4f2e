// The settings reader: the failure messages, the value rule, the echo and the file-order rules.
#include <gtest/gtest.h>

#include "fixture.h"
#include "monitor/settings.h"

namespace vkst::test {
namespace {

struct FatalCase {
    const char* name;
    const char* scs;   // nullptr: file missing
    const char* ini;
    const char* vkst;
    const char* message;
    bool hostFails = false;
};

class SettingsFatal : public ::testing::TestWithParam<FatalCase> {};

TEST_P(SettingsFatal, PrintsTheMessageWaitsFiveSecondsAndEndsWithMinusOne) {
    const FatalCase& c = GetParam();
    RunFolder f;
    Harness h(f);
    if (c.scs) f.write("vk2server.scs", c.scs);
    if (c.ini) f.write("vk2server.ini", c.ini);
    if (c.vkst) f.write("VKST.ini", c.vkst);
    f.write("lndmrks0.dat", std::string(99, '\0'));
    h.hostOk = !c.hostFails;
    EXPECT_EQ(h.run({}), -1);
    const std::string msg = c.message;
    ASSERT_GE(h.out.text.size(), msg.size()) << h.out.text;
    EXPECT_EQ(h.out.text.substr(h.out.text.size() - msg.size()), msg) << h.out.text;
    EXPECT_EQ(h.clock.totalSlept(), 5000u);
    EXPECT_TRUE(h.routes.calls.empty());
}

const char* kGoodVkst = "nicNumber=-1;\nTestUDP=0;\n";

INSTANTIATE_TEST_SUITE_P(
    Failures, SettingsFatal,
    ::testing::Values(
        FatalCase{"NoScs", nullptr, kIni, kGoodVkst, "\nERROR -- Can't find vk2server.scs\n\n"},
        // A "/" in the first or second column makes a comment; "Port=" is not "port=".
        FatalCase{"NoPortLine", "/port=2300;\nx/port=1;\n?/port=2;\nPort=2300;\n", kIni, kGoodVkst,
                  "Error -- port not found in vk2server.scs file\n\n"},
        FatalCase{"NoIni", kScs, nullptr, kGoodVkst, "\nERROR -- Can't find vk2server.ini\n\n"},
        // Any "//" makes a comment line in vk2server.ini, even a trailing remark.
        FatalCase{"GameLengthOnlyInComment", kScs, "USEMAP=MARNE\nGAMELENGTHINSECONDS=600 // ten minutes\n",
                  kGoodVkst, "Error -- gameLengthInSeconds not found in vk2server.ini file\n\n"},
        FatalCase{"NoVkstIni", kScs, kIni, nullptr, "\nERROR -- Can't find VKST.ini\n\n"},
        // Keys are case-sensitive in VKST.ini, and "//" anywhere makes a comment.
        FatalCase{"NoTestUdp", kScs, kIni, "nicNumber=-1;\ntestudp=0;\nTestUDP=0; // on\n",
                  "Error -- TestUDP parameter not found in VKST.ini file\n\n"},
        FatalCase{"HostName", kScs, kIni, kGoodVkst, "\nError when getting local host name\n", true},
        FatalCase{"LocalIpZero", kScs, kIni, "LocalIP_ListNum=0;\nTestUDP=0;\n",
                  "Error -- local IP list number out of range\n"},
        FatalCase{"LocalIpPastList", kScs, kIni, "LocalIP_ListNum=3;\nTestUDP=0;\n",
                  "Error -- local IP list number out of range\n"},
        // A USEMAP line after the game length is never seen.
        FatalCase{"UsemapAfterGameLength", kScs, "GAMELENGTHINSECONDS=600\nUSEMAP=MARNE\n", kGoodVkst,
                  "Wrong map name!\n"},
        FatalCase{"DerouteNotAnAddress", kScs, kIni, "DerouteIP=192.0.2.1&reboot;\nTestUDP=0;\n",
                  "Error -- DerouteIP is not a dotted IP address in VKST.ini file\n\n"},
        FatalCase{"IgnoreIpNotAnAddress", kScs, kIni, "IgnoreIP=10.0.0.1,10.0.0/8;\nTestUDP=0;\n",
                  "Error -- IgnoreIP entry \"10.0.0/8\" is not an IP address or address/prefix in VKST.ini file\n\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Settings, EchoFollowsTheFileAndTheSettingsPartEndsAtTestUdp) {
    RunFolder f;
    Harness h(f);
    f.write("vk2server.scs", "// server settings\nmaxplayers=8;\nport = 2300 ;\nport=9999;\n");
    f.write("vk2server.ini", "// usemap=flanders\nusemap = Marne Valley\ngameLengthInSeconds = 600\n");
    f.write("lndmrks0.dat", std::string(99, '\0'));
    f.write("VKST.ini",
            "// VKST settings\n"
            "EnterRepairTime=30;\n"          // before NETonEnterRepair: taken, no echo
            "NETonEnterRepair=1;\n"
            "NETonSpeeder = 1 ;\n"
            "netonfreeze=1;\n"               // wrong case: ignored
            "NETonFlamer=1; // remark\n"     // comment line: ignored
            "NETonChecksum=1;\n"
            "CloseOnTimedGame=1;\n"
            "nicNumber=-1;\n"
            "NETblockTime=40;\n"
            "DerouteIP=192.0.2.254;\n"
            "Checksum=12-200;\n"
            "NETblockTime=45;\n"             // a key twice takes the later value
            "TestUDP=1;\n"
            "phrase='never read'\n"          // the line after TestUDP is not examined
            "NETonObserve=1;\n"              // settings after TestUDP are not settings
            "phrase='cheat'\n"
            "// phrase='commented'\n"
            "phrase='-'\n"
            "phrase='Big Words'\n"
            "no quotes phrase\n"
            "phrase='4'\nphrase='5'\nphrase='6'\nphrase='7'\nphrase='8'\nphrase='ninth'\n");
    loadSettings(*h.m);
    const Settings& s = h.m->settings;
    EXPECT_EQ(h.out.text,
              "VKS Terminator -- Version Beta 1.54 (for WinPcap 3.1 Beta)\n\n"
              "[Features]\n"
              "NET on ENTER-REPAIR is ENABLED\n"
              "NET on SPEEDER is ENABLED\n"
              "NET on CHECKSUM is ENABLED\n"
              "CloseOnTimedGame is ENABLED\n"
              "GameLength is 600 seconds\n"
              "\n[Settings]\n"
              "Map used is MARNEVALLEY\n"
              "NIC number is the default\n"
              "NET block time is 40 seconds\n"
              "Deroute IP for NET out is 192.0.2.254\n"
              "Player checksum should be 12-200\n"
              "NET block time is 45 seconds\n"
              "TestUDP is ENABLED\n"
              "Number of landmark records = 0\n"
              "\nLocal IP Address List:\n"
              "1. 192.0.2.10\n"
              "2. 127.0.0.1\n"
              "\nVK server IP:port is 192.0.2.10:2300\n");
    EXPECT_EQ(s.serverPort, 2300);
    EXPECT_EQ(s.mapName, "MARNEVALLEY\n");
    EXPECT_EQ(s.gameLength, 615u);
    EXPECT_EQ(s.EnterRepairTime, 30);
    EXPECT_EQ(s.NETonFreeze, 0);
    EXPECT_EQ(s.NETonFlamer, 0);
    EXPECT_EQ(s.NETonObserve, 0);
    EXPECT_EQ(s.NETblockTime, 45);
    EXPECT_EQ(s.checksumFirst, 12);
    EXPECT_EQ(s.checksumSecond, 200);
    const std::array<std::string, 8> phrases{"cheat", "-", "Big Words", "4", "5", "6", "7", "8"};
    EXPECT_EQ(s.phrases, phrases);
    EXPECT_EQ(s.filterText, "udp and dst host 192.0.2.10 and dst port 2300");
    EXPECT_EQ(h.log(), crlf("\nVKS Terminator Version Beta 1.54 (for WinPcap 3.1 Beta) - Date: 12/10/26 - "
                            "Time: 21:04:00,\nVK server IP:port is 192.0.2.10:2300\n"));
}

TEST(Settings, DefaultsAndTheTimedCloseNeedAGameLength) {
    RunFolder f;
    Harness h(f);
    f.write("vk2server.scs", kScs);
    f.write("vk2server.ini", "USEMAP=MARNE\nGAMELENGTHINSECONDS=0\n");
    f.write("lndmrks0.dat", std::string(99, '\0'));
    f.write("VKST.ini", "CloseOnTimedGame=1;\nNETonChecksum=2;\nChecksum=1-2;\nTestUDP=0;\n");
    loadSettings(*h.m);
    const Settings& s = h.m->settings;
    EXPECT_EQ(h.out.text.find("CloseOnTimedGame is ENABLED"), std::string::npos);
    EXPECT_EQ(h.out.text.find("Player checksum"), std::string::npos);  // echo only for exactly 1
    EXPECT_EQ(s.gameLength, 0u);
    EXPECT_EQ(s.CloseOnTimedGame, 1);
    EXPECT_EQ(s.nicNumber, 0);
    EXPECT_EQ(s.LocalIP_ListNum, 1);
    EXPECT_EQ(s.NETblockTime, 35);
    EXPECT_EQ(s.EnterRepairTime, 20);
    EXPECT_EQ(s.DerouteIP, "");
    for (const auto& p : s.phrases) EXPECT_EQ(p, "");  // TestUDP as the last line: no phrases
}

TEST(Settings, TimedCloseAddsFifteenSecondsOnlyOnce) {
    RunFolder f;
    Harness h(f);
    h.standardFiles("CloseOnTimedGame=1;\nCloseOnTimedGame=1;\nTestUDP=0;\n");
    loadSettings(*h.m);
    EXPECT_EQ(h.m->settings.gameLength, 615u);
    // Both echoes show the length as read.
    const std::string twice = "GameLength is 600 seconds\n\n[Settings]\nMap used is MARNE.MAP\n";
    EXPECT_NE(h.out.text.find(twice + "CloseOnTimedGame is ENABLED\n" + twice), std::string::npos) << h.out.text;
}

TEST(Settings, WindowsLineEndsReadAsPlainLineEnds) {
    RunFolder f;
    Harness h(f);
    // Files written on the game's own platform end their lines with CR LF; a lone CR stays.
    f.write("vk2server.scs", "port=2300;\r\n");
    f.write("vk2server.ini", "USEMAP=Marne.map\r\nGAMELENGTHINSECONDS=600\r\n");
    f.write("VKST.ini", "NETonBadChat=1;\r\nCloseOnTimedGame=0;\r\nTestUDP=0;\r\nskipped\r\nphrase='you\rcheat'\r\n");
    f.write("lndmrks0.dat", std::string(99, '\0'));
    loadSettings(*h.m);
    EXPECT_EQ(h.m->settings.mapName, "MARNE.MAP\n");
    EXPECT_EQ(h.m->settings.gameLength, 600u);
    EXPECT_EQ(h.m->settings.phrases[0], "you\rcheat");
    EXPECT_NE(h.out.text.find("Map used is MARNE.MAP\n"), std::string::npos) << h.out.text;
}

TEST(Settings, LongLinesAreReadInPiecesOf99Characters) {
    RunFolder f;
    Harness h(f);
    // The first piece holds 99 characters; the rest of the line is a line of its own.
    std::string filler(99, 'x');
    h.standardFiles(filler + "NETonFreeze=1;\n" + "TestUDP=0;\n");
    loadSettings(*h.m);
    EXPECT_EQ(h.m->settings.NETonFreeze, 1);
}

TEST(Settings, MalformedLinesAreSkipped) {
    RunFolder f;
    Harness h(f);
    h.standardFiles(
        "NETblockTime 50\n"           // key without "=": skipped
        "Checksum=77;\n"              // no "-": not a pair
        "DerouteIP=192.0.2.9\n"       // no ";": the value ends at the line end
        "NETonSpeeder=1\n"
        "TestUDP=0;\nx\nphrase='unclosed\nphrase='ok'\n");
    loadSettings(*h.m);
    const Settings& s = h.m->settings;
    EXPECT_EQ(s.NETblockTime, 35);
    EXPECT_EQ(s.checksumFirst, 0);
    EXPECT_EQ(s.DerouteIP, "192.0.2.9");
    EXPECT_EQ(s.NETonSpeeder, 1);
    EXPECT_EQ(s.phrases[0], "ok");
}

TEST(Settings, DecimalValuesReadLikeC) {
    struct Case {
        const char* text;
        int32_t value;
    };
    for (const Case& c : {Case{"1", 1}, Case{"-1", -1}, Case{"+7x", 7}, Case{"\t 42;", 42}, Case{"x1", 0},
                          Case{"", 0}, Case{"99999999999", INT32_MAX}, Case{"-99999999999", INT32_MIN}})
        EXPECT_EQ(decimalValue(c.text, nullptr), c.value) << c.text;
}

TEST(Settings, DerouteIpMustBeDottedOrEmpty) {
    struct Case {
        const char* value;
        bool ok;
    };
    for (const Case& c : {Case{"", true}, Case{"192.0.2.1", true}, Case{"0.0.0.0", true},
                          Case{"255.255.255.255", true}, Case{"192.0.2", false}, Case{"256.1.1.1", false},
                          Case{"01.2.3.4", false}, Case{"1.2.3.4.5", false}, Case{"a.b.c.d", false},
                          Case{"1.2.3.4\t", false}, Case{"1.2.3.4$(id)", false}}) {
        RunFolder f;
        Harness h(f);
        h.standardFiles(std::string("DerouteIP=") + c.value + ";\nTestUDP=0;\n");
        if (c.ok)
            EXPECT_NO_THROW(loadSettings(*h.m)) << c.value;
        else
            EXPECT_THROW(loadSettings(*h.m), Fatal) << c.value;
    }
}

TEST(Settings, IgnoreIpEntriesAreAddressesOrPrefixesAndAreEchoed) {
    struct Case {
        const char* value;
        bool ok;
    };
    for (const Case& c : {Case{"192.0.2.7", true}, Case{"10.0.0.0/8", true}, Case{"0.0.0.0/0", true},
                          Case{"192.0.2.7/32", true}, Case{"10.0.0.0/33", false}, Case{"10.0.0.0/", false},
                          Case{"10.0.0.0/-1", false}, Case{"10.0.0.0/8/8", false}, Case{"host.example", false},
                          Case{"", false}, Case{"1.2.3.4,", false}, Case{"1.2.3.4$(id)", false}}) {
        RunFolder f;
        Harness h(f);
        h.standardFiles(std::string("IgnoreIP=") + c.value + ";\nTestUDP=0;\n");
        if (c.ok)
            EXPECT_NO_THROW(loadSettings(*h.m)) << c.value;
        else
            EXPECT_THROW(loadSettings(*h.m), Fatal) << c.value;
    }

    RunFolder f;
    Harness h(f);
    h.standardFiles("NETblockTime=35;\nIgnoreIP = 192.0.2.7 ;\nIgnoreIP=10.1.0.0/16,198.51.100.1;\nTestUDP=0;\n");
    loadSettings(*h.m);
    EXPECT_NE(h.out.text.find("NET block time is 35 seconds\nIgnoreIP 192.0.2.7 is never blocked\n"
                              "IgnoreIP 10.1.0.0/16 is never blocked\nIgnoreIP 198.51.100.1 is never blocked\n"),
              std::string::npos)
        << h.out.text;
    struct Match {
        const char* ip;
        const char* entry;  // nullptr: not ignored
    };
    for (const Match& c : {Match{"192.0.2.7", "192.0.2.7"}, Match{"192.0.2.8", nullptr},
                           Match{"10.1.255.3", "10.1.0.0/16"}, Match{"10.2.0.1", nullptr},
                           Match{"198.51.100.1", "198.51.100.1"}}) {
        const char* entry = nullptr;
        EXPECT_EQ(ignoredAddress(*h.m, c.ip, &entry), c.entry != nullptr) << c.ip;
        if (c.entry) {
            EXPECT_STREQ(entry, c.entry) << c.ip;
        }
    }
}

TEST(Settings, ReplayFilterLeavesTheAddressOut) {
    RunFolder f;
    Harness h(f);
    h.standardFiles();
    h.m->replay = true;
    loadSettings(*h.m);
    EXPECT_EQ(h.m->settings.filterText, "udp and dst port 2300");
}

}  // namespace
}  // namespace vkst::test

namespace vkst::test {
namespace {

TEST(Settings, AnEventLogThatCannotBeOpenedStopsStartUp) {
    for (const char* name : {"VKST.csv", "VKST.json"}) {
        RunFolder f;
        Harness h(f);
        h.standardFiles();
        std::filesystem::create_directory(f.path(name));
        EXPECT_EQ(h.run({}), -1) << name;
        const std::string msg = std::string("\nERROR -- Can't open ") + name + "\n\n";
        ASSERT_GE(h.out.text.size(), msg.size()) << name;
        EXPECT_EQ(h.out.text.substr(h.out.text.size() - msg.size()), msg) << name;
        EXPECT_EQ(h.clock.totalSlept(), 5000u) << name;
    }
}

}  // namespace
}  // namespace vkst::test
