#include "client/core/connections.h"

namespace vk {

Connection* ConnectionTable::find(int socket) {
    auto it = open_.find(socket);
    return it == open_.end() ? nullptr : &it->second;
}

Connection& ConnectionTable::add(int socket, const std::string& peer, uint32_t now) {
    Connection& c = open_[socket] = Connection{};
    c.peer = peer;
    c.lastTick = now;
    return c;
}

std::vector<int> ConnectionTable::sockets() const {
    std::vector<int> out;
    for (const auto& entry : open_) out.push_back(entry.first);
    return out;
}

Expiry ConnectionTable::Expired(const Connection& c, uint32_t now) {
    if (!c.pending.empty() && now - c.pendingSince >= kPartialRequestMs) return Expiry::PartialRequest;
    if (!c.requested && now - c.lastTick >= kFirstRequestMs) return Expiry::NoFirstRequest;
    if (c.requested && now - c.lastTick >= kRequestIntervalMs) return Expiry::Idle;
    return Expiry::None;
}

}  // namespace vk
