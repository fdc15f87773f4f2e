// Data events over arbitrary bytes: the first byte says where the input is cut into three
// reads, one per event; the rest is what the server sent. Then the time of a partial request
// runs out.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/core_conv/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vk::test::GameFolder game;
    if (size == 0) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t cut1 = bytes.size() * (data[0] & 0x0F) / 15;
    const size_t cut2 = cut1 + (bytes.size() - cut1) * (data[0] >> 4) / 15;
    vk::test::Harness h(game.path());
    h.state.foregroundChecks = (data[0] & 1) != 0;
    h.conv->Sockets1SessionAvailable(3);
    h.sockets.queue(bytes.substr(0, cut1));
    h.sockets.queue(bytes.substr(cut1, cut2 - cut1));
    h.sockets.queue(bytes.substr(cut2));
    for (int i = 0; i < 3; ++i) h.conv->Sockets1DataAvailable(7);
    h.clock.advance(3000);
    h.conv->CloseStaleConnections();
    h.runner.DeliverReports();
    return 0;
}
