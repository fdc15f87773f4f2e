// CheckFileSets over a generated game folder of 1 GiB held in the page cache, against reading
// the same files into memory without checksumming, in the same run. Prints one line with both
// times and their ratio (target: at most 1.3).
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

#include "client/core/file_checks.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kTerrainFiles = 8;
constexpr size_t kTerrainSize = 128u << 20;  // 8 x 128 MiB = 1 GiB
constexpr size_t kSmallFiles = 200;          // flight-model files of a few KiB

void WriteFile(const std::string& path, size_t size, std::mt19937_64& rng) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) std::exit(1);
    std::vector<uint64_t> chunk(1 << 17);
    for (size_t done = 0; done < size;) {
        for (auto& v : chunk) v = rng();
        size_t n = std::min(size - done, chunk.size() * sizeof(uint64_t));
        if (::write(fd, chunk.data(), n) != static_cast<ssize_t>(n)) std::exit(1);
        done += n;
    }
    ::close(fd);
}

// Reads every file whole into one buffer, as a plain copy of the data would.
double ReadAll(const std::vector<std::string>& paths, std::vector<char>& buf) {
    auto t0 = std::chrono::steady_clock::now();
    for (const auto& p : paths) {
        int fd = ::open(p.c_str(), O_RDONLY);
        size_t size = static_cast<size_t>(fs::file_size(p)), done = 0;
        while (done < size) {
            ssize_t n = ::read(fd, buf.data() + done, size - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(fd);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main() {
    char tmpl[] = "/tmp/vkbenchXXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string root = std::string(tmpl) + "/";
    fs::create_directories(root + "data");
    std::mt19937_64 rng(1);
    std::vector<std::string> paths;
    uint64_t total = 0;
    for (size_t i = 0; i < kTerrainFiles; ++i) {
        paths.push_back(root + "data/volkar" + std::to_string(i) + ".ted");
        WriteFile(paths.back(), kTerrainSize, rng);
        total += kTerrainSize;
    }
    for (size_t i = 0; i < kSmallFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "data/fmparam%03zu.dat", i);
        paths.push_back(root + name);
        size_t size = 2000 + (i * 977) % 30000;
        WriteFile(paths.back(), size, rng);
        total += size;
    }

    std::vector<char> buf(kTerrainSize);
    std::fill(buf.begin(), buf.end(), 0);  // touch it once so the baseline pays no page faults
    ReadAll(paths, buf);                   // into the page cache

    vk::SteadyClock clock;
    vk::FixedProcesses none;
    double bestRead = 1e9, bestCheck = 1e9;
    size_t lines = 0;
    for (int round = 0; round < 5; ++round) {
        bestRead = std::min(bestRead, ReadAll(paths, buf));
        vk::FileCheckState state;
        vk::SortedList target;
        auto t0 = std::chrono::steady_clock::now();
        vk::CheckFileSets(state, root, {"bench-cfg.txt", "data\\|", "volkar?.ted|fmparam*?.dat|"}, target, clock, none);
        bestCheck = std::min(bestCheck, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        lines = target.size();
    }
    fs::remove_all(root);
    const double gib = static_cast<double>(total) / (1u << 30);
    std::printf("core_checks: CheckFileSets over %.2f GiB (%zu files, %zu lines) %.0f ms, read-only %.0f ms (baseline), "
                "ratio %.2f (target <= 1.3), best of 5\n",
                gib, paths.size(), lines, bestCheck * 1e3, bestRead * 1e3, bestCheck / bestRead);
    return lines == paths.size() ? 0 : 1;
}
