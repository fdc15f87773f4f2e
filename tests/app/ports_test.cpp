// The real shell and priority ports.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "platform/priority.h"
#include "platform/shell.h"
#include "tests/core_checks/game_folder.h"

namespace vk::test {
namespace {

bool WaitForFile(const GameFolder& g, const std::string& name) {
    for (int i = 0; i < 200; ++i) {
        if (g.exists(name)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(ShellPort, StartsProgramsAndBatchFilesInTheGivenFolder) {
    GameFolder g;
    g.file("prog.exe", "#!/bin/sh\npwd > started-prog.txt\n");
    ::chmod(g.osPath("prog.exe").c_str(), 0755);
    g.file("patchon.bat", "echo \"$0\" > started-bat.txt\n");  // not executable: runs through /bin/sh
    PosixShell shell;
    EXPECT_GT(shell.ShellExecute("open", g.root() + "prog.exe", "", g.root()), 32);
    EXPECT_GT(shell.ShellExecute("open", "patchon.bat", "", g.root()), 32);
    ASSERT_TRUE(WaitForFile(g, "started-prog.txt"));
    ASSERT_TRUE(WaitForFile(g, "started-bat.txt"));
    std::string dir = g.root();
    dir.pop_back();
    EXPECT_EQ(g.read("started-prog.txt"), dir + "\n");
}

TEST(ShellPort, MissingFileGivesTheFileNotFoundResult) {
    GameFolder g;
    PosixShell shell;
    EXPECT_EQ(shell.ShellExecute("open", g.root() + "nothing.exe", "", g.root()), 2);
    EXPECT_EQ(shell.ShellExecute("open", "", "", g.root()), 2);
}

TEST(PriorityPort, SetsEveryThreadOfTheProcess) {
    // Threads that come and go meanwhile (or have ended) must not make it fail.
    std::thread worker([] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
    NicePriority p;
    EXPECT_EQ(p.SetPriorityClass(PriorityClass::Normal), "Chged priority to Normal");
    worker.join();
}

}  // namespace
}  // namespace vk::test
