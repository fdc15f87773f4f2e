#pragma once
// A meta-server stub for tests and the demo: listens on loopback, checks the browser's
// directory request byte for byte and answers a directory built from a small server list,
// optionally slowly, cut after some bytes, or not at all.
//
// Server-list file: one entry a line, its first, second, third and fourth texts separated by
// tabs (the fourth is the game server, "UDP:" + address + ":" + port); blank lines and lines
// starting with '#' are skipped.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace vk::metastub {

struct Entry {
    std::string first, second, third, fourth;
};

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;                // 0: the system chooses (see Stub::port)
    std::vector<Entry> entries;
    int delayMs = 0;             // pause before each chunk of the reply
    int chunk = 4096;            // bytes per send
    long cutAfter = -1;          // close after this many bytes of the reply; -1: send it all
    bool silent = false;         // read the request, answer nothing, keep the connection open
};

// The request a browser must send: little-endian total length, 30, 2, the path's character
// count, "/Volkar II" in UTF-16LE, the byte 1.
std::string ExpectedRequest();
// The directory reply for the entries: a short header, then per entry 'S', the first, second
// and third texts, 30 fixed bytes, the fourth text and a 2-byte tail. A text is a 16-bit
// little-endian character count and the characters in UTF-16LE.
std::string Directory(const std::vector<Entry>& entries);
// Entries from the server-list file's text.
std::vector<Entry> ParseList(const std::string& text);

class Stub {
public:
    explicit Stub(Options options);
    ~Stub();
    Stub(const Stub&) = delete;
    Stub& operator=(const Stub&) = delete;

    bool start();  // binds and starts serving in a thread; false when it cannot listen
    void stop();
    int port() const { return port_; }
    int goodRequests() const { return good_; }
    int badRequests() const { return bad_; }
    // One line per connection ("request ok, sent N bytes", "bad request: ..."); thread-safe copy.
    std::vector<std::string> log() const;

private:
    void serve();
    void handle(int fd);
    void note(const std::string& line);

    Options o_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> good_{0};
    std::atomic<int> bad_{0};
    std::thread thread_;
    mutable std::atomic_flag lock_ = ATOMIC_FLAG_INIT;
    std::vector<std::string> log_;
};

}  // namespace vk::metastub
