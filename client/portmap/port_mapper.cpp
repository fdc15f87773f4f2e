#include "client/portmap/port_mapper.h"

#include <arpa/inet.h>
#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>
#include <natpmp.h>
#include <sys/select.h>

#include <chrono>
#include <cstring>

namespace vk {

namespace {

const char* kDescription = "WDNplyr";

// One NAT-PMP request and its answer, given up after about timeoutMs (the library itself
// would retry for a minute).
int NatPmpAsk(natpmp_t& n, natpmpresp_t& resp, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(n.s, &fds);
        timeval tv{};
        getnatpmprequesttimeout(&n, &tv);
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return NATPMP_TRYAGAIN;
        const long long wait = std::min<long long>(left.count(), tv.tv_sec * 1000000LL + tv.tv_usec);
        tv.tv_sec = static_cast<time_t>(wait / 1000000);
        tv.tv_usec = static_cast<suseconds_t>(wait % 1000000);
        select(n.s + 1, &fds, nullptr, nullptr, &tv);
        const int r = readnatpmpresponseorretry(&n, &resp);
        if (r != NATPMP_TRYAGAIN) return r;
    }
}

std::string NatPmpError(int r) {
    switch (r) {
    case NATPMP_ERR_NOTAUTHORIZED: return "not authorized";
    case NATPMP_ERR_NETWORKFAILURE: return "network failure";
    case NATPMP_ERR_OUTOFRESOURCES: return "out of resources";
    case NATPMP_ERR_UNSUPPORTEDOPCODE: return "unsupported request";
    case NATPMP_ERR_UNSUPPORTEDVERSION: return "unsupported version";
    default: return "error " + std::to_string(r);
    }
}

}  // namespace

struct RouterPortMapper::Router {
    bool upnp = false;
    UPNPUrls urls{};
    IGDdatas data{};
    std::string lanAddress;
    bool natpmp = false;
    natpmp_t n{};
    uint16_t tcp = 0, udp = 0;
    std::string external;

    ~Router() {
        if (upnp) FreeUPNPUrls(&urls);
        if (natpmp) closenatpmp(&n);
    }
};

RouterPortMapper::RouterPortMapper() : worker_([this] { run(); }) {}

RouterPortMapper::~RouterPortMapper() { stop(); }

void RouterPortMapper::map(uint16_t tcpPort, uint16_t udpPort) {
    std::lock_guard<std::mutex> lock(m_);
    wantMapped_ = true;
    tcp_ = tcpPort;
    udp_ = udpPort;
    changed_ = true;
    cv_.notify_all();
}

void RouterPortMapper::unmap() {
    std::lock_guard<std::mutex> lock(m_);
    if (!wantMapped_) return;
    wantMapped_ = false;
    changed_ = true;
    cv_.notify_all();
}

std::vector<PortMapEvent> RouterPortMapper::take() {
    std::lock_guard<std::mutex> lock(m_);
    std::vector<PortMapEvent> out;
    out.swap(events_);
    return out;
}

void RouterPortMapper::stop() {
    {
        std::lock_guard<std::mutex> lock(m_);
        if (stopping_) return;
        stopping_ = true;
        cv_.notify_all();
    }
    if (worker_.joinable()) worker_.join();
}

void RouterPortMapper::post(PortMapEvent e) {
    std::lock_guard<std::mutex> lock(m_);
    events_.push_back(std::move(e));
}

void RouterPortMapper::run() {
    using Clock = std::chrono::steady_clock;
    // Far enough to mean "never", near enough for the condition variable's arithmetic.
    const auto never = [] { return Clock::now() + std::chrono::hours(24 * 365); };
    Clock::time_point renewAt = never();
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        cv_.wait_until(lock, renewAt, [&] { return changed_ || stopping_; });
        if (stopping_) break;
        const bool want = wantMapped_;
        const uint16_t tcp = tcp_, udp = udp_;
        const bool renewal = !changed_;
        changed_ = false;
        lock.unlock();
        renewAt = never();
        if (want) {
            doMap(tcp, udp, renewal);
            if (router_) renewAt = Clock::now() + std::chrono::seconds(kLeaseSeconds / 2);
        } else {
            doUnmap(true);
        }
        lock.lock();
    }
    lock.unlock();
    doUnmap(false);
}

void RouterPortMapper::doMap(uint16_t tcp, uint16_t udp, bool renewal) {
    // A renewal asks the same router again; a new request starts over.
    if (!renewal || !router_) {
        doUnmap(false);
        auto r = std::make_unique<Router>();
        int error = 0;
        UPNPDev* devices = upnpDiscover(kDiscoveryMs, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &error);
        char lan[64] = {0};
        if (devices) {
            const int found = UPNP_GetValidIGD(devices, &r->urls, &r->data, lan, sizeof lan);
            freeUPNPDevlist(devices);
            if (found == 1 || found == 2) {
                r->upnp = true;
                r->lanAddress = lan;
            } else if (found != 0) {
                FreeUPNPUrls(&r->urls);
            }
        }
        if (!r->upnp) {
            if (initnatpmp(&r->n, 0, 0) == 0) {
                r->natpmp = true;
                natpmpresp_t resp{};
                if (sendpublicaddressrequest(&r->n) < 0 || NatPmpAsk(r->n, resp, kDiscoveryMs) != 0) {
                    closenatpmp(&r->n);
                    r->natpmp = false;
                } else {
                    char text[INET_ADDRSTRLEN] = {0};
                    inet_ntop(AF_INET, &resp.pnu.publicaddress.addr, text, sizeof text);
                    r->external = text;
                }
            }
        }
        if (!r->upnp && !r->natpmp) {
            post({PortMapEvent::NoRouter, "", "", tcp, udp, ""});
            return;
        }
        router_ = std::move(r);
    }
    Router& r = *router_;
    const std::string lease = std::to_string(kLeaseSeconds);
    PortMapEvent e{PortMapEvent::Mapped, r.upnp ? "UPnP IGD" : "NAT-PMP", "", tcp, udp, ""};
    if (r.upnp) {
        const std::string t = std::to_string(tcp), u = std::to_string(udp);
        int rc = UPNP_AddPortMapping(r.urls.controlURL, r.data.first.servicetype, t.c_str(), t.c_str(),
                                     r.lanAddress.c_str(), kDescription, "TCP", nullptr, lease.c_str());
        if (rc == UPNPCOMMAND_SUCCESS)
            rc = UPNP_AddPortMapping(r.urls.controlURL, r.data.first.servicetype, u.c_str(), u.c_str(),
                                     r.lanAddress.c_str(), kDescription, "UDP", nullptr, lease.c_str());
        if (rc != UPNPCOMMAND_SUCCESS) {
            e.kind = PortMapEvent::Refused;
            e.error = std::to_string(rc) + " " + strupnperror(rc);
        } else {
            char ext[40] = {0};
            if (UPNP_GetExternalIPAddress(r.urls.controlURL, r.data.first.servicetype, ext) == UPNPCOMMAND_SUCCESS)
                r.external = ext;
        }
    } else {
        for (auto [protocol, port] : {std::pair{NATPMP_PROTOCOL_TCP, tcp}, std::pair{NATPMP_PROTOCOL_UDP, udp}}) {
            natpmpresp_t resp{};
            int rc = sendnewportmappingrequest(&r.n, protocol, port, port, kLeaseSeconds);
            if (rc >= 0) rc = NatPmpAsk(r.n, resp, kDiscoveryMs);
            if (rc != 0) {
                e.kind = PortMapEvent::Refused;
                e.error = rc == NATPMP_TRYAGAIN ? "no answer" : NatPmpError(rc);
                break;
            }
        }
    }
    e.externalAddress = r.external;
    if (e.kind == PortMapEvent::Mapped) {
        r.tcp = tcp;
        r.udp = udp;
    }
    // A renewal that goes through says nothing; one that fails is told.
    if (!renewal || e.kind != PortMapEvent::Mapped) post(e);
    if (e.kind != PortMapEvent::Mapped) router_.reset();
}

void RouterPortMapper::doUnmap(bool report) {
    if (!router_) return;
    Router& r = *router_;
    if (r.tcp) {
        if (r.upnp) {
            const std::string t = std::to_string(r.tcp), u = std::to_string(r.udp);
            UPNP_DeletePortMapping(r.urls.controlURL, r.data.first.servicetype, t.c_str(), "TCP", nullptr);
            UPNP_DeletePortMapping(r.urls.controlURL, r.data.first.servicetype, u.c_str(), "UDP", nullptr);
        } else {
            for (auto [protocol, port] : {std::pair{NATPMP_PROTOCOL_TCP, r.tcp}, std::pair{NATPMP_PROTOCOL_UDP, r.udp}}) {
                natpmpresp_t resp{};
                if (sendnewportmappingrequest(&r.n, protocol, port, 0, 0) >= 0) NatPmpAsk(r.n, resp, kDiscoveryMs);
            }
        }
        if (report) post({PortMapEvent::Removed, r.upnp ? "UPnP IGD" : "NAT-PMP", r.external, r.tcp, r.udp, ""});
    }
    router_.reset();
}

}  // namespace vk
