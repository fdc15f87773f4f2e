// The server's information lines: verdict, files in error, bans and ejection, the debug echo.
#include <gtest/gtest.h>

#include "harness.h"

namespace vk::test {
namespace {

using Lines = std::vector<std::string>;

struct SrvinfCase {
    std::string name;
    std::string request;
    Lines log;        // lines the handler adds to the server message log
    Lines errors;     // lines added to the last-error window
    Lines serverInfo; // lines added to the server-info window
    std::string status;
    Lines calls;      // connection actions
};

TEST(Srvinf, SubRules) {
    GameFolder g;
    const std::vector<SrvinfCase> cases = {
        {"verdict ok", "srvinf:URIP:203.0.113.7:50998::Checked >Config OK", {"Checked >Config OK"}, {}, {},
         "Go Fly Now ...Salute!", {}},
        {"verdict error", "srvinf:URIP:203.0.113.7:50998::Checked >Config ERROR", {"Checked >Config ERROR"},
         {"Checked >Config ERROR"}, {}, "Grounded! do NOT fly!", {}},
        // Without "::" the address is empty and only the first 14 characters go.
        {"urip without separator", "srvinf:URIP:1.2.3.4 >Config OK", {"2.3.4 >Config OK"}, {}, {},
         "Go Fly Now ...Salute!", {}},
        {"file in error, not among the found files", "srvinf:errinf:Wrong file: fmparam9.dat", {},
         {"Wrong file: fmparam9.dat"}, {}, "------", {}},
        {"file in error with a verdict text", "srvinf:errinf:bad >Config ERROR: fmparam9.dat",
         {"errinf:bad >Config ERROR: fmparam9.dat", "errinf:bad >Config ERROR: fmparam9.dat"},
         {"bad >Config ERROR: fmparam9.dat", "errinf:bad >Config ERROR: fmparam9.dat"}, {}, "------", {}},
        // A ban goes to the server-info window; the rest after its inner "srvinf:" starts "rvinf:".
        {"ban with ejection", "srvinf:ban: banned for 1 day srvinf:You have been ejected..",
         {"ou have been ejected.."}, {}, {": banned for 1 day srvinf:You have been ejected.."}, "Ejected...",
         {"CancelListenClick"}},
        {"ban alone", "srvinf:ban: banned", {""}, {}, {": banned"}, "------", {}},
        {"ejection", "srvinf:You have been ejected.. by admin", {"You have been ejected.. by admin"}, {}, {},
         "Ejected...", {"CancelListenClick"}},
        {"config text", "srvinf:Checked >Config ERROR", {"Checked >Config ERROR", "Checked >Config ERROR"},
         {"Checked >Config ERROR"}, {}, "------", {}},
        {"plain information", "srvinf:Welcome to the Western Front", {"Welcome to the Western Front"}, {}, {},
         "------", {}},
        {"self-test eot lacks its colon", "srvinf:EOT", {"EOT"}, {}, {}, "------", {}},
    };
    for (const SrvinfCase& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h(g.path());
        EXPECT_EQ(h.conv->ParseRequest(c.request), "");
        EXPECT_TRUE(h.conv->handled());
        EXPECT_EQ(h.main.Memo1.lines, c.log);
        EXPECT_EQ(h.errors.cfgerrors.lines, c.errors);
        EXPECT_EQ(h.serverInfo.servinfo.lines, c.serverInfo);
        EXPECT_EQ(h.main.cfgstatus.caption, c.status);
        EXPECT_EQ(h.connection.calls, c.calls);
    }
}

TEST(Srvinf, VerdictSurvivesUntilTheNextVerdict) {
    GameFolder g;
    Harness h(g.path());
    h.conv->ParseRequest("srvinf:URIP:a::>Config OK");
    EXPECT_TRUE(h.state.verdict);
    h.conv->ParseRequest("srvinf:Welcome");
    EXPECT_TRUE(h.state.verdict);
    h.conv->ParseRequest("srvinf:URIP:a::>Config ERROR");
    EXPECT_FALSE(h.state.verdict);
    EXPECT_EQ(h.main.cfgstatus.color, clRed);
}

TEST(Srvinf, FileInErrorNamesWhereItWasFound) {
    GameFolder g;
    Harness h(g.path());
    h.state.checks.relevantFiles.add("data\\multi\\fmparam3.dat");
    h.state.checks.relevantFiles.add("vkmulti.vol:acspecs1.dat");
    h.conv->ParseRequest("srvinf:errinf:Not expected: fmparam3.dat");
    h.conv->ParseRequest("srvinf:errinf:Wrong crc: acspecs1.dat");
    EXPECT_EQ(h.errors.cfgerrors.lines, (Lines{"Not expected: fmparam3.dat Location = data\\multi\\fmparam3.dat",
                                               "Wrong crc: acspecs1.dat Location = vkmulti.vol:acspecs1.dat"}));
    EXPECT_TRUE(h.errors.visible);
}

TEST(Srvinf, EjectionWhileKickstartingAsksToKickstartAgain) {
    GameFolder g;
    Harness h(g.path());
    h.main.cantforward.checked = true;
    h.conv->ParseRequest("srvinf:You have been ejected..");
    EXPECT_EQ(h.main.cfgstatus.caption, "Ejected, you must Kickstart again!");
    EXPECT_EQ(h.main.cfgstatus.color, clRed);
}

TEST(Srvinf, DebugSwitchEchoesTheRequestAsItStands) {
    GameFolder g;
    g.file("duh.txt", "");
    Harness h(g.path());
    h.conv->ParseRequest("srvinf:Welcome");
    EXPECT_EQ(h.main.Memo1.lines, (Lines{"Welcome", "##>srvinf:Welcome"}));
    h.main.Memo1.Clear();
    h.conv->ParseRequest("srvinf:errinf:Wrong: x.dat");  // cleared by the errinf rule
    EXPECT_EQ(h.main.Memo1.lines, Lines{"##>"});
}

}  // namespace
}  // namespace vk::test
