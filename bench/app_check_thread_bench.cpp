// A server check through the check thread (copies taken at the start, the thread, the report
// through the reactor, the lists adopted on the main thread) against the same CheckFileSets run
// inline on the main thread, over a generated game folder of flight-model files, in the same
// run. Prints one line with both times and their ratio (target: at most 1.2).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "client/app/bgperf.h"
#include "platform/poll_reactor.h"

namespace fs = std::filesystem;

int main() {
    char tmpl[] = "/tmp/vkappbenchXXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string root = std::string(tmpl) + "/";
    fs::create_directories(root + "data");
    std::mt19937_64 rng(7);
    const char* kinds[] = {"fmparam%03d.dat", "acspecs%d.dat", "wingj%03d.dat"};
    size_t files = 0;
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < (k == 1 ? 9 : 150); ++i) {
            char name[40];
            std::snprintf(name, sizeof name, kinds[k], i);
            std::string bytes(4000 + (i * 1231) % 60000, '\0');
            for (auto& c : bytes) c = static_cast<char>(rng());
            FILE* f = std::fopen((root + "data/" + name).c_str(), "wb");
            if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) return 1;
            std::fclose(f);
            ++files;
        }
    }
    vk::PollReactor reactor;
    vk::FixedProcesses none;
    vk::SteadyClock clock;
    vk::ClientState state;
    state.gameFolder = root;
    state.checkParams = {"bench-cfg.txt", "data\\|", "fmparam*?.dat|acspecs?.dat|wingj???.dat|"};
    vk::MainForm main;
    vk::CheckThreads threads(state, main, reactor, none);
    threads.setThreadPriority = [](bool) {};  // both ways at the caller's priority

    double bestInline = 1e9, bestThread = 1e9;
    size_t lines = 0;
    for (int round = 0; round < 15; ++round) {
        {
            vk::FileCheckState copy = state.checks;
            vk::SortedList target;
            auto t0 = std::chrono::steady_clock::now();
            vk::CheckFileSets(copy, root, state.checkParams, target, clock, none);
            bestInline = std::min(bestInline, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
        state.resultList.clear();
        auto t0 = std::chrono::steady_clock::now();
        threads.StartServerCheck();
        reactor.runUntil([&] { return threads.CheckFinished(); }, 60000);
        bestThread = std::min(bestThread, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        lines = state.resultList.size();
        main.Memo1.Clear();
    }
    threads.Stop([&] { reactor.processEvents(10); });
    fs::remove_all(root);
    std::printf("app_check_thread: server check through the check thread and hand-over %.2f ms, inline on the main "
                "thread %.2f ms (baseline), ratio %.2f (target <= 1.2), %zu files, %zu lines, best of 15\n",
                bestThread * 1e3, bestInline * 1e3, bestThread / bestInline, files, lines);
    return lines == files ? 0 : 1;
}
