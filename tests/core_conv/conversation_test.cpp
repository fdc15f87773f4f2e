// The data event, the framing of requests and the answering handlers, under the virtual clock.
#include <gtest/gtest.h>

#include "client/core/cipher_names.h"
#include "harness.h"
#include "tools/secsim/secsim.h"

namespace vk::test {
namespace {

using Lines = std::vector<std::string>;

// The trace lines of one data event that reads `read` at once and handles one request.
Lines Traced(const std::string& ts, const std::string& read, const std::string& request, const Lines& handlerLog,
             const std::string& answer) {
    Lines l{ts + "==>" + read + "<==", "t2:0.000", "t:0.000", ts + " parsing: " + request};
    l.insert(l.end(), handlerLog.begin(), handlerLog.end());
    l.push_back(ts + " response parsing: " + answer);
    if (!answer.empty()) {
        l.push_back(ts + " sending response : " + answer);
        l.push_back(ts + " have send response : " + answer);
    }
    return l;
}

const std::string kFm = "FMPARAM3: flight model of the Camel, 1917 ......";
const std::string kAc = "ACSPECS1";

TEST(Conversation, ExampleConversationAllTenSteps) {
    GameFolder g;
    g.file("data\\fmparam3.dat", kFm).file("data\\acspecs1.dat", kAc).file("data\\notes.txt", "not asked for");
    Harness h(g.path());
    const std::string ts = "2023-11-14_22-13-20.0";
    const std::string fmCrc = std::to_string(secsim::Crc32Of(kFm));
    const std::string acCrc = std::to_string(secsim::Crc32Of(kAc));

    // 1: the server connects.
    h.conv->Sockets1SessionAvailable(3);
    EXPECT_EQ(h.main.Memo1.lines, (Lines{"session accepted IP=192.0.2.10", "Local port50998 socket#3"}));
    EXPECT_EQ(h.blocked.servip.text, "192.0.2.10");
    EXPECT_EQ(h.conv->currentServerAddress, "192.0.2.10");

    // 2: the first time: of this server only stores the clocks.
    EXPECT_TRUE(h.event({T("time:5000000")}).empty());
    EXPECT_EQ(h.newLog(), Traced(ts, T("time:5000000"), "time:5000000", {}, ""));
    EXPECT_TRUE(h.main.prboost.checked);
    EXPECT_EQ(h.priority.calls.back(), PriorityClass::High);

    // 3: version.
    EXPECT_EQ(h.event({T("ver?")}), Lines{T("2.2.0.1")});
    EXPECT_EQ(h.newLog(), Traced(ts, T("ver?"), "ver?", {}, T("2.2.0.1")));

    // 4: identity: the file is created with CRC and status, the answer carries the CRC.
    const std::string idReq = "id?vkid.txt|data\\fmparam3.dat";
    EXPECT_EQ(h.event({T(idReq)}), Lines{T("id=" + fmCrc)});
    EXPECT_EQ(g.read("vkid.txt"), fmCrc + "|1\r\n");

    // 5: the check runs (foreground) and the status line says so.
    const std::string check = "check=plyr-cfg.txt=data\\|-fmparam*?.dat|acspecs?.dat|";
    EXPECT_TRUE(h.event({T(check)}).empty());
    EXPECT_EQ(h.newLog(), Traced(ts, T(check), check, {"0 ms / check #files:2"}, ""));
    EXPECT_EQ(h.main.cfgstatus.caption, "contact......");
    EXPECT_EQ(h.main.cfgstatus.color, clBlack);
    EXPECT_EQ(h.state.checkParams.logName, "plyr-cfg.txt");
    EXPECT_EQ(h.state.checkParams.folders, "data\\|");
    EXPECT_EQ(h.state.checkParams.patterns, "fmparam*?.dat|acspecs?.dat|");

    // 6: the result lines, each with CR LF.
    const std::string text = "acspecs1.dat=8|" + acCrc + "|1\r\nfmparam3.dat=" + std::to_string(kFm.size()) + "|" +
                             fmCrc + "|1\r\n";
    EXPECT_EQ(h.event({T("snd?")}), Lines{T("snd=" + text)});

    // 7: the raw CRC of the same text.
    EXPECT_EQ(h.event({T("crc?")}), Lines{T("crc=" + std::to_string(secsim::RawCrc32Of(text)))});

    // 8: 30 s later on both clocks: no strike, no answer.
    h.clock.advance(30000);
    EXPECT_TRUE(h.event({T("time:5030000")}).empty());
    EXPECT_EQ(h.conv->clockCheck.strikes, 0);
    EXPECT_EQ(h.conv->clockCheck.deviation, 0);

    // 9: the verdict.
    const std::string ts2 = "2023-11-14_22-13-50.0";
    const std::string urip = "srvinf:URIP:203.0.113.7:50998::WDN says >Config OK";
    EXPECT_TRUE(h.event({T(urip)}).empty());
    EXPECT_EQ(h.newLog(), Traced(ts2, T(urip), urip, {"WDN says >Config OK"}, ""));
    EXPECT_EQ(h.main.URIP.caption, "Your Internet IP : 203.0.113.7:50998");
    EXPECT_TRUE(h.state.verdict);
    EXPECT_EQ(h.main.cfgstatus.caption, "Go Fly Now ...Salute!");
    EXPECT_EQ(h.main.cfgstatus.color, clGreen);

    // 10: the end: verdict logged, green status, socket closed, priority restored.
    EXPECT_TRUE(h.event({T("srvinf:EOT:")}).empty());
    EXPECT_EQ(h.newLog(), Traced(ts2, T("srvinf:EOT:"), "srvinf:EOT:",
                                 {"EOT Connection closed.. ", "Config OK  \r\n" + ts2}, ""));
    EXPECT_EQ(h.main.cfgstatus.caption, "Go Fly Now.... Salute!");
    EXPECT_EQ(h.main.cfgstatus.color, clGreen);
    EXPECT_EQ(h.sockets.closes, 1);
    EXPECT_EQ(h.priority.calls.back(), PriorityClass::Normal);
    EXPECT_FALSE(h.main.prboost.checked);
    EXPECT_EQ(h.clock.totalSlept(), 30000u);  // no read waited
}

TEST(Conversation, EotWithoutVerdictIsRedAndLeavesADeadSocketAlone) {
    GameFolder g;
    Harness h(g.path());
    h.sockets.dead = true;
    h.event({T("srvinf:EOT:")});
    EXPECT_EQ(h.main.cfgstatus.caption, "Grounded, do NOT fly!!!");
    EXPECT_EQ(h.main.cfgstatus.color, clRed);
    EXPECT_EQ(h.sockets.closes, 0);
    EXPECT_EQ(h.newLog()[5], "Config ERROR \r\n2023-11-14_22-13-20.0");
}

TEST(Conversation, SelfTestKeepsTheStatusLine) {
    GameFolder g;
    Harness h(g.path());
    h.state.selfTestRunning = true;
    h.state.verdict = true;
    h.event({T("srvinf:EOT:")});
    EXPECT_EQ(h.main.cfgstatus.caption, "Self testing...");
}

// ---- framing ---------------------------------------------------------------------------------

TEST(Framing, TwoRequestsInOneReadAreHandledInTurn) {
    GameFolder g;
    Harness h(g.path());
    EXPECT_EQ(h.event({T("ver?") + T("ok?")}), Lines{T("2.2.0.1")});
    const std::string ts = "2023-11-14_22-13-20.0";
    EXPECT_EQ(h.newLog(), (Lines{ts + "==>" + T("ver?") + T("ok?") + "<==", "t2:0.000",
                                 "t:0.000", ts + " parsing: ver?", ts + " response parsing: " + T("2.2.0.1"),
                                 ts + " sending response : " + T("2.2.0.1"),
                                 ts + " have send response : " + T("2.2.0.1"),
                                 "t:0.000", ts + " parsing: ok?", ts + " response parsing: "}));
}

TEST(Framing, TrailingPartialRequestIsDropped) {
    GameFolder g;
    Harness h(g.path());
    EXPECT_EQ(h.event({T("ver?") + "sn"}), Lines{T("2.2.0.1")});
    // Its rest alone is no request.
    EXPECT_TRUE(h.event({T("d?")}).empty());
    EXPECT_EQ(h.newLog()[5], "Error in data from srvr, resetting & waiting ......");
    EXPECT_EQ(h.newLog()[6], "2023-11-14_22-13-20.0 s==>d?<==\n\rbufdata:==><==");
}

// A request without its terminator waits with its own connection, without holding the main
// thread: the rest arrives with a later data event, or after 3 s the request is dropped (as
// after the three reads and two waits of 1.5 s) and its connection closed.
TEST(Framing, RequestWithoutTerminatorWaitsWithItsConnectionAndIsDroppedAfterThreeSeconds) {
    GameFolder g;
    Harness h(g.path());
    EXPECT_TRUE(h.event({"ve"}).empty());
    EXPECT_TRUE(h.newLog().empty());
    h.clock.advance(1000);
    EXPECT_TRUE(h.event({"r"}).empty());
    EXPECT_EQ(h.clock.totalSlept(), 1000u);  // no event waited
    h.clock.advance(1999);
    h.conv->CloseStaleConnections();
    EXPECT_TRUE(h.sockets.closed.empty());
    h.clock.advance(1);
    h.logMark = h.main.Memo1.lines.size();
    h.conv->CloseStaleConnections();
    EXPECT_EQ(h.newLog(), (Lines{"2023-11-14_22-13-23.0==>ver<==", "t2:3.000", "Error in data from srvr, resetting",
                                 "2023-11-14_22-13-23.0error data:==>ver<==", "t:3.000"}));
    EXPECT_EQ(h.sockets.closed, std::vector<int>{7});
    EXPECT_EQ(h.priority.calls.back(), PriorityClass::Normal);
    EXPECT_TRUE(h.conv->connections().sockets().empty());
}

TEST(Framing, TerminatorInALaterReadIsAnswered) {
    GameFolder g;
    Harness h(g.path());
    EXPECT_TRUE(h.event({"ve"}).empty());
    h.clock.advance(1500);
    EXPECT_EQ(h.event({T("r?")}), Lines{T("2.2.0.1")});
    EXPECT_EQ(h.newLog()[0], "2023-11-14_22-13-21.500==>" + T("ver?") + "<==");
    EXPECT_EQ(h.newLog()[1], "t2:1.500");
    EXPECT_TRUE(h.sockets.closed.empty());
}

// What one connection may buffer without a terminator: the three reads of 8192 bytes the
// framing has always joined. One byte more and the request is dropped, the connection closed.
TEST(Framing, RequestsLongerThanThreeReadsAreDroppedAndTheirConnectionClosed) {
    struct Case {
        size_t bytes;
        bool terminated;
        bool dropped;
    };
    for (const Case& c : {Case{3 * 8192, false, false}, Case{3 * 8192 + 1, false, true},
                          Case{3 * 8192 - 1, true, false}, Case{1 << 20, false, true}}) {
        SCOPED_TRACE(c.bytes);
        GameFolder g;
        Harness h(g.path());
        std::string request = "ok?" + std::string(c.bytes - 3 - (c.terminated ? 1 : 0), 'x');
        if (c.terminated) request += '\xC8';
        for (size_t at = 0; at < request.size() && h.sockets.closed.empty(); at += 8192)
            h.event({request.substr(at, 8192)});
        EXPECT_EQ(h.sockets.closed.size(), c.dropped ? 1u : 0u);
        EXPECT_EQ(h.sockets.reads, static_cast<int>(std::min<size_t>(c.bytes, 3 * 8192 + 8192) + 8191) / 8192);
        bool errorLogged = false;
        for (const auto& l : h.main.Memo1.lines) {
            errorLogged = errorLogged || l == "Error in data from srvr, resetting";
            // A dropped request's bytes are not copied into the log whole.
            if (c.dropped) {
                EXPECT_LT(l.size(), 600u);
            }
        }
        EXPECT_EQ(errorLogged, c.dropped);
    }
}

// Two connections at once: each one's bytes are joined with its own, each answer goes to the
// connection that asked, and a connection that ends closes itself, not the other.
TEST(Framing, EachEventReadsAndAnswersItsOwnConnection) {
    GameFolder g;
    Harness h(g.path());
    h.sockets.queue("ve");
    h.conv->Sockets1DataAvailable(7);
    h.sockets.queue(T("ver?"));
    h.conv->Sockets1DataAvailable(9);
    h.sockets.queue(T("r?"));
    h.conv->Sockets1DataAvailable(7);
    EXPECT_EQ(h.sockets.readFrom, (std::vector<int>{7, 9, 7}));
    EXPECT_EQ(h.sockets.sent, (Lines{T("2.2.0.1"), T("2.2.0.1")}));
    EXPECT_EQ(h.sockets.sentTo, (std::vector<int>{9, 7}));
    h.conv->Sockets1SessionClosed(9);
    EXPECT_EQ(h.sockets.closed, std::vector<int>{9});
    h.sockets.queue(T("srvinf:EOT:"));
    h.conv->Sockets1DataAvailable(7);
    EXPECT_EQ(h.sockets.closed, (std::vector<int>{9, 7}));
}

TEST(Framing, UnrecognisedRequestIsLoggedWithTheRestOfTheBuffer) {
    GameFolder g;
    Harness h(g.path());
    EXPECT_EQ(h.event({T("hello") + T("ver?")}), Lines{T("2.2.0.1")});
    Lines log = h.newLog();
    EXPECT_EQ(log[5], "Error in data from srvr, resetting & waiting ......");
    EXPECT_EQ(log[6], "2023-11-14_22-13-20.0 s==>hello<==\n\rbufdata:==>" + T("ver?") + "<==");
}

TEST(Framing, ExceptionInTheEventIsLoggedAndRestores) {
    GameFolder g;
    Harness h(g.path());
    struct Boom final : SocketsPort {
        int SAccept() override { return 1; }
        void SClose(int) override {}
        std::string GetText(int) override { return T("ver?"); }
        void SetText(int, const std::string&) override { throw std::runtime_error("send failed"); }
        bool SocketDead(int) override { return false; }
        std::string GetLocalPort(int) override { return ""; }
        std::string GetPeerIPAddr(int) override { return ""; }
        std::string GetPeerPort(int) override { return ""; }
        void SetPort(const std::string&) override {}
    } boom;
    Conversation c(h.state, ConversationWindows{h.main, h.errors, h.serverInfo, h.selfTest.Memo, h.getUrl, h.blocked},
                   ConversationPorts{boom, h.runner, h.connection, h.clock, h.dialogs, h.shell, h.priority, h.processes});
    c.Sockets1DataAvailable(1);
    const Lines& log = h.main.Memo1.lines;
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ((Lines{log.end() - 4, log.end()}),
              (Lines{"==> Exception in sockets data available:", "==> buf:", "==> s:ver?", "==> response:ver?"}));
    EXPECT_EQ(h.priority.calls.back(), PriorityClass::Normal);
    EXPECT_FALSE(h.main.prboost.checked);
}

TEST(Framing, TraceTimestampCarriesTheTickModulo1000WithoutLeadingZeros) {
    GameFolder g;
    Harness h(g.path());
    struct Case {
        uint32_t tick;
        std::string suffix;
    };
    for (const Case& c : {Case{1000, ".0"}, Case{1007, ".7"}, Case{123456789, ".789"}, Case{4294967295u, ".295"}}) {
        h.clock.setTick(c.tick);
        EXPECT_EQ(h.conv->TraceTimestamp(), "2023-11-14_22-13-20" + c.suffix);
    }
}

// ---- requests --------------------------------------------------------------------------------

TEST(ParseRequest, WhichRequestsAreHandled) {
    GameFolder g;
    struct Case {
        std::string request;
        bool handled;
        std::string answer;
    };
    const std::vector<Case> cases = {
        {"ok?", true, ""},
        {"ok?anything", true, ""},
        {"scn?abc.dat|", true, ""},
        {"snd?", true, T("snd=")},                                  // empty result list
        {"crc?", true, std::string("crc=Err") + '\xC8' + '\xC8'},   // empty list: two terminators
        {"ver?", true, T("2.2.0.1")},
        {"VER?", false, ""},  // tokens are case-sensitive
        {"id?", false, ""},   // "id?" alone is too short
        {"", false, ""},
        {"hello", false, ""},
        {" ver?", false, ""},  // "at 1" means at the start
        {"fmparm?data\\nothere.dat", true, "pcrc=-10"},
    };
    for (const Case& c : cases) {
        Harness h(g.path());
        EXPECT_EQ(h.conv->ParseRequest(c.request), c.answer) << c.request;
        EXPECT_EQ(h.conv->handled(), c.handled) << c.request;
    }
    Harness h(g.path());
    h.conv->ParseRequest("scn?abc.dat|");
    EXPECT_EQ(h.state.checkParams.patterns, "abc.dat|");
}

TEST(ParseRequest, IdAnywhereInTheRequestIsAnIdentityRequest) {
    GameFolder g;
    g.file("f.dat", "12345678");
    Harness h(g.path());
    // A check= whose text holds "id?" is taken for id?: idfile from the 4th character, here
    // "ck=x-id?", which no file can be called on Windows. Nothing is created, nothing answered.
    EXPECT_EQ(h.conv->ParseRequest("check=x-id?|f.dat"), "");
    EXPECT_TRUE(h.conv->handled());
    EXPECT_FALSE(g.exists("ck=x-id?"));
    EXPECT_EQ(h.main.Memo1.lines.back(), "==> Refused, not an identity file name: check=x-id?|f.dat");
    EXPECT_NE(h.main.cfgstatus.caption, "contact......");  // no check was started
    EXPECT_EQ(h.conv->ParseRequest("check=x-id.txt?|f.dat"), "");
    EXPECT_EQ(h.conv->ParseRequest("xid?Zz.txt|f.dat"), "");  // would be "?Zz.txt"
    EXPECT_FALSE(g.exists("?Zz.txt"));
}

// id? creates its file on a stranger's word and sends back the first line of an existing one:
// it may name only a file that can be nothing but an identity file. Each of these is refused,
// with a log line and no answer; no file is created and none is disclosed.
TEST(ParseRequest, IdentityFileIsABareNameHoldingAnIdentityLine) {
    GameFolder g;
    g.file("data\\fmparam3.dat", "flight model").file("data\\multi\\readme.txt", "x");
    g.file("mplayer.ini", "[MetaServers]\r\nPort=27998\r\n").file("wdnplyr", "\x7F" "ELF the program");
    g.file("plyr-cfg.txt", "fmparam3.dat=12|345|1\r\n").file("notes.txt", "my password\r\n");
    g.file("empty.id", "").file("long.id", std::string(40, '1') + "|1\r\n").file("words.id", "12|yes\r\n");
    const std::vector<std::string> refused = {
        "data\\multi\\fmparam3.dat", "data\\multi\\Orvane.act", "data/x.id", "\\x.id",
        "duh.txt", "DUH.TXT", "rgb.txt", "plyrBlockedIPs.txt", "XPsound=on", "log-plyr-cfg.txt",
        "WDNplyr-Self-test.txt", "WDNplyr-settings.txt",                      // switches, lists, logs
        "a<b", "a>b", "a\"b", "a*b", "?Zz.txt", "a\tb", "trailing.", "trailing ", "CON", "nul.txt",
        "lpt1", "COM9.id",                                                    // not a Windows file name
        "dinput8.dll", "run.BAT", "x.exe",                                    // loaded or run by Windows
        "mplayer.ini", "plyr-cfg.txt", "wdnplyr", "notes.txt", "data",      // exist, hold no identity
        "empty.id", "long.id", "words.id"};
    const auto before = g.read("mplayer.ini") + g.read("plyr-cfg.txt") + g.read("notes.txt");
    for (const std::string& name : refused) {
        SCOPED_TRACE(name);
        Harness h(g.path());
        const std::string request = "id?" + name + "|data\\fmparam3.dat";
        h.sockets.queue(T(request));
        h.conv->Sockets1DataAvailable(7);
        EXPECT_TRUE(h.sockets.sent.empty());
        EXPECT_TRUE(h.conv->handled());
        int refusals = 0;
        for (const auto& l : h.main.Memo1.lines) {
            refusals += l == "==> Refused, not an identity file name: " + request ||
                        l == "==> Refused, the file holds no identity: " + request;
            EXPECT_EQ(l.find("password"), std::string::npos);
            EXPECT_EQ(l.find("[MetaServers]"), std::string::npos);
        }
        EXPECT_EQ(refusals, 1);
    }
    EXPECT_FALSE(g.exists("data\\multi\\fmparam3.dat"));
    EXPECT_FALSE(g.exists("data\\multi\\Orvane.act"));
    EXPECT_FALSE(g.exists("duh.txt"));
    EXPECT_FALSE(g.exists("dinput8.dll"));
    EXPECT_FALSE(g.exists("XPsound=on"));
    EXPECT_EQ(g.read("mplayer.ini") + g.read("plyr-cfg.txt") + g.read("notes.txt"), before);

    // Names a server may choose: any bare name, with or without an extension.
    for (const std::string name : {"vkid.txt", "WDN.id", "identity", "my..id", "plyr id.dat"}) {
        SCOPED_TRACE(name);
        Harness h(g.path());
        const std::string crc = std::to_string(secsim::Crc32Of("flight model"));
        EXPECT_EQ(h.conv->ParseRequest("id?" + name + "|data\\fmparam3.dat"), T("id=" + crc));
        EXPECT_EQ(h.conv->ParseRequest("id?" + name + "|data\\fmparam3.dat"), T("id=" + crc + "|1"));
    }
}

TEST(ParseRequest, SecondIdentityRequestAnswersTheStoredLine) {
    GameFolder g;
    g.file("data\\fmparam3.dat", kFm);
    Harness h(g.path());
    const std::string crc = std::to_string(secsim::Crc32Of(kFm));
    EXPECT_EQ(h.conv->ParseRequest("id?me.id|data\\fmparam3.dat"), T("id=" + crc));
    g.file("data\\fmparam3.dat", "changed since");  // the stored line wins
    EXPECT_EQ(h.conv->ParseRequest("id?me.id|data\\fmparam3.dat"), T("id=" + crc + "|1"));
    // A missing file gives CRC 0 and status 0.
    EXPECT_EQ(h.conv->ParseRequest("id?other.id|nothere.dat"), T("id=0"));
    EXPECT_EQ(g.read("other.id"), "0|0\r\n");
    // One that cannot be opened (a name that a search finds, but open refuses) stores status -1.
    EXPECT_EQ(h.conv->ParseRequest("id?third.id|data\\fmparam?.dat"), T("id=0"));
    EXPECT_EQ(h.conv->ParseRequest("id?third.id|data\\fmparam?.dat"), T("id=0|-1"));
    // A folder is no file: CRC 0, status 0.
    EXPECT_EQ(h.conv->ParseRequest("id?fourth.id|data"), T("id=0"));
    EXPECT_EQ(h.conv->ParseRequest("id?fourth.id|data"), T("id=0|0"));
}

TEST(ParseRequest, IdWithoutIdentityFileIsAnException) {
    GameFolder g;
    Harness h(g.path());
    EXPECT_EQ(h.conv->ParseRequest("id?|x.dat"), "");
    EXPECT_EQ(h.main.Memo1.lines.back(), "=>Exception in parse()");
    EXPECT_EQ(h.priority.calls.back(), PriorityClass::Normal);
}

TEST(ParseRequest, EcrcIsTheEncipheredCrcAnswer) {
    GameFolder g;
    g.file("data\\fmparam3.dat", kFm);
    Harness h(g.path());
    const AesKey& key = ProgramKey();
    struct Case {
        std::string file;
        std::string plain;
    };
    for (const Case& c : {Case{"data\\fmparam3.dat", "crc=" + std::to_string(secsim::Crc32Of(kFm))},
                          Case{"DATA\\FMPARAM3.DAT", "crc=" + std::to_string(secsim::Crc32Of(kFm))},
                          Case{"data\\missing.dat", "crc=0"},
                          Case{"data\\fmparam?.dat", "crc=|-10"},  // found, but no file to open: status -1
                          Case{"data", "crc=0"}}) {                  // a folder is no file
        std::string a = h.conv->ParseRequest("ecrc?" + c.file);
        ASSERT_GE(a.size(), 2u);
        EXPECT_EQ(a.substr(0, 2), "\xC9\xCA");
        EXPECT_EQ((a.size() - 2) % 16, 0u) << c.file;
        EXPECT_EQ(DecipherText(a.substr(2), key), T(c.plain)) << c.file;
    }
}

TEST(ParseRequest, FmparmIsByteSumAndCrcWithoutSeparator) {
    GameFolder g;
    const std::string bytes = std::string("\x01\x02\x03\xFF", 4) + "12345";  // the last five do not count
    g.file("data\\fmparam3.dat", bytes);
    Harness h(g.path());
    EXPECT_EQ(h.conv->ParseRequest("fmparm?data\\fmparam3.dat"),
              "pcrc=" + std::to_string(1 + 2 + 3 + 255) + std::to_string(secsim::Crc32Of(bytes)));
}

// The sum is a 32-bit value sent as a signed number: past 2147483647 it reads negative.
TEST(ParseRequest, FmparmSumAboveInt32MaxIsSentSigned) {
    GameFolder g;
    const std::string bytes = std::string(8421505, '\xFF') + "12345";  // 8421505 x 255 = 2147483775
    g.file("data\\big.dat", bytes);
    Harness h(g.path());
    EXPECT_EQ(h.conv->ParseRequest("fmparm?data\\big.dat"),
              "pcrc=-2147483521" + std::to_string(secsim::Crc32Of(bytes)));
}

TEST(ParseRequest, BackgroundCheckWaitsThreeAndAHalfSeconds) {
    GameFolder g;
    g.file("data\\acspecs1.dat", kAc);
    Harness h(g.path());
    h.state.foregroundChecks = false;
    h.state.resultList.add("old=1|2|1");
    h.conv->ParseRequest("check=plyr-cfg.txt=data\\|-acspecs?.dat|");
    EXPECT_EQ(h.clock.totalSlept(), 3500u);  // the report lands only after the wait
    EXPECT_FALSE(h.runner.CheckFinished());
    EXPECT_EQ(h.conv->ParseRequest("snd?"), T("snd=acspecs1.dat=8|" + std::to_string(secsim::Crc32Of(kAc)) + "|1\r\n"));
    h.runner.DeliverReports();
    EXPECT_TRUE(h.runner.CheckFinished());
    EXPECT_EQ(h.main.Memo1.lines.back(), "0 ms / check (bg)");
}

TEST(ParseRequest, TerrainLinesAreReusedAndTheOldLogIsReplaced) {
    GameFolder g;
    g.file("plyr-cfg.txt", "stale lines of an older check\r\n");
    Harness h(g.path());
    h.state.checks.tedResults.add("volkar0.ted=5|123|1");
    h.conv->ParseRequest("check=plyr-cfg.txt=data\\|-volkar?.ted|");
    EXPECT_EQ(h.state.resultList.lines(), Lines{"volkar0.ted=5|123|1"});
    EXPECT_EQ(g.read("plyr-cfg.txt").find("stale"), std::string::npos);
}

// A check= log is deleted and rewritten: only a text file of the game folder itself may be one.
// With any other name the check still runs and the server gets its answers (a real server may
// use another name), but nothing is deleted or written.
TEST(ParseRequest, OtherCheckLogNamesRunTheCheckWithoutWritingLogs) {
    GameFolder g;
    g.file("data\\fmparam3.dat", "flight model").file("volkarmmp.exe", "the game").file("data\\notes.txt", "mine");
    g.file("plyrBlockedIPs.txt", "198.51.100.1\r\n").file("rgb.txt", "");
    const std::string line = "fmparam3.dat=12|" + std::to_string(secsim::Crc32Of("flight model")) + "|1";
    for (const std::string name : {"data\\fmparam3.dat", "volkarmmp.exe", "data\\notes.txt", "", "plyr-cfg",
                                   "plyrBlockedIPs.txt", "PLYRBLOCKEDIPS.TXT", "rgb.txt", "duh.txt", "WDNplyr-settings.txt",
                                   "..\\x.txt"}) {
        SCOPED_TRACE(name);
        Harness h(g.path());
        h.state.resultList.add("old=1|2|1");
        EXPECT_EQ(h.conv->ParseRequest("check=" + name + "=data\\|-*.dat|"), "");
        EXPECT_TRUE(h.conv->handled());
        EXPECT_EQ(h.main.Memo1.lines[0], "==> Not a check log name, the check runs without writing its logs: " + name);
        EXPECT_EQ(h.state.resultList.lines(), Lines{line});
        EXPECT_EQ(h.conv->ParseRequest("snd?"), T("snd=" + line + "\r\n"));
        EXPECT_EQ(g.read("data\\fmparam3.dat"), "flight model");
        EXPECT_EQ(g.read("volkarmmp.exe"), "the game");
        EXPECT_EQ(g.read("data\\notes.txt"), "mine");
        EXPECT_EQ(g.read("plyrBlockedIPs.txt"), "198.51.100.1\r\n");  // the player's blocked servers
        EXPECT_TRUE(g.exists("rgb.txt") && g.read("rgb.txt").empty());  // a debug switch
        EXPECT_FALSE(g.exists("duh.txt"));
        EXPECT_FALSE(g.exists("log-" + name));
    }
    Harness h(g.path());
    h.conv->ParseRequest("check=WDN-Check.TXT=data\\|-*.dat|");
    EXPECT_TRUE(g.exists("WDN-Check.TXT"));
    EXPECT_TRUE(g.exists("log-WDN-Check.TXT"));
    EXPECT_EQ(h.state.resultList.size(), 1u);
}

TEST(ParseRequest, CorruptArchiveEndsTheCheckAsAParseException) {
    GameFolder g;
    g.file("data\\vkmulti.vol", "VOL!tiny");
    Harness h(g.path());
    EXPECT_EQ(h.conv->ParseRequest("check=plyr-cfg.txt=data\\&vkmulti.vol&|-*.dat|"), "");
    EXPECT_EQ(h.main.Memo1.lines.back(), "=>Exception in parse()");
}

// ---- url= ------------------------------------------------------------------------------------

TEST(Url, WebAddressesAreOfferedAndOpened) {
    GameFolder g;
    for (const std::string addr : {"http://patches.example/vk.zip", "HTTPS://patches.example/vk.zip",
                                    "ftp://files.example/vk.zip"}) {
        Harness h(g.path());
        EXPECT_EQ(h.conv->ParseRequest("url=" + addr), "");
        EXPECT_TRUE(h.conv->handled());
        EXPECT_TRUE(h.getUrl.visible);
        EXPECT_EQ(h.getUrl.dload.caption, "Download : \r\n" + addr + " ?");
        h.conv->BitBtn1Click();
        EXPECT_EQ(h.shell.calls, Lines{"open " + addr});
        EXPECT_FALSE(h.getUrl.visible);
    }
    Harness h(g.path());
    h.conv->ParseRequest("url=http://patches.example/vk.zip");
    h.conv->BitBtn2Click();
    EXPECT_FALSE(h.getUrl.visible);
    EXPECT_TRUE(h.shell.calls.empty());
}

TEST(Url, OtherAddressesAreLoggedAndIgnored) {
    GameFolder g;
    for (const std::string addr : {"file:///etc/passwd", "C:\\windows\\system32\\calc.exe", "wdnhelp.exe",
                                    "javascript:alert(1)", "http://x.example/\r\nrm", "", "httpx://a"}) {
        Harness h(g.path());
        h.conv->ParseRequest("url=" + addr);
        EXPECT_TRUE(h.conv->handled());
        EXPECT_FALSE(h.getUrl.visible) << addr;
        h.conv->BitBtn1Click();
        EXPECT_TRUE(h.shell.calls.empty()) << addr;
        EXPECT_EQ(h.main.Memo1.lines.back(),
                  "==> Download offer ignored, only http://, https:// and ftp:// addresses are opened: " + addr);
    }
}

// ---- connection events -----------------------------------------------------------------------

TEST(Sessions, BlockedServerIsClosedAndKeepsTheLastAddress) {
    GameFolder g;
    Harness h(g.path());
    h.blocked.servip.text = "198.51.100.1";
    h.blocked.srvlist.items = {"192.0.2.10", "203.0.113.9"};
    h.conv->Sockets1SessionAvailable(3);
    EXPECT_EQ(h.main.Memo1.lines.back(), "!! ==> This IP (192.0.2.10)has been blocked by you");
    EXPECT_EQ(h.connection.calls, Lines{"CloseClick"});
    EXPECT_EQ(h.sockets.closed, std::vector<int>{7});  // the blocked connection itself
    EXPECT_EQ(h.blocked.servip.text, "198.51.100.1");
}

TEST(Sessions, SelfTestSeesAcceptsAndInvalidSockets) {
    GameFolder g;
    Harness h(g.path());
    h.state.selfTestRunning = true;
    h.conv->Sockets1SessionAvailable(3);
    EXPECT_EQ(h.selfTest.Memo.lines, Lines{"OK Self-test: session accepted IP=192.0.2.10"});
    h.sockets.acceptResult = -1;
    h.main.Memo1.Clear();
    h.conv->Sockets1SessionAvailable(3);
    EXPECT_EQ(h.main.Memo1.lines, Lines{"Invalid socket... -1"});
    // The self-test message names its sender in the self-test log.
    h.conv->ParseRequest("srvinf:==>From WDNplyr Self-Testing: Local IP=OK");
    EXPECT_EQ(h.selfTest.Memo.lines.back(), "Succes! => Self test string was received from: 192.0.2.10");
    EXPECT_EQ(h.main.Memo1.lines.back(), "==>From WDNplyr Self-Testing: Local IP=OK");
}

TEST(Sessions, ConnectedAndClosedAreLogged) {
    GameFolder g;
    Harness h(g.path());
    h.conv->Sockets1SessionConnected(9);
    EXPECT_EQ(h.main.Memo1.lines.back(), "Connected to IP=192.0.2.10 on his port #4242 socket#: 9");
    h.conv->Sockets1SessionClosed(9);
    EXPECT_EQ(h.main.Memo1.lines.back(), "End of conversation, session continues......");
    EXPECT_EQ(h.connection.calls, Lines{"CloseClick"});
}

}  // namespace
}  // namespace vk::test
