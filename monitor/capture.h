#pragma once
// The capture library: live adapters and capture files, both through libpcap.
#include <memory>
#include <string>

#include "monitor/monitor.h"

namespace vkst {

// The real backend over libpcap's live devices.
CaptureBackend& pcapBackend();

// A capture file opened for replay; peeks at its first packet so that the clocks can start at
// its time. The link type and the filter are set on it as on a device.
class SavefileSource final : public PacketSource {
public:
    ~SavefileSource() override;
    // nullptr with errText when the file cannot be read
    static std::unique_ptr<SavefileSource> open(const std::string& path, std::string& errText);
    PacketRead next() override;
    std::string error() override;
    bool hasFirst() const { return haveFirst_; }
    int64_t firstSecond() const { return first_.tsSec; }
    int datalink() const;
    // 0 ok, -1 compile failed. `udpPort` is the port the filter asks for ("udp and dst port N"),
    // or -1: frames that plainly match it skip the filter program.
    int setFilter(const std::string& filter, int udpPort);

private:
    SavefileSource() = default;
    bool passes(const PacketRead& r) const;
    [[gnu::always_inline]] inline bool plainMatch(const PacketRead& r) const;
    bool passesProgram(const PacketRead& r) const;
    [[gnu::always_inline]] inline bool read(PacketRead& r);  // false: no packet (r.result says why)
    [[gnu::noinline]] PacketRead nextJudged(PacketRead r);
    static constexpr size_t kReadBuffer = 1 << 20;
    std::unique_ptr<char[]> buffer_;  // the stream's buffer, freed after the handle is closed
    void* handle_ = nullptr;  // pcap_t
    void* program_ = nullptr; // bpf_program
    int udpPort_ = -1;
    bool haveFirst_ = false;
    bool firstPending_ = false;
    PacketRead first_;
    std::unique_ptr<uint8_t[]> firstData_;
};

}  // namespace vkst
