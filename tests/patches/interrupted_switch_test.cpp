// A switch interrupted at any of its durable steps, or killed while it copies a large file, is
// finished at the next activation: Turn ON undone, Turn OFF completed, the store consistent.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/patches/patch_rig.h"
#include "tests/patches/store_view.h"

namespace vk::test {
namespace {

struct Interrupted : ::testing::Test {
    PatchRig r;
    void SetUp() override {
        // skins is on already and shares plane.bmp with big; big brings a large vk.vol.
        r.g.file("data\\multi\\skins\\plane.bmp", "skins plane")
            .file("data\\multi\\plane.bmp", "original plane")
            .file("data\\multi\\big\\plane.bmp", "big plane")
            .file("data\\multi\\big\\fmparam3.dat", "big fmparam3")
            .file("data\\multi\\big\\new.dat", "big new")
            .file("data\\multi\\big\\vk.vol", std::string(3 << 20, 'v'));
        r.open();
        r.on("skins", 0, false);
    }
    // Runs fn in a child process that ends at the k-th durable step; the child's exit status
    // is 0 when it got through every step.
    int runInChild(int k, const std::function<void()>& fn) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            int count = 0;
            g_patchFailpoint = [&](const char*) {
                if (++count == k) ::_exit(77);
            };
            fn();
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void reactivate() {
        PatchSwitcher restarted({r.sw, r.st, r.info, r.main}, {r.clock, r.dialogs, r.shell, r.processes, r.state, {}, {}});
        r.sw.visible = true;
        restarted.FormActivate();
    }
};

TEST_F(Interrupted, TurnOnStoppedAtEveryStepIsUndone) {
    const auto before = FolderContents(r.g.root());
    const std::string storeBefore = StoreView(r.g.root());
    int k = 1;
    for (; k < 200; ++k) {
        SCOPED_TRACE("stopped at step " + std::to_string(k));
        r.pick("big", 0, true);
        const int status = runInChild(k, [&] { r.ps->turnonClick(); });
        if (status == 0) break;
        ASSERT_EQ(status, 77);
        r.dialogs.shown.clear();
        reactivate();
        ASSERT_EQ(r.boxes().size(), 1u);
        EXPECT_THAT(r.boxes()[0], ::testing::HasSubstr("was interrupted"));
        std::string fault;
        EXPECT_EQ(StoreView(r.g.root(), &fault), storeBefore);
        EXPECT_EQ(fault, "");
        ASSERT_EQ(FolderContents(r.g.root()), before);
    }
    EXPECT_GT(k, 10);  // the switch has many durable steps, each one tried
    // The run that got through switched fully.
    EXPECT_EQ(r.g.read("data/multi/plane.bmp"), "big plane");
    EXPECT_EQ(r.g.read("data/vk.vol"), std::string(3 << 20, 'v'));
    EXPECT_TRUE(r.g.exists("data/multi/big.act"));
}

TEST_F(Interrupted, TurnOffStoppedAtEveryStepIsCompleted) {
    const auto skinsOnly = FolderContents(r.g.root());
    r.on("big", 0, true);
    const auto both = FolderContents(r.g.root());
    for (int k = 1; k < 200; ++k) {
        SCOPED_TRACE("stopped at step " + std::to_string(k));
        r.pick("big", 0, true);
        const int status = runInChild(k, [&] { r.ps->turnoffClick(); });
        if (status == 0) break;
        ASSERT_EQ(status, 77);
        r.dialogs.shown.clear();
        reactivate();
        EXPECT_THAT(r.boxes(), ::testing::ElementsAre(::testing::HasSubstr("has been turned off")));
        ASSERT_EQ(FolderContents(r.g.root()), skinsOnly);
        std::string fault;
        StoreView(r.g.root(), &fault);
        EXPECT_EQ(fault, "");
        r.on("big", 0, true);  // back on for the next round
        ASSERT_EQ(FolderContents(r.g.root()).size(), both.size());
    }
}

TEST_F(Interrupted, KilledWhileCopyingALargeFile) {
    g_patchSyncToDisk = true;  // as the program runs
    r.g.file("data\\multi\\big\\vk.vol", std::string(32 << 20, 'w'));
    const auto before = FolderContents(r.g.root());
    for (int delayMs : {0, 3, 10, 30}) {
        SCOPED_TRACE("killed after " + std::to_string(delayMs) + " ms");
        r.pick("big", 0, true);
        const pid_t pid = ::fork();
        if (pid == 0) {
            r.ps->turnonClick();
            ::_exit(0);
        }
        // Wait until the switch has begun (its journal is there), then kill it.
        const std::string journal = r.g.osPath("data/.vkbackup/journal");
        for (int i = 0; i < 2000 && !r.g.exists("data/.vkbackup/journal"); ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        reactivate();
        const auto after = FolderContents(r.g.root());
        if (WIFEXITED(status)) {
            // It finished before the kill: fully switched, then turned off for the next round.
            EXPECT_TRUE(r.g.exists("data/multi/big.act"));
            r.pick("big", 0, true);
            r.ps->turnoffClick();
        } else {
            EXPECT_EQ(after, before);
        }
        std::string fault;
        StoreView(r.g.root(), &fault);
        EXPECT_EQ(fault, "");
        ASSERT_EQ(FolderContents(r.g.root()), before);
    }
}

}  // namespace
}  // namespace vk::test

namespace vk::test {
namespace {

// A manifest that cannot be read stops every switch: without it, a switch would forget the
// game's kept files.
TEST(UnreadableStore, NothingIsSwitched) {
    PatchRig r;
    r.g.file("data\\multi\\fm1\\fmparam3.dat", "fm1").file("data\\.vkbackup\\manifest", "something else\n");
    r.open();
    r.on("fm1");
    EXPECT_THAT(r.boxes(), ::testing::ElementsAre(::testing::HasSubstr("cannot be read; nothing was switched")));
    EXPECT_EQ(r.g.read("data/multi/fmparam3.dat"), "original fmparam3");
    EXPECT_EQ(r.g.read("data/.vkbackup/manifest"), "something else\n");
    EXPECT_FALSE(r.g.exists("data/multi/fm1.act"));
}

}  // namespace
}  // namespace vk::test
