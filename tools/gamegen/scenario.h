#pragma once
// Game-traffic scenarios: players and timed game messages, turned into the UDP datagrams that
// the players' games would send to the game server.
#include <cstdint>
#include <istream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vkgen {

struct ScenarioError : std::runtime_error {
    ScenarioError(int line, const std::string& what)
        : std::runtime_error("line " + std::to_string(line) + ": " + what), line(line) {}
    int line;
};

struct Player {
    std::string name;
    uint32_t ip = 0;  // host order
    uint16_t port = 0;
};

// One timed rule of the scenario: a datagram (one or more messages) sent by one player, once or
// repeatedly over a time range.
struct Rule {
    int line = 0;
    int64_t startUs = 0;
    int64_t endUs = 0;      // exclusive; equals startUs + 1 for a single "at"
    int64_t intervalUs = 0; // 0 = once
    int player = 0;
    int phase = 0;          // a rule for every player is one rule per player, spread over
    int spread = 1;         // its interval: player `phase` of `spread`
    std::vector<uint8_t> messages;  // the messages, each with its length byte first
};

struct Scenario {
    uint32_t serverIp = 0x7f000001;
    uint16_t serverPort = 2300;
    int64_t startSec = 1796472000;  // 2026-12-05 12:00:00 UTC unless "start" says otherwise
    std::vector<Player> players;
    std::vector<Rule> rules;
};

Scenario parseScenario(std::istream& in);  // throws ScenarioError
Scenario parseScenarioText(const std::string& text);

// The datagrams of a scenario in time order (ties in rule order, then player order), produced
// one at a time so that long captures need no memory of their own.
class DatagramStream {
public:
    explicit DatagramStream(const Scenario& s);
    ~DatagramStream();
    DatagramStream(const DatagramStream&) = delete;
    DatagramStream& operator=(const DatagramStream&) = delete;

    struct Datagram {
        int64_t timeUs = 0;  // since the scenario start
        int player = 0;
        const uint8_t* payload = nullptr;  // 3-byte header, then the messages
        size_t size = 0;
    };
    bool next(Datagram& out);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// An Ethernet/IPv4/UDP frame around a payload, from the player to the server. Returns its size.
size_t buildFrame(const Scenario& s, const Player& p, const uint8_t* payload, size_t size,
                  uint8_t* frame, size_t frameCap);

// Writes every datagram of the scenario as a frame to a pcap savefile (link type Ethernet).
// Returns the number of packets written; throws std::runtime_error on a write failure.
uint64_t writeCapture(const Scenario& s, const std::string& path);

// Message builders (each returns the message, its length byte first).
std::vector<uint8_t> msgGoldRoom(const std::string& name, int aircraft);
std::vector<uint8_t> msgChecksum(int first, int second);
std::vector<uint8_t> msgPosition(uint32_t lat, uint32_t lon, uint32_t alt, int smoke);
// A damage message of length byte `len` (16..30) followed by the filler whose bytes carry the
// position that the monitor reads beyond the damage message.
std::vector<uint8_t> msgDamage(int len, uint32_t lat, uint32_t lon, uint32_t alt, int smoke);
std::vector<uint8_t> msgRepair();
std::vector<uint8_t> msgChat(const std::string& text);
std::vector<uint8_t> msgObserve();
std::vector<uint8_t> msgNoise(int len);

std::string ipText(uint32_t ip);

}  // namespace vkgen
