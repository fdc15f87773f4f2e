// Input: vk2server.scs, vk2server.ini, VKST.ini and the route journal, separated by "\n%%\n".
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "monitor/settings.h"
#include "platform/routes.h"

namespace {

class NullSink final : public vkst::TextSink {
public:
    void write(std::string_view) override {}
};

const std::string& folder() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/vkst-fuzz-XXXXXX";
        const char* d = mkdtemp(tmpl);
        std::atexit([] {
            for (const char* n : {"vk2server.scs", "vk2server.ini", "VKST.ini", "VKST.routes", "VKST.routes.new"})
                std::remove((folder() + "/" + n).c_str());
            rmdir(folder().c_str());
        });
        return std::string(d ? d : "/tmp");
    }();
    return dir;
}

void writeFile(const std::string& name, const std::string& bytes) {
    std::FILE* f = std::fopen((folder() + "/" + name).c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    size_t start = 0;
    while (parts.size() < 3) {
        size_t at = input.find("\n%%\n", start);
        if (at == std::string::npos) break;
        parts.push_back(input.substr(start, at - start));
        start = at + 4;
    }
    parts.push_back(input.substr(start));
    parts.resize(4);
    writeFile("vk2server.scs", parts[0]);
    writeFile("vk2server.ini", parts[1]);
    writeFile("VKST.ini", parts[2]);
    writeFile("VKST.routes", parts[3]);

    NullSink sink;
    vk::RecordedRoutes routes;
    auto m = std::make_unique<vkst::Monitor>();
    m->io.out = &sink;
    m->io.err = &sink;
    m->io.routes = &routes;
    m->io.dir = folder();
    try {
        vkst::readSettingsFiles(*m);
    } catch (const vkst::Fatal&) {
    }
    vkst::recoverJournal(*m);
    for (const std::string& call : routes.calls) {
        std::string ip = call.substr(4);
        if (!vk::isDottedIPv4(ip)) abort();  // only addresses reach route commands
    }
    return 0;
}
