#include "monitor/capture.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "monitor/settings.h"

namespace vkst {

namespace {

// A live device. libpcap's read time-out does not fire on Linux while no packet arrives, so the
// device is non-blocking, and a read that finds no packet waits up to 100 ms on its descriptor.
class LiveSource final : public PacketSource {
public:
    explicit LiveSource(pcap_t* p) : p_(p), fd_(pcap_get_selectable_fd(p)) {
        // A device that cannot be waited on is read blocking, with libpcap's own time-out.
        char err[PCAP_ERRBUF_SIZE];
        if (fd_ < 0) pcap_setnonblock(p_, 0, err);
    }
    ~LiveSource() override { pcap_close(p_); }
    PacketRead next() override {
        PacketRead r;
        if (fd_ >= 0) {
            // Under load packets are waiting: they are read without a wait (and a system call).
            if (read(r) != 0) return r;
            pollfd pfd{fd_, POLLIN, 0};
            int n = poll(&pfd, 1, 100);
            if (n <= 0) return r;  // time-out, or a signal that the loop will look at
        }
        read(r);
        return r;
    }
    std::string error() override { return pcap_geterr(p_); }
    bool counts(CaptureCounts& c) override {
        pcap_stat st{};
        if (pcap_stats(p_, &st) != 0) return false;
        c.received = st.ps_recv;
        c.droppedKernel = st.ps_drop;
        c.droppedInterface = st.ps_ifdrop;
        return true;
    }
    pcap_t* handle() { return p_; }

private:
    int read(PacketRead& r) {
        pcap_pkthdr* h = nullptr;
        const u_char* d = nullptr;
        r.result = pcap_next_ex(p_, &h, &d);
        if (r.result == 1) {
            r.tsSec = h->ts.tv_sec;
            r.tsUsec = h->ts.tv_usec;
            r.wireLength = h->len;
            r.capLength = h->caplen;
            r.data = d;
        }
        return r.result;
    }

    pcap_t* p_;
    int fd_;
};

int applyFilter(pcap_t* p, const std::string& filter, uint32_t netmask) {
    bpf_program prog{};
    if (pcap_compile(p, &prog, filter.c_str(), 1, netmask) < 0) return -1;
    int rc = pcap_setfilter(p, &prog);
    pcap_freecode(&prog);
    return rc < 0 ? -2 : 0;
}

class PcapBackend final : public CaptureBackend {
public:
    bool listAdapters(std::vector<Adapter>& out, std::string& errText) override {
        char err[PCAP_ERRBUF_SIZE] = {};
        pcap_if_t* all = nullptr;
        if (pcap_findalldevs(&all, err) == -1) {
            errText = err;
            return false;
        }
        for (pcap_if_t* d = all; d; d = d->next) {
            Adapter a;
            a.name = d->name ? d->name : "";
            a.description = d->description ? d->description : "";
            if (d->addresses) {
                a.hasAddress = true;
                const sockaddr* nm = d->addresses->netmask;
                if (nm && nm->sa_family == AF_INET)
                    a.netmask = reinterpret_cast<const sockaddr_in*>(nm)->sin_addr.s_addr;
            }
            out.push_back(std::move(a));
        }
        pcap_freealldevs(all);
        return true;
    }
    std::unique_ptr<PacketSource> openLive(const Adapter& a, std::string& errText) override {
        char err[PCAP_ERRBUF_SIZE] = {};
        pcap_t* p = pcap_open_live(a.name.c_str(), 65536, 1, 100, err);
        if (!p) {
            errText = err;
            return nullptr;
        }
        if (pcap_setnonblock(p, 1, err) < 0) {
            errText = err;
            pcap_close(p);
            return nullptr;
        }
        return std::make_unique<LiveSource>(p);
    }
    int datalink(PacketSource& s) override { return pcap_datalink(static_cast<LiveSource&>(s).handle()); }
    int setFilter(PacketSource& s, const std::string& filter, uint32_t netmask) override {
        return applyFilter(static_cast<LiveSource&>(s).handle(), filter, netmask);
    }
};

}  // namespace

CaptureBackend& pcapBackend() {
    static PcapBackend b;
    return b;
}

SavefileSource::~SavefileSource() {
    if (program_) {
        pcap_freecode(static_cast<bpf_program*>(program_));
        delete static_cast<bpf_program*>(program_);
    }
    if (handle_) pcap_close(static_cast<pcap_t*>(handle_));
}

std::unique_ptr<SavefileSource> SavefileSource::open(const std::string& path, std::string& errText) {
    char err[PCAP_ERRBUF_SIZE] = {};
    // A capture is read from start to end: a large stream buffer saves most of the reads.
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        errText = path + ": " + std::strerror(errno);
        return nullptr;
    }
    std::unique_ptr<SavefileSource> s(new SavefileSource);
    s->buffer_ = std::make_unique<char[]>(kReadBuffer);
    std::setvbuf(f, s->buffer_.get(), _IOFBF, kReadBuffer);
    pcap_t* p = pcap_fopen_offline(f, err);
    if (!p) {
        std::fclose(f);
        errText = err;
        return nullptr;
    }
    s->handle_ = p;
    pcap_pkthdr* h = nullptr;
    const u_char* d = nullptr;
    if (pcap_next_ex(p, &h, &d) == 1) {
        s->haveFirst_ = s->firstPending_ = true;
        s->firstData_ = std::make_unique<uint8_t[]>(h->caplen ? h->caplen : 1);
        std::memcpy(s->firstData_.get(), d, h->caplen);
        s->first_.result = 1;
        s->first_.tsSec = h->ts.tv_sec;
        s->first_.tsUsec = h->ts.tv_usec;
        s->first_.wireLength = h->len;
        s->first_.capLength = h->caplen;
        s->first_.data = s->firstData_.get();
    }
    return s;
}

int SavefileSource::datalink() const { return pcap_datalink(static_cast<pcap_t*>(handle_)); }

// The filter is applied here rather than inside libpcap: an IPv4 UDP datagram to the port, not a
// fragment, matches "udp and dst port N" for sure and needs no filter program; every other frame
// is judged by the program. That keeps a long replay's cost close to a bare read.
int SavefileSource::setFilter(const std::string& filter, int udpPort) {
    auto* prog = new bpf_program{};
    if (pcap_compile(static_cast<pcap_t*>(handle_), prog, filter.c_str(), 1, PCAP_NETMASK_UNKNOWN) < 0) {
        delete prog;
        return -1;
    }
    program_ = prog;
    udpPort_ = udpPort;
    if (firstPending_ && !passes(first_)) firstPending_ = false;
    return 0;
}

bool SavefileSource::plainMatch(const PacketRead& r) const {
    const uint8_t* d = r.data;
    if (udpPort_ >= 0 && r.capLength >= 14 + 20 && d[12] == 0x08 && d[13] == 0x00 && (d[14] >> 4) == 4 &&
        d[14 + 9] == 17 && ((d[14 + 6] & 0x1F) | d[14 + 7]) == 0) {
        uint32_t udp = 14 + 4u * (d[14] & 0x0F);
        if (udp >= 14 + 20 && r.capLength >= udp + 4 && ((d[udp + 2] << 8) | d[udp + 3]) == udpPort_) return true;
    }
    return false;
}

bool SavefileSource::passes(const PacketRead& r) const { return plainMatch(r) || passesProgram(r); }

bool SavefileSource::passesProgram(const PacketRead& r) const {
    if (!program_) return true;
    pcap_pkthdr h{};
    h.caplen = r.capLength;
    h.len = r.wireLength;
    return pcap_offline_filter(static_cast<const bpf_program*>(program_), &h, r.data) != 0;
}

bool SavefileSource::read(PacketRead& r) {
    pcap_pkthdr* h = nullptr;
    const u_char* d = nullptr;
    r.result = pcap_next_ex(static_cast<pcap_t*>(handle_), &h, &d);
    if (r.result != 1) return false;
    r.tsSec = h->ts.tv_sec;
    r.tsUsec = h->ts.tv_usec;
    r.wireLength = h->len;
    r.capLength = h->caplen;
    r.data = d;
    return true;
}

// Frames that are not plainly datagrams to the port: the filter program judges them, and the
// ones it refuses are read past.
PacketRead SavefileSource::nextJudged(PacketRead r) {
    while (!passesProgram(r)) {
        r = PacketRead{};
        if (!read(r) || plainMatch(r)) break;
    }
    return r;
}

PacketRead SavefileSource::next() {
    if (firstPending_) {
        firstPending_ = false;
        return first_;
    }
    PacketRead r;
    if (!read(r) || plainMatch(r)) return r;
    return nextJudged(r);
}

std::string SavefileSource::error() { return pcap_geterr(static_cast<pcap_t*>(handle_)); }

bool hostIPv4Addresses(std::vector<std::string>& out) {
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0) return false;
    std::vector<std::string> loopback;
    for (ifaddrs* a = all; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
        ((a->ifa_flags & IFF_LOOPBACK) ? loopback : out).push_back(text);
    }
    freeifaddrs(all);
    out.insert(out.end(), loopback.begin(), loopback.end());
    return true;
}

}  // namespace vkst
