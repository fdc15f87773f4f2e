#pragma once
// What the client's listening port lets a stranger hold: the connections open at once, the
// time each may take to send a request, and the bytes it may leave unfinished. A real secure
// server stays far inside every limit: one connection, whole requests of a few hundred bytes
// sent in one piece, a request at once after connecting and every few seconds after that.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vk {

// Connections open at once. A secure server uses one (two while the self-test connects to its
// own client); the rest is room for a server that reconnects before its old connection has
// gone. Far below the process's descriptor limit, so accepting can never run out.
inline constexpr size_t kMaxConnections = 16;
// From the accept to the first complete request: a server sends its first request (the clock)
// as soon as it has connected. Idle connections that only hold a place are let go after this.
inline constexpr uint32_t kFirstRequestMs = 10000;
// Between two complete requests: four times the half minute a server waits between its two
// clock requests, the longest pause of a conversation.
inline constexpr uint32_t kRequestIntervalMs = 120000;
// A request begun but not ended by its terminator: the two waits of 1.5 s the framing has
// always allowed for the rest of a request to arrive.
inline constexpr uint32_t kPartialRequestMs = 3000;
// The most one connection may have buffered without a terminator: the three reads of 8192
// bytes the framing has always joined. A longer request could never be answered anyway.
inline constexpr size_t kMaxRequestBytes = 3 * 8192;

struct Connection {
    std::string peer;          // dotted address; "" when not known
    uint32_t lastTick = 0;     // tick of the accept or of the last complete request
    bool requested = false;    // a complete request has come
    std::string pending;       // bytes of a request whose terminator has not come yet
    uint32_t pendingSince = 0; // tick of the first read of the pending bytes
};

enum class Expiry { None, PartialRequest, NoFirstRequest, Idle };

// The connections of one listener, by socket. Ticks wrap like the 32-bit tick count.
class ConnectionTable {
public:
    Connection* find(int socket);
    Connection& add(int socket, const std::string& peer, uint32_t now);
    void remove(int socket) { open_.erase(socket); }
    size_t size() const { return open_.size(); }
    bool full() const { return open_.size() >= kMaxConnections; }
    std::vector<int> sockets() const;
    // Whether the connection's time is up at now, and why.
    static Expiry Expired(const Connection& c, uint32_t now);

private:
    std::map<int, Connection> open_;
};

}  // namespace vk
