// The simulator's own checks: a client that answers wrongly must show as a mismatch, since the
// end-to-end tests and the demo rely on it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <thread>

#include "common/aes.h"
#include "harness.h"
#include "tools/secsim/secsim.h"

namespace vk::test {
namespace {

// A client that answers each request with a canned reply (by the request's first word), and
// closes after "srvinf:EOT:" unless told to stay.
struct CannedClient {
    std::map<std::string, std::string> replies;
    bool closeOnEot = true;
    int listenFd = -1;
    int port = 0;

    CannedClient() {
        listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listenFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listenFd, 1);
        socklen_t len = sizeof a;
        getsockname(listenFd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~CannedClient() { ::close(listenFd); }

    void serve() {
        int fd = ::accept(listenFd, nullptr, nullptr);
        std::string buf;
        char tmp[4096];
        for (;;) {
            ssize_t n = ::recv(fd, tmp, sizeof tmp, 0);
            if (n <= 0) break;
            buf.append(tmp, static_cast<size_t>(n));
            size_t end;
            bool eot = false;
            while ((end = buf.find('\xC8')) != std::string::npos) {
                std::string req = buf.substr(0, end);
                buf.erase(0, end + 1);
                for (const auto& [prefix, reply] : replies)
                    if (req.rfind(prefix, 0) == 0) ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
                eot = eot || req == "srvinf:EOT:";
            }
            if (eot && closeOnEot) break;
        }
        ::close(fd);
    }
};

struct SimCase {
    std::string name;
    std::string script;
    std::map<std::string, std::string> replies;
    int mismatches;
    std::string reportHas;
    bool closeOnEot = true;
};

TEST(Secsim, ChecksEveryKindOfAnswer) {
    GameFolder g;
    g.file("data\\fmparam3.dat", "0123456789");
    const std::string crc = std::to_string(secsim::Crc32Of("0123456789"));
    const std::string text = "fmparam3.dat=10|" + crc + "|1\r\n";
    const std::string goodCrc = T("crc=" + std::to_string(secsim::RawCrc32Of(text)));
    secsim::Options base = secsim::DefaultOptions();
    const AesKey key{base.key};
    const std::string goodEcrc = "\xC9\xCA" + EncipherText(T("crc=" + crc), key);
    const std::string goodFm = "pcrc=" + std::to_string('0' + '1' + '2' + '3' + '4') + crc;

    const std::vector<SimCase> cases = {
        {"all right", "ver?\nid?x.id|data\\fmparam3.dat\nsnd?\ncrc?\necrc?data\\fmparam3.dat\nfmparm?data\\fmparam3.dat\nok?\nsrvinf:EOT:\n",
         {{"ver?", T("2.2.0.1")}, {"id?", T("id=" + crc)}, {"snd?", T("snd=" + text)}, {"crc?", goodCrc},
          {"ecrc?", goodEcrc}, {"fmparm?", goodFm}},
         0, "0 mismatches"},
        {"wrong version", "ver?\n", {{"ver?", T("9.9")}}, 1, "MISMATCH  ver?"},
        {"identity of another file", "id?x.id|data\\fmparam3.dat\n", {{"id?", T("id=12")}}, 1, "MISMATCH  id?: CRC 12"},
        {"crc of other lines", "snd?\ncrc?\n", {{"snd?", T("snd=" + text)}, {"crc?", T("crc=1")}}, 1,
         "MISMATCH  crc?"},
        {"empty list needs two terminators", "snd?\ncrc?\n", {{"snd?", T("snd=")}, {"crc?", T("crc=Err")}}, 1,
         "crc=Err and two terminators"},
        {"result line without CR LF", "snd?\n", {{"snd?", T("snd=fmparam3.dat=10|1|1")}}, 1, "without CR LF"},
        {"malformed result line", "snd?\n", {{"snd?", T("snd=fmparam3.dat=10|x|1\r\n")}}, 1, "result line"},
        {"cipher text cut short", "ecrc?data\\fmparam3.dat\n", {{"ecrc?", goodEcrc.substr(0, 10)}}, 1,
         "not 2 + 16 x n bytes"},
        {"no cipher marker", "ecrc?data\\fmparam3.dat\n", {{"ecrc?", goodEcrc.substr(2) + "xx"}}, 1, "marker"},
        {"crc of another file enciphered", "ecrc?data\\missing.dat\n", {{"ecrc?", goodEcrc}}, 1,
         "MISMATCH  ecrc?data\\missing.dat"},
        {"wrong byte sum", "fmparm?data\\fmparam3.dat\n", {{"fmparm?", "pcrc=1" + crc}}, 1, "MISMATCH  fmparm?"},
        // Caught as unexpected bytes, or in front of the next answer when they come late.
        {"an answer nobody asked for", "ok?\nver?\n", {{"ok?", "junk"}, {"ver?", T("2.2.0.1")}}, 1, "junk"},
        {"no answer at all", "ver?\n", {}, 1, "no terminated answer"},
        {"client stays after the end", "srvinf:EOT:\n", {}, 1, "did not close", false},
        {"unknown script step", "@dance\n", {}, 1, "unknown step"},
    };
    for (const SimCase& c : cases) {
        SCOPED_TRACE(c.name);
        CannedClient client;
        client.replies = c.replies;
        client.closeOnEot = c.closeOnEot;
        std::thread t([&] { client.serve(); });
        secsim::Options o = base;
        o.port = client.port;
        o.script = c.script;
        o.gameFolder = g.path();
        o.timeoutMs = 700;
        std::ostringstream out;
        secsim::Report r = secsim::Run(o, out);
        // The client ends when the simulator goes away.
        t.join();
        EXPECT_EQ(r.mismatches, c.mismatches) << out.str();
        EXPECT_NE(out.str().find(c.reportHas), std::string::npos) << out.str();
    }
}

TEST(Secsim, NoClientIsAFailure) {
    secsim::Options o = secsim::DefaultOptions();
    CannedClient closed;  // a free port, then nobody listens on it
    o.port = closed.port;
    ::close(closed.listenFd);
    closed.listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    o.timeoutMs = 300;
    std::ostringstream out;
    secsim::Report r = secsim::Run(o, out);
    EXPECT_FALSE(r.connected);
    EXPECT_GT(r.mismatches, 0);
}

}  // namespace
}  // namespace vk::test
