// A check= that names one archive's members 5000 times ("*|" repeated, as a 24 KB request can)
// against the same check naming them once, over the same game folder and archive, in the same
// run. Prints one line with both times and their ratio (target: at most 2).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "client/core/file_checks.h"
#include "tests/core_checks/game_folder.h"

namespace {

constexpr int kMembers = 2000;       // a large game archive's flight models, maps and sounds
constexpr int kRepeats = 5000;

double TimeCheck(const vk::test::GameFolder& g, const std::string& patterns, size_t& lines) {
    vk::SteadyClock clock;
    vk::FixedProcesses none;
    vk::FileCheckState state;
    vk::SortedList target;
    const auto t0 = std::chrono::steady_clock::now();
    vk::CheckFileSets(state, g.root(), {"bench-cfg.txt", "data\\&vkmulti.vol&|", patterns}, target, clock, none);
    lines = target.size();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main() {
    std::mt19937 rng(7);
    std::vector<vk::test::Member> members;
    size_t bytes = 0;
    for (int i = 0; i < kMembers; ++i) {
        std::string data(1000 + rng() % 7000, '\0');
        for (char& c : data) c = static_cast<char>(rng());
        bytes += data.size();
        members.push_back({"member" + std::to_string(i) + ".dat", std::move(data)});
    }
    vk::test::GameFolder g;
    g.file("data\\vkmulti.vol", vk::test::MakeArchive(members)).file("data\\fmparam3.dat", "flight model");

    std::string many;
    for (int i = 0; i < kRepeats; ++i) many += "*|";
    double once = 1e9, repeated = 1e9;
    size_t onceLines = 0, repeatedLines = 0;
    TimeCheck(g, "*|", onceLines);  // into the page cache
    for (int round = 0; round < 5; ++round) {
        once = std::min(once, TimeCheck(g, "*|", onceLines));
        repeated = std::min(repeated, TimeCheck(g, many, repeatedLines));
    }
    std::printf("core_archive: check of %d x \"*|\" over an archive of %d members (%.1f MiB) %.1f ms, one \"*|\" "
                "%.1f ms (baseline), ratio %.2f (target <= 2), best of 5\n",
                kRepeats, kMembers, static_cast<double>(bytes) / (1 << 20), repeated * 1e3, once * 1e3,
                repeated / once);
    return onceLines == repeatedLines ? 0 : 1;
}
