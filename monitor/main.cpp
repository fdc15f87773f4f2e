// VKST, the traffic monitor: `VKST` captures live, `VKST -r FILE` replays a capture file.
#include <memory>
#include <string>
#include <vector>

#include "monitor/monitor.h"

int main(int argc, char** argv) {
    auto m = std::make_unique<vkst::Monitor>();
    m->io.handleSignals = true;
    std::vector<std::string> args(argv + 1, argv + argc);
    return vkst::runMonitor(*m, args);
}
