// Input: vk2server.scs, vk2server.ini, VKST.ini and the route journal, separated by "\n%%\n".
#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

const char* kFiles[] = {"vk2server.scs", "vk2server.ini", "VKST.ini", "VKST.routes", "VKST.routes.new"};

void removeFolder(const std::string& dir) {
    for (const char* n : kFiles) std::remove((dir + "/" + n).c_str());
    rmdir(dir.c_str());
}

// One folder per fuzzing process, /tmp/vkst-fuzz-PID. libFuzzer may end without running exit
// handlers, so each start removes the folders of processes that are gone. The name is kept in a
// plain array: it must outlive the exit handler.
char g_folder[64];

const char* folder() {
    if (g_folder[0]) return g_folder;
    if (DIR* d = opendir("/tmp")) {
        while (dirent* e = readdir(d)) {
            int pid = 0;
            if (std::sscanf(e->d_name, "vkst-fuzz-%d", &pid) == 1 && pid > 0 && kill(pid, 0) != 0 && errno == ESRCH)
                removeFolder(std::string("/tmp/") + e->d_name);
        }
        closedir(d);
    }
    std::snprintf(g_folder, sizeof g_folder, "/tmp/vkst-fuzz-%d", static_cast<int>(getpid()));
    mkdir(g_folder, 0700);
    std::atexit([] { removeFolder(g_folder); });
    return g_folder;
}

void writeFile(const std::string& name, const std::string& bytes) {
    std::FILE* f = std::fopen((std::string(folder()) + "/" + name).c_str(), "wb");
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
