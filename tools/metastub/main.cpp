// vkmetastub: a meta server on loopback for tests and the demo.
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "tools/metastub/metastub.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void Usage() {
    std::cerr << "usage: vkmetastub --list FILE [--port N] [--slow MS] [--chunk BYTES] [--cut BYTES] [--silent]\n"
                 "Listens on 127.0.0.1 (port 6001 by default), checks each directory request and answers\n"
                 "the servers of FILE (tab-separated first, second, third and fourth texts a line)\n"
                 "until it is stopped (SIGINT, SIGTERM).\n";
}

}  // namespace

int main(int argc, char** argv) {
    vk::metastub::Options o;
    o.port = 6001;
    std::string list;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--list") list = next();
        else if (a == "--port") o.port = std::atoi(next().c_str());
        else if (a == "--slow") o.delayMs = std::atoi(next().c_str());
        else if (a == "--chunk") o.chunk = std::atoi(next().c_str());
        else if (a == "--cut") o.cutAfter = std::atol(next().c_str());
        else if (a == "--silent") o.silent = true;
        else {
            Usage();
            return 2;
        }
    }
    if (list.empty() || o.port < 0 || o.port > 65535) {
        Usage();
        return 2;
    }
    std::ifstream in(list, std::ios::binary);
    if (!in) {
        std::cerr << "vkmetastub: cannot read " << list << "\n";
        return 2;
    }
    std::ostringstream text;
    text << in.rdbuf();
    o.entries = vk::metastub::ParseList(text.str());
    vk::metastub::Stub stub(o);
    if (!stub.start()) {
        std::cerr << "vkmetastub: cannot listen on 127.0.0.1:" << o.port << "\n";
        return 1;
    }
    std::cout << "vkmetastub: listening on 127.0.0.1:" << stub.port() << " with " << o.entries.size() << " servers"
              << std::endl;
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });
    size_t shown = 0;
    while (!g_stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto log = stub.log();
        for (; shown < log.size(); ++shown) std::cout << "vkmetastub: " << log[shown] << std::endl;
    }
    stub.stop();
    return 0;
}
