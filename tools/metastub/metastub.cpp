#include "tools/metastub/metastub.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <sstream>

namespace vk::metastub {

namespace {

void Le32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}

void Text(std::string& s, const std::string& t) {
    const size_t n = t.size();
    s.push_back(static_cast<char>(n & 0xFF));
    s.push_back(static_cast<char>(n >> 8));
    for (unsigned char c : t) {
        s.push_back(static_cast<char>(c));
        s.push_back('\0');
    }
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02x", c);
        out += b;
    }
    return out;
}

}  // namespace

std::string ExpectedRequest() {
    // Written out rather than computed, so a fault in the client's builder shows here.
    static const unsigned char bytes[] = {
        0x23, 0, 0, 0,  30, 0, 0, 0,  2, 0, 0, 0,  10, 0,
        '/', 0, 'V', 0, 'o', 0, 'l', 0, 'k', 0, 'a', 0, 'r', 0, ' ', 0, 'I', 0, 'I', 0,
        1};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

std::string Directory(const std::vector<Entry>& entries) {
    std::string s;
    Le32(s, 2);  // a header without the entry byte in it
    for (const auto& e : entries) {
        s.push_back('S');
        Text(s, e.first);
        Text(s, e.second);
        Text(s, e.third);
        s.append(30, '\x01');
        Text(s, e.fourth);
        s.append("\x07\x00", 2);
    }
    return s;
}

std::vector<Entry> ParseList(const std::string& text) {
    std::vector<Entry> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        size_t start = 0;
        for (;;) {
            const size_t tab = line.find('\t', start);
            f.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        f.resize(4);
        out.push_back({f[0], f[1], f[2], f[3]});
    }
    return out;
}

Stub::Stub(Options options) : o_(std::move(options)) {}

Stub::~Stub() { stop(); }

bool Stub::start() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_ < 0) return false;
    int one = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(o_.port));
    if (::inet_pton(AF_INET, o_.host.c_str(), &a.sin_addr) != 1 || ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_, 8) != 0) {
        ::close(listen_);
        listen_ = -1;
        return false;
    }
    socklen_t len = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { serve(); });
    return true;
}

void Stub::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listen_ >= 0) ::close(listen_);
    listen_ = -1;
}

std::vector<std::string> Stub::log() const {
    while (lock_.test_and_set()) {
    }
    std::vector<std::string> copy = log_;
    lock_.clear();
    return copy;
}

void Stub::note(const std::string& line) {
    while (lock_.test_and_set()) {
    }
    log_.push_back(line);
    lock_.clear();
}

void Stub::serve() {
    while (!stop_) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        handle(fd);
        ::close(fd);
    }
}

void Stub::handle(int fd) {
    const std::string expected = ExpectedRequest();
    std::string got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (got.size() < expected.size() && !stop_ && std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        char buf[256];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        got.append(buf, static_cast<size_t>(n));
    }
    if (got != expected) {
        ++bad_;
        note("bad request: " + Hex(got));
        return;
    }
    ++good_;
    if (o_.silent) {
        note("request ok, answering nothing");
        // Keep the connection until the browser gives up or the stub stops.
        while (!stop_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buf[64];
                if (::recv(fd, buf, sizeof buf, 0) <= 0) break;
            }
        }
        return;
    }
    std::string reply = Directory(o_.entries);
    if (o_.cutAfter >= 0 && static_cast<size_t>(o_.cutAfter) < reply.size()) reply.resize(static_cast<size_t>(o_.cutAfter));
    size_t sent = 0;
    const size_t chunk = o_.chunk > 0 ? static_cast<size_t>(o_.chunk) : reply.size();
    while (sent < reply.size() && !stop_) {
        if (o_.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(o_.delayMs));
        const size_t n = std::min(chunk, reply.size() - sent);
        const ssize_t w = ::send(fd, reply.data() + sent, n, MSG_NOSIGNAL);
        if (w <= 0) break;
        sent += static_cast<size_t>(w);
    }
    note("request ok, sent " + std::to_string(sent) + " bytes");
}

}  // namespace vk::metastub
