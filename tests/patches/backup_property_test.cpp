// The backup invariant over random Turn ON / Turn OFF sequences of four overlapping patches:
// every managed file holds the content of the most recently activated patch still active that
// provides it, or the game's original; with all off, the game folder is what it was at the start.
#include <algorithm>
#include <random>

#include "tests/patches/patch_rig.h"
#include "tests/patches/store_view.h"

namespace vk::test {
namespace {

struct Patch {
    std::string name;
    bool fmdm;
    std::vector<std::string> files;  // vk.vol goes to data, the rest into data\multi
};

const std::vector<Patch> kPatches = {
    {"fmA", true, {"fmparam3.dat", "acspecs1.dat", "shared.bmp", "vk.vol", "readme.txt"}},
    {"fmB", true, {"fmparam3.dat", "wingj1.dat", "shared.bmp", "readme.txt"}},
    {"nx", false, {"shared.bmp", "plane.bmp", "action.bmp", "vk.vol"}},
    {"ny", false, {"plane.bmp", "action.bmp", "new.txt", "readme.txt"}},
};

std::string Target(const std::string& file) { return file == "vk.vol" ? "data/vk.vol" : "data/multi/" + file; }
std::string Content(const Patch& p, const std::string& file) { return p.name + " " + file + " content"; }

TEST(BackupInvariant, RandomSequencesOverOverlappingPatches) {
    for (unsigned seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        PatchRig r;
        r.g.file("data\\multi\\readme.txt", "the game's own readme").file("data\\multi\\plane.bmp", "original plane");
        for (const auto& p : kPatches)
            for (const auto& f : p.files) r.g.file("data\\multi\\" + p.name + "\\" + f, Content(p, f));
        // The original content of every managed file, "" for none.
        std::map<std::string, std::string> original;
        for (const auto& p : kPatches)
            for (const auto& f : p.files) original[Target(f)] = r.g.exists(Target(f)) ? r.g.read(Target(f)) : "";
        const uint64_t startHash = FolderHash(r.g.root());
        r.open();

        std::vector<size_t> active;  // activation order, oldest first
        std::mt19937 rng(seed);
        auto check = [&](const std::string& what) {
            for (const auto& [target, orig] : original) {
                std::string want = orig;
                for (size_t i : active) {
                    const auto& files = kPatches[i].files;
                    const std::string f = target.substr(target.rfind('/') + 1);
                    if (std::find(files.begin(), files.end(), f) != files.end()) want = Content(kPatches[i], f);
                }
                const std::string got = r.g.exists(target) ? r.g.read(target) : "";
                ASSERT_EQ(got, want) << what << ": " << target;
            }
            for (size_t i = 0; i < kPatches.size(); ++i) {
                const bool on = std::find(active.begin(), active.end(), i) != active.end();
                const std::string marker = "data/multi/" + kPatches[i].name + (kPatches[i].fmdm ? ".act" : ".abp");
                ASSERT_EQ(r.g.exists(marker), on) << what << ": " << marker;
            }
            std::string fault;
            StoreView(r.g.root(), &fault);
            ASSERT_EQ(fault, "") << what;
        };

        for (int stepNo = 0; stepNo < 40; ++stepNo) {
            const size_t i = rng() % kPatches.size();
            const bool on = rng() % 3 != 0;
            const Patch& p = kPatches[i];
            const std::string what = std::to_string(stepNo) + (on ? " on " : " off ") + p.name;
            if (on) {
                r.on(p.name, 0, p.fmdm);
                if (p.fmdm)
                    active.erase(std::remove_if(active.begin(), active.end(), [](size_t k) { return kPatches[k].fmdm; }),
                                 active.end());
                active.erase(std::remove(active.begin(), active.end(), i), active.end());
                active.push_back(i);
            } else {
                r.off(p.name, 0, p.fmdm);
                active.erase(std::remove(active.begin(), active.end(), i), active.end());
            }
            check(what);
            if (HasFatalFailure()) return;
        }
        // All off, in a random order (the model keeps the activation order).
        std::vector<size_t> order = active;
        std::shuffle(order.begin(), order.end(), rng);
        for (size_t i : order) {
            r.off(kPatches[i].name, 0, kPatches[i].fmdm);
            active.erase(std::remove(active.begin(), active.end(), i), active.end());
            check("final off " + kPatches[i].name);
            if (HasFatalFailure()) return;
        }
        EXPECT_EQ(FolderHash(r.g.root()), startHash);
        EXPECT_FALSE(r.g.exists("data/.vkbackup"));
        EXPECT_TRUE(r.dialogs.shown.empty());
    }
}

}  // namespace
}  // namespace vk::test
