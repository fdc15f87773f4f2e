// ParseRequest over arbitrary requests, with the lists it reads already filled, so that the
// handlers' own cutting of the request (id?, check=, srvinf: sub-rules) meets every shape.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/core_conv/harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static vk::test::GameFolder game;
    static const bool filled = [] {
        game.file("data\\fmparam3.dat", "fm data 0123456789").file("data\\acspecs1.dat", "ac");
        return true;
    }();
    (void)filled;
    vk::test::Harness h(game.path());
    h.state.resultList.add("acspecs1.dat=2|123|1");
    h.state.checks.relevantFiles.add("data\\acspecs1.dat");
    h.state.checks.tedResults.add("volkar0.ted=5|1|1");
    h.conv->Sockets1SessionAvailable(3);
    std::string request(reinterpret_cast<const char*>(data), size);
    std::string answer = h.conv->ParseRequest(request);
    // A request is never answered with more than a few hundred bytes beyond the result text.
    if (answer.size() > 4096) __builtin_trap();
    return 0;
}
