#include "tools/secsim/secsim.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace vk::secsim {

namespace {

constexpr char kTerm = '\xC8';

using SteadyMs = std::chrono::milliseconds;

int64_t NowMs() {
    return std::chrono::duration_cast<SteadyMs>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool StartsWith(const std::string& s, const std::string& p) { return s.compare(0, p.size(), p) == 0; }

bool AllDigits(const std::string& s, size_t from = 0) {
    if (from >= s.size()) return false;
    for (size_t i = from; i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// A game-folder name ('\' separators, any case) as an OS path below the folder, each
// component matched without regard to case; "" when it cannot exist there.
std::string FindInFolder(const std::string& folder, const std::string& name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    std::string part;
    std::vector<std::string> parts;
    for (char c : name) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] == "..") return {};
        std::string found;
        if (DIR* d = opendir(path.c_str())) {
            while (dirent* e = readdir(d)) {
                std::string n = e->d_name;
                if (n == parts[i]) {
                    found = n;
                    break;
                }
                if (found.empty() && Lower(n) == Lower(parts[i])) found = n;
            }
            closedir(d);
        }
        if (found.empty()) return {};
        path += found;
        if (i + 1 < parts.size()) path += '/';
    }
    return path;
}

struct FileFacts {
    bool exists = false;
    bool readable = false;
    std::string bytes;
};

FileFacts ReadGameFile(const std::string& folder, const std::string& name) {
    FileFacts f;
    std::string path = FindInFolder(folder, name);
    if (path.empty()) return f;
    f.exists = true;
    std::ifstream in(path, std::ios::binary);
    if (!in) return f;
    f.readable = true;
    std::ostringstream ss;
    ss << in.rdbuf();
    f.bytes = ss.str();
    return f;
}

// The CRC text and status the client should give for a file.
void ExpectedCrc(const std::string& folder, const std::string& name, uint32_t& crc, int& status) {
    FileFacts f = ReadGameFile(folder, name);
    crc = 0;
    status = 0;
    if (!f.exists) return;
    if (!f.readable) {
        status = -1;
        return;
    }
    if (f.bytes.empty()) return;
    crc = Crc32Of(f.bytes);
    status = 1;
}

std::string DecipherBlocks(const std::string& cipher, const std::array<uint8_t, 32>& key) {
    std::string plain(cipher.size(), '\0');
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int len = 0, fin = 0;
    bool ok = ctx && EVP_DecryptInit_ex(ctx, EVP_aes_256_ecb(), nullptr, key.data(), nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
              EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(plain.data()), &len,
                                reinterpret_cast<const unsigned char*>(cipher.data()), static_cast<int>(cipher.size())) == 1 &&
              EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(plain.data()) + len, &fin) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) return {};
    return plain;
}

class Connection {
public:
    ~Connection() {
        if (fd_ >= 0) ::close(fd_);
    }
    // Takes the first connection on a listening socket within timeoutMs.
    bool accept(int listener, int timeoutMs) {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return false;
        fd_ = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd_ < 0) return false;
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return true;
    }
    bool connect(const std::string& host, int port, int timeoutMs) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* res = nullptr;
        if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) return false;
        const int64_t until = NowMs() + timeoutMs;
        bool ok = false;
        do {
            fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
            if (fd_ >= 0 && ::connect(fd_, res->ai_addr, res->ai_addrlen) == 0) {
                ok = true;
                break;
            }
            if (fd_ >= 0) ::close(fd_);
            fd_ = -1;
            std::this_thread::sleep_for(SteadyMs(100));
        } while (NowMs() < until);
        freeaddrinfo(res);
        if (ok) {
            int one = 1;
            setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
        return ok;
    }
    bool send(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    // Fills the buffer for up to timeoutMs; false at the end of the stream or on a reset.
    bool fill(int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        int r = ::poll(&p, 1, timeoutMs);
        if (r <= 0) return true;  // nothing (yet)
        char tmp[4096];
        ssize_t n = ::recv(fd_, tmp, sizeof tmp, 0);
        if (n <= 0) {
            closed_ = true;
            return false;
        }
        buf_.append(tmp, static_cast<size_t>(n));
        return true;
    }
    // The bytes up to and including the terminator; "" on a time-out (what came stays buffered).
    bool readUntil(char term, int timeoutMs, std::string& out) {
        const int64_t until = NowMs() + timeoutMs;
        for (;;) {
            size_t p = buf_.find(term);
            if (p != std::string::npos) {
                out = buf_.substr(0, p + 1);
                buf_.erase(0, p + 1);
                return true;
            }
            int64_t left = until - NowMs();
            if (left <= 0 || closed_) return false;
            if (!fill(static_cast<int>(left))) return false;
        }
    }
    bool readExactly(size_t count, int timeoutMs, std::string& out) {
        const int64_t until = NowMs() + timeoutMs;
        while (buf_.size() < count) {
            int64_t left = until - NowMs();
            if (left <= 0 || closed_) return false;
            if (!fill(static_cast<int>(left))) return false;
        }
        out = buf_.substr(0, count);
        buf_.erase(0, count);
        return true;
    }
    // Everything that arrives until quietMs pass without a byte (or timeoutMs in all).
    std::string readQuiet(int quietMs, int timeoutMs) {
        const int64_t until = NowMs() + timeoutMs;
        while (NowMs() < until && !closed_) {
            size_t before = buf_.size();
            if (!fill(quietMs)) break;
            if (buf_.size() == before && !buf_.empty()) break;
        }
        std::string out;
        out.swap(buf_);
        return out;
    }
    // Bytes that have come without being asked for.
    std::string takeUnexpected() {
        while (!closed_) {
            size_t before = buf_.size();
            if (!fill(0) || buf_.size() == before) break;
        }
        std::string out;
        out.swap(buf_);
        return out;
    }
    // Waits for the client to close; false when it does not within timeoutMs.
    bool waitClosed(int timeoutMs, std::string& extra) {
        const int64_t until = NowMs() + timeoutMs;
        while (!closed_) {
            int64_t left = until - NowMs();
            if (left <= 0) break;
            fill(static_cast<int>(left));
        }
        extra.swap(buf_);
        return closed_;
    }
    std::string peerText() const {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        if (getpeername(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return "?";
        char ip[INET_ADDRSTRLEN] = "?";
        inet_ntop(AF_INET, &a.sin_addr, ip, sizeof ip);
        return std::string(ip) + ":" + std::to_string(ntohs(a.sin_port));
    }
    bool closed() const { return closed_; }
    const std::string& pending() const { return buf_; }

private:
    int fd_ = -1;
    bool closed_ = false;
    std::string buf_;
};

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
            unsigned v = 0;
            if (std::sscanf(s.c_str() + i + 2, "%2x", &v) == 1) {
                out += static_cast<char>(v);
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// A result line as the client writes it: name=size|crc|status, or the "!" and "_" lines.
bool LooksLikeResultLine(const std::string& line) {
    if (line == "Definitely nothing found.....") return true;
    if (!line.empty() && line[0] == '_') return line.size() > 1;
    size_t eq = line.rfind('=');
    if (eq == std::string::npos || eq == 0) return false;
    std::string rest = line.substr(eq + 1);
    size_t b1 = rest.find('|');
    size_t b2 = b1 == std::string::npos ? b1 : rest.find('|', b1 + 1);
    if (b2 == std::string::npos) return false;
    std::string size = rest.substr(0, b1), crc = rest.substr(b1 + 1, b2 - b1 - 1), st = rest.substr(b2 + 1);
    return AllDigits(size) && AllDigits(crc) && (st == "1" || st == "0" || st == "-1");
}

class Player {
public:
    Player(const Options& o, std::ostream& out) : o_(o), out_(out) {}

    Report run() {
        if (o_.kickPort > 0) {
            if (!kicked()) {
                r_.mismatches = 1;
                return r_;
            }
        } else if (!conn_.connect(o_.host, o_.port, o_.timeoutMs)) {
            out_ << "secsim: cannot connect to " << o_.host << ":" << o_.port << "\n";
            r_.mismatches = 1;
            return r_;
        } else {
            out_ << "secsim: connected to " << o_.host << ":" << o_.port << "\n";
        }
        r_.connected = true;
        std::istringstream script(o_.script.empty() ? DefaultScript(o_.gapMs) : o_.script);
        std::string line;
        int lineNo = 0;
        while (std::getline(script, line)) {
            ++lineNo;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.empty() || line[0] == '#') continue;
            if (!step(line, lineNo)) break;
        }
        out_ << "secsim: " << r_.requests << " requests, " << r_.answersChecked << " answers checked, "
             << r_.mismatches << " mismatches" << (r_.mismatches ? " - FAILED" : " - all answers right") << "\n";
        return r_;
    }

private:
    // The UDP side of kickstart, up to the client's TCP connection on the offered port.
    bool kicked() {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        if (inet_pton(AF_INET, o_.host.c_str(), &local.sin_addr) != 1) {
            out_ << "secsim: --host must be a dotted address for kickstart\n";
            return false;
        }
        const int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int tcp = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        auto done = [&](bool result) {
            if (udp >= 0) ::close(udp);
            if (tcp >= 0) ::close(tcp);
            return result;
        };
        int one = 1;
        setsockopt(tcp, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        local.sin_port = htons(static_cast<uint16_t>(o_.kickPort));
        if (udp < 0 || ::bind(udp, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            out_ << "secsim: cannot bind UDP " << o_.host << ":" << o_.kickPort << "\n";
            return done(false);
        }
        sockaddr_in go = local;
        go.sin_port = htons(static_cast<uint16_t>(o_.goPort));
        socklen_t len = sizeof go;
        if (tcp < 0 || ::bind(tcp, reinterpret_cast<sockaddr*>(&go), sizeof go) != 0 || ::listen(tcp, 1) != 0 ||
            getsockname(tcp, reinterpret_cast<sockaddr*>(&go), &len) != 0) {
            out_ << "secsim: cannot listen on TCP " << o_.host << ":" << o_.goPort << "\n";
            return done(false);
        }
        out_ << "secsim: waiting for a kick on UDP " << o_.host << ":" << o_.kickPort << std::endl;

        sockaddr_in client{};
        auto receive = [&](int waitMs, std::string& text) {
            pollfd p{udp, POLLIN, 0};
            if (::poll(&p, 1, waitMs) <= 0) return false;
            char buf[1024];
            socklen_t fl = sizeof client;
            const ssize_t n = ::recvfrom(udp, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&client), &fl);
            if (n < 0) return false;
            text.assign(buf, static_cast<size_t>(n));
            char ip[INET_ADDRSTRLEN] = "?";
            inet_ntop(AF_INET, &client.sin_addr, ip, sizeof ip);
            const std::string from = std::string(ip) + ":" + std::to_string(ntohs(client.sin_port));
            r_.datagrams.push_back(from + " " + text);
            out_ << "secsim: datagram from " << from << ": " << Printable(text) << std::endl;
            return true;
        };
        auto send = [&](const std::string& text) {
            ::sendto(udp, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&client), sizeof client);
            out_ << "secsim: sent " << text << std::endl;
        };

        const int64_t until = NowMs() + o_.kickWaitMs;
        std::string text;
        while (!StartsWith(text, "idport:")) {
            const int64_t left = until - NowMs();
            if (left <= 0 || !receive(static_cast<int>(left), text)) {
                out_ << "secsim: no kick came\n";
                return done(false);
            }
        }
        for (const auto& d : o_.datagrams) send(d);
        send("goport:" + std::to_string(ntohs(go.sin_port)));
        // The client probes with "areuwdn:?" and connects about 3 s later; datagrams that
        // come meanwhile are printed.
        for (;;) {
            pollfd p[2] = {{udp, POLLIN, 0}, {tcp, POLLIN, 0}};
            const int64_t left = until - NowMs();
            if (left <= 0 || ::poll(p, 2, static_cast<int>(left)) <= 0) {
                out_ << "secsim: the client did not connect\n";
                return done(false);
            }
            if (p[0].revents & POLLIN) receive(0, text);
            if (p[1].revents & POLLIN) break;
        }
        if (!conn_.accept(tcp, 0)) {
            out_ << "secsim: accept failed\n";
            return done(false);
        }
        out_ << "secsim: connected from " << conn_.peerText() << std::endl;
        // Datagrams still on their way (the probe) are printed before the conversation.
        while (receive(100, text)) {
        }
        return done(true);
    }

    void ok(const std::string& what) { out_ << "  ok        " << what << "\n"; }
    void bad(const std::string& what) {
        ++r_.mismatches;
        out_ << "  MISMATCH  " << what << "\n";
    }

    void checkQuiet() {
        std::string extra = conn_.takeUnexpected();
        if (!extra.empty()) bad("unexpected bytes from the client: " + Printable(extra));
    }

    bool sendRequest(const std::string& request) {
        checkQuiet();
        ++r_.requests;
        if (!conn_.send(request + kTerm)) {
            bad("could not send " + Printable(request) + " (connection lost)");
            return false;
        }
        return true;
    }

    bool readAnswer(const std::string& request, std::string& answer) {
        ++r_.answersChecked;
        if (!conn_.readUntil(kTerm, o_.timeoutMs, answer)) {
            bad(request + ": no terminated answer" + (conn_.closed() ? " (connection closed)" : " (time-out)"));
            return false;
        }
        return true;
    }

    bool step(const std::string& line, int lineNo) {
        if (StartsWith(line, "@wait")) {
            std::this_thread::sleep_for(SteadyMs(std::atoi(line.c_str() + 5)));
            return true;
        }
        if (StartsWith(line, "@time")) {
            std::string arg = line.substr(5);
            size_t p = arg.find('+');
            int32_t value;
            if (p != std::string::npos && haveTime_) {
                value = static_cast<int32_t>(static_cast<uint32_t>(lastTime_) +
                                             static_cast<uint32_t>(std::atoll(arg.c_str() + p + 1)));
            } else {
                value = static_cast<int32_t>(static_cast<uint32_t>(NowMs()));
            }
            lastTime_ = value;
            haveTime_ = true;
            if (!sendRequest("time:" + std::to_string(value))) return false;
            ok("time:" + std::to_string(value));
            return true;
        }
        if (StartsWith(line, "@alarm")) {
            std::string a;
            ++r_.answersChecked;
            if (!conn_.readUntil(kTerm, o_.timeoutMs, a) || !StartsWith(a, "Ok:") || !AllDigits(a.substr(3, a.size() - 4))) {
                bad("expected the speed alarm Ok:<percent>, got " + Printable(a));
            } else {
                ok("speed alarm " + Printable(a));
            }
            return true;
        }
        if (StartsWith(line, "@verdict")) {
            const bool good = r_.mismatches == 0;
            std::string v = "srvinf:URIP:" + conn_.peerText() + "::WDN check of your configuration " +
                            (good ? ">Config OK" : ">Config ERROR");
            if (!sendRequest(v)) return false;
            ok("verdict sent: " + std::string(good ? ">Config OK" : ">Config ERROR"));
            return true;
        }
        if (StartsWith(line, "@raw ")) {
            checkQuiet();
            ++r_.requests;
            if (!conn_.send(Unescape(line.substr(5)))) {
                bad("could not send raw bytes");
                return false;
            }
            ok("raw " + line.substr(5));
            return true;
        }
        if (line[0] == '@') {
            bad("script line " + std::to_string(lineNo) + ": unknown step " + line);
            return true;
        }
        return request(line);
    }

    bool request(const std::string& req) {
        if (!sendRequest(req)) return false;
        std::string a;
        if (StartsWith(req, "ver?")) {
            if (!readAnswer(req, a)) return true;
            std::string v = a.substr(0, a.size() - 1);
            if (v.empty() || (!o_.expectedVersion.empty() && v != o_.expectedVersion))
                bad("ver?: version answer " + Printable(a));
            else
                ok("ver? -> " + Printable(a));
        } else if (StartsWith(req, "url=") || StartsWith(req, "time:") || StartsWith(req, "srvinf:")) {
            if (req.find("srvinf:EOT:") != std::string::npos) {
                std::string extra;
                bool closed = conn_.waitClosed(o_.timeoutMs, extra);
                if (!extra.empty()) bad("after srvinf:EOT: unexpected bytes " + Printable(extra));
                if (!closed)
                    bad("srvinf:EOT: the client did not close the connection");
                else
                    ok("srvinf:EOT: -> the client closed the connection");
            } else {
                ok(Printable(req));
            }
        } else if (req.find("id?") != std::string::npos && req.size() > 3) {
            checkId(req);
        } else if (StartsWith(req, "check=")) {
            ok(Printable(req));
        } else if (StartsWith(req, "scn?") || StartsWith(req, "ok?")) {
            ok(Printable(req));
        } else if (StartsWith(req, "snd?")) {
            if (!readAnswer(req, a)) return true;
            checkSnd(a);
        } else if (StartsWith(req, "crc?")) {
            if (!readAnswer(req, a)) return true;
            checkCrc(a);
        } else if (StartsWith(req, "ecrc?")) {
            checkEcrc(req.substr(5));
        } else if (StartsWith(req, "fmparm?")) {
            checkFmparm(req.substr(7));
        } else {
            ok(Printable(req) + " (no answer expected)");
        }
        return true;
    }

    void checkId(const std::string& req) {
        std::string a;
        if (!readAnswer(req, a)) return;
        std::string body = a.substr(0, a.size() - 1);
        if (!StartsWith(body, "id=")) return bad("id?: answer " + Printable(a));
        std::string v = body.substr(3);
        std::string crc = v.substr(0, v.find('|'));
        if (!AllDigits(crc)) return bad("id?: answer " + Printable(a));
        if (v.find('|') != std::string::npos) {
            std::string st = v.substr(v.find('|') + 1);
            if (st != "1" && st != "0" && st != "-1") return bad("id?: status in " + Printable(a));
        }
        if (!o_.gameFolder.empty()) {
            size_t bar = req.find('|');
            std::string file = bar == std::string::npos ? req : req.substr(bar + 1);
            uint32_t want;
            int status;
            ExpectedCrc(o_.gameFolder, file, want, status);
            // A stored identity line keeps the CRC the file had when it was made.
            if (v.find('|') == std::string::npos && crc != std::to_string(want))
                return bad("id?: CRC " + crc + ", the file's is " + std::to_string(want));
        }
        ok("id? -> " + Printable(a));
    }

    void checkSnd(const std::string& a) {
        if (!StartsWith(a, "snd=")) return bad("snd?: answer " + Printable(a));
        sndText_ = a.substr(4, a.size() - 5);
        haveSnd_ = true;
        size_t pos = 0, lines = 0;
        while (pos < sndText_.size()) {
            size_t end = sndText_.find("\r\n", pos);
            if (end == std::string::npos) return bad("snd?: a line without CR LF at the end");
            std::string l = sndText_.substr(pos, end - pos);
            if (!LooksLikeResultLine(l)) return bad("snd?: result line " + Printable(l));
            ++lines;
            pos = end + 2;
        }
        ok("snd? -> " + std::to_string(lines) + " result lines, " + std::to_string(a.size()) + " bytes");
    }

    void checkCrc(std::string a) {
        if (!haveSnd_) {
            if (!StartsWith(a, "crc=")) return bad("crc?: answer " + Printable(a));
            return ok("crc? -> " + Printable(a) + " (no snd? to compare with)");
        }
        if (sndText_.empty()) {
            std::string second;
            if (a != std::string("crc=Err") + kTerm || !conn_.readExactly(1, o_.timeoutMs, second) || second[0] != kTerm)
                return bad("crc?: an empty list must give crc=Err and two terminators, got " + Printable(a));
            return ok("crc? -> crc=Err (empty list)");
        }
        std::string want = "crc=" + std::to_string(RawCrc32Of(sndText_)) + kTerm;
        if (a != want) return bad("crc?: " + Printable(a) + ", the snd= text gives " + Printable(want));
        ok("crc? -> " + Printable(a) + " = raw CRC of the snd= text");
    }

    void checkEcrc(const std::string& file) {
        ++r_.answersChecked;
        std::string marker;
        if (!conn_.readExactly(2, o_.timeoutMs, marker) || marker != "\xC9\xCA")
            return bad("ecrc?: no 0xC9 0xCA marker, got " + Printable(marker));
        std::string cipher, plain;
        // Blocks of 16 until the deciphered text holds its terminator. The client sends the
        // answer in one piece, so once the bytes stop coming there is no more of it.
        for (int blocks = 0; blocks < 16; ++blocks) {
            std::string block;
            if (!conn_.readExactly(16, blocks == 0 ? o_.timeoutMs : 500, block)) {
                if (!conn_.pending().empty() || cipher.empty())
                    return bad("ecrc?: the answer is not 2 + 16 x n bytes (" +
                               std::to_string(2 + cipher.size() + conn_.pending().size()) + ")");
                break;
            }
            cipher += block;
            plain = DecipherBlocks(cipher, o_.key);
            if (plain.find(kTerm) != std::string::npos) break;
        }
        size_t t = plain.find(kTerm);
        if (t == std::string::npos || !StartsWith(plain, "crc="))
            return bad("ecrc?: deciphers to " + Printable(plain) + " (wrong key?)");
        for (size_t i = t + 1; i < plain.size(); ++i)
            if (plain[i] != 0) return bad("ecrc?: padding is not zero bytes");
        if (plain.size() - (t + 1) >= 16) return bad("ecrc?: more padding than one block");
        std::string value = plain.substr(4, t - 4);
        std::string digits = StartsWith(value, "|-1") ? value.substr(3) : value;
        if (!AllDigits(digits)) return bad("ecrc?: value " + Printable(value));
        if (!o_.gameFolder.empty()) {
            uint32_t want;
            int status;
            ExpectedCrc(o_.gameFolder, file, want, status);
            std::string w = (status == -1 ? "|-1" : "") + std::to_string(want);
            if (value != w) return bad("ecrc?" + file + ": " + value + ", the file gives " + w);
        }
        ok("ecrc?" + file + " -> " + std::to_string(2 + cipher.size()) + " bytes, deciphered crc=" + value);
    }

    void checkFmparm(const std::string& file) {
        ++r_.answersChecked;
        // A file that is there but cannot be read gets no answer (the client reports an error).
        if (!o_.gameFolder.empty()) {
            FileFacts f = ReadGameFile(o_.gameFolder, file);
            if (f.exists && !f.readable) {
                std::string a = conn_.readQuiet(300, 1000);
                if (!a.empty()) return bad("fmparm?" + file + ": unreadable file, yet answered " + Printable(a));
                return ok("fmparm?" + file + " -> no answer (unreadable file)");
            }
        }
        // No terminator: the answer is what comes before the client falls quiet.
        std::string a = conn_.readQuiet(300, o_.timeoutMs);
        if (!StartsWith(a, "pcrc=") || a.size() < 7) return bad("fmparm?: answer " + Printable(a));
        std::string nums = a.substr(5);
        if (!AllDigits(nums, nums[0] == '-' ? 1 : 0)) return bad("fmparm?: answer " + Printable(a));
        if (!o_.gameFolder.empty()) {
            FileFacts f = ReadGameFile(o_.gameFolder, file);
            long long sum = -1;
            if (f.exists && f.readable) {
                uint32_t s = 0;
                for (size_t i = 0; i + 5 < f.bytes.size(); ++i) s += static_cast<unsigned char>(f.bytes[i]);
                sum = static_cast<int32_t>(s);  // sent as a signed 32-bit number
            }
            uint32_t crc;
            int status;
            ExpectedCrc(o_.gameFolder, file, crc, status);
            std::string want = "pcrc=" + std::to_string(sum) + std::to_string(crc);
            if (a != want) return bad("fmparm?" + file + ": " + Printable(a) + ", the file gives " + want);
        }
        ok("fmparm?" + file + " -> " + Printable(a));
    }

    const Options& o_;
    std::ostream& out_;
    Connection conn_;
    Report r_;
    int32_t lastTime_ = 0;
    bool haveTime_ = false;
    std::string sndText_;
    bool haveSnd_ = false;
};

}  // namespace

uint32_t Crc32Of(const std::string& bytes) {
    return static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// Preset 0 and no final inversion: the standard routine inverts on the way in and out.
uint32_t RawCrc32Of(const std::string& bytes) {
    return ~static_cast<uint32_t>(
        crc32(0xFFFFFFFFUL, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string Printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

bool ParseKeyHex(const std::string& hex, std::array<uint8_t, 32>& key) {
    if (hex.size() != 64) return false;
    for (size_t i = 0; i < 32; ++i) {
        unsigned v = 0;
        for (int k = 0; k < 2; ++k) {
            char c = hex[2 * i + k];
            int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (d < 0) return false;
            v = v * 16 + static_cast<unsigned>(d);
        }
        key[i] = static_cast<uint8_t>(v);
    }
    return true;
}

Options DefaultOptions() {
    Options o;
    ParseKeyHex(VK_SECSIM_KEY_HEX, o.key);
    o.expectedVersion = VK_SECSIM_VERSION;
    return o;
}

std::string DefaultScript(int gapMs) {
    return "@time\n"
           "ver?\n"
           "id?vkid.txt|data\\fmparam3.dat\n"
           "check=plyr-cfg.txt=data\\|-fmparam*?.dat|acspecs?.dat|\n"
           "snd?\n"
           "crc?\n"
           "@wait " + std::to_string(gapMs) + "\n"
           "@time\n"
           "@verdict\n"
           "srvinf:EOT:\n";
}

Report Run(const Options& options, std::ostream& out) { return Player(options, out).run(); }

}  // namespace vk::secsim
