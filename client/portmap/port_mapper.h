#pragma once
// Asks the router, in a worker thread, to forward a TCP and a UDP port to this computer: UPnP
// Internet Gateway Device first, NAT-PMP when no IGD answers. Mappings are leased for an hour
// and renewed at half-time while wanted; they are removed on request and when the mapper stops.
// The main thread never waits for the network except in stop(), which is bounded by the
// library calls' own time-outs.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vk {

struct PortMapEvent {
    enum Kind { Mapped, Refused, NoRouter, Removed };
    Kind kind = NoRouter;
    std::string method;           // "UPnP IGD" or "NAT-PMP"
    std::string externalAddress;  // the router's outside address, when it told it
    uint16_t tcpPort = 0;
    uint16_t udpPort = 0;
    std::string error;            // the router's answer for Refused
};

// What the client's logic uses; tests give it a recording stand-in.
class PortMapperPort {
public:
    virtual ~PortMapperPort() = default;
    // Maps both ports (replacing what was mapped before). Returns at once.
    virtual void map(uint16_t tcpPort, uint16_t udpPort) = 0;
    // Removes the mappings. Returns at once.
    virtual void unmap() = 0;
    // What happened since the last call, oldest first.
    virtual std::vector<PortMapEvent> take() = 0;
    // Removes the mappings and ends the worker; waits for it.
    virtual void stop() = 0;
};

class RouterPortMapper final : public PortMapperPort {
public:
    static constexpr uint32_t kLeaseSeconds = 3600;
    // How long discovery waits for an answer, per method.
    static constexpr int kDiscoveryMs = 2000;

    RouterPortMapper();
    ~RouterPortMapper() override;
    void map(uint16_t tcpPort, uint16_t udpPort) override;
    void unmap() override;
    std::vector<PortMapEvent> take() override;
    void stop() override;

private:
    struct Router;  // the library state of the current mapping
    void run();
    void doMap(uint16_t tcp, uint16_t udp, bool renewal);
    void doUnmap(bool report);
    void post(PortMapEvent e);

    std::mutex m_;
    std::condition_variable cv_;
    bool wantMapped_ = false;
    bool changed_ = false;
    bool stopping_ = false;
    uint16_t tcp_ = 0, udp_ = 0;
    std::vector<PortMapEvent> events_;
    std::unique_ptr<Router> router_;  // worker thread only
    std::thread worker_;
};

}  // namespace vk
