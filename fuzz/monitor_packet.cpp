// Frames as the capture hands them over, through packet handling, message cutting, the decoder,
// the detector tick, the drome check and the block timer.
//
// Input: records of  caplen (2 bytes LE), wire length (2 bytes LE; the larger of the two counts),
// time step (1 byte, tens of ms), then caplen frame bytes (fewer at the end of the input).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "monitor/monitor.h"

namespace {

class NullSink final : public vkst::TextSink {
public:
    void write(std::string_view) override {}
};

// A landmark file of a few records, one of them at the place most fuzzed positions give.
const std::string& landmarkDir() {
    static std::string dir = [] {
        char tmpl[] = "/tmp/vkfuzz-XXXXXX";
        std::string d = mkdtemp(tmpl) ? tmpl : "/tmp";
        std::string f(99, '\0');
        const float recs[][3] = {{48.425f, 2.533f, 0.0f}, {48.70f, 2.57f, 1000.0f}, {0.0f, 0.0f, 0.0f}};
        for (const auto& r : recs) {
            std::string rec(63, '\0');
            std::memcpy(&rec[8], &r[0], 4);
            std::memcpy(&rec[12], &r[1], 4);
            std::memcpy(&rec[16], &r[2], 4);
            f += rec;
        }
        f += std::string(40, '\x7f');  // a partial record at the end
        if (std::FILE* out = std::fopen((d + "/lndmrks0.dat").c_str(), "wb")) {
            std::fwrite(f.data(), 1, f.size(), out);
            std::fclose(out);
        }
        return d;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static NullSink sink;
    auto m = std::make_unique<vkst::Monitor>();
    m->io.out = &sink;
    m->io.err = &sink;
    m->io.dir = landmarkDir();
    m->replay = true;  // route commands are only printed
    vkst::Settings& s = m->settings;
    s.NETonObserve = s.NETonRepair = s.NETonEnterRepair = s.NETonSpeeder = s.NETonFreeze = 1;
    s.NETonChecksum = s.NETonLocation = s.NETonFlamer = s.NETonSmoke = s.NETonBadChat = s.NETonWallRide = 1;
    s.NETblockTime = 2;
    s.DerouteIP = "192.0.2.1";
    s.checksumFirst = 12;
    s.checksumSecond = 200;
    s.phrases = {"cheat", "-", "gg", "-", "-", "-", "-", ""};
    try {
        vkst::loadLandmarks(*m, "MARNE\n");
    } catch (const vkst::Fatal&) {
    }
    m->log = std::fopen("/dev/null", "wb");

    int64_t us = 1796472000LL * 1000000;
    int64_t lastBlockTick = 0;
    size_t at = 0;
    while (at + 5 <= size) {
        uint32_t cap = data[at] | data[at + 1] << 8;
        uint32_t wire = data[at + 2] | data[at + 3] << 8;
        us += int64_t{data[at + 4]} * 10000;
        at += 5;
        if (cap > size - at) cap = static_cast<uint32_t>(size - at);
        vkst::PacketRead p;
        p.result = 1;
        p.tsSec = us / 1000000;
        p.tsUsec = us % 1000000;
        p.capLength = cap;
        p.wireLength = wire > cap ? wire : cap;
        // The frame in a buffer of its own size, so that any read past it is caught.
        std::unique_ptr<uint8_t[]> frame(new uint8_t[cap ? cap : 1]);
        std::memcpy(frame.get(), data + at, cap);
        p.data = frame.get();
        at += cap;
        m->replayNow = p.tsSec;
        if (p.tsSec != lastBlockTick) {
            lastBlockTick = p.tsSec;
            vkst::blockTick(*m);
        }
        vkst::handlePacket(*m, p);
        for (int i = 0; i < vkst::kSlots; ++i) {
            const vkst::Session& ses = m->sessions[i];
            if (std::memchr(ses.ipText, 0, sizeof ses.ipText) == nullptr ||
                std::memchr(ses.name, 0, sizeof ses.name) == nullptr)
                __builtin_trap();  // texts must stay terminated
        }
    }
    vkst::unblockAll(*m);
    vkst::closeLandmarks(*m);
    return 0;
}
