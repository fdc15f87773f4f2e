// vksecsim: plays a secure server against a player client and checks its answers.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/secsim/secsim.h"

namespace {

void Usage() {
    std::cerr << "usage: vksecsim [--host ADDR] [--port N] [--script FILE] [--gap MS] [--game FOLDER]\n"
                 "                [--key HEX64] [--version TEXT] [--timeout MS]\n"
                 "                [--kick-port N [--go-port N] [--datagram TEXT]... [--kick-wait MS]]\n"
                 "Connects to a player client, plays the script (the example conversation by default),\n"
                 "checks every answer and exits 0 when all were right, 1 on a mismatch, 2 on bad usage.\n"
                 "With --kick-port it plays the secure server of kickstart instead: waits on that UDP port\n"
                 "for the client's kick, sends each --datagram, answers \"goport:\" with --go-port and plays\n"
                 "the script over the connection the client opens.\n";
}

}  // namespace

int main(int argc, char** argv) {
    vk::secsim::Options o = vk::secsim::DefaultOptions();
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--host") o.host = next();
        else if (a == "--port") o.port = std::atoi(next().c_str());
        else if (a == "--gap") o.gapMs = std::atoi(next().c_str());
        else if (a == "--game") o.gameFolder = next();
        else if (a == "--version") o.expectedVersion = next();
        else if (a == "--timeout") o.timeoutMs = std::atoi(next().c_str());
        else if (a == "--kick-port") o.kickPort = std::atoi(next().c_str());
        else if (a == "--go-port") o.goPort = std::atoi(next().c_str());
        else if (a == "--datagram") o.datagrams.push_back(next());
        else if (a == "--kick-wait") o.kickWaitMs = std::atoi(next().c_str());
        else if (a == "--key") {
            if (!vk::secsim::ParseKeyHex(next(), o.key)) {
                std::cerr << "vksecsim: --key needs 64 hexadecimal digits\n";
                return 2;
            }
        } else if (a == "--script") {
            std::ifstream in(next(), std::ios::binary);
            if (!in) {
                std::cerr << "vksecsim: cannot read the script\n";
                return 2;
            }
            std::ostringstream ss;
            ss << in.rdbuf();
            o.script = ss.str();
        } else {
            Usage();
            return 2;
        }
    }
    if (o.port <= 0 || o.port > 65535) {
        Usage();
        return 2;
    }
    vk::secsim::Report r = vk::secsim::Run(o, std::cout);
    return r.mismatches == 0 && r.connected ? 0 : 1;
}
