#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "client/core/getproc.h"
#include "platform/paths.h"

namespace vk {
namespace {

FixedProcesses Table() {
    FixedProcesses p;
    p.table = {
        {100, {"/opt/Volkar/WDNplyr", "/usr/lib/libc.so.6"}},
        {101, {"/opt/Volkar/wdnplyr", "/usr/lib/libc.so.6"}},
        {102, {"/usr/bin/wine64-preloader", "/opt/Volkar/WDNHELP.EXE", "/opt/Volkar/vk.dll"}},
        {103, {"/usr/bin/bash"}},
    };
    return p;
}

TEST(ProcessScan, ModuleListIsLowerCaseSortedWithoutDuplicates) {
    auto p = Table();
    auto list = ScanModules(p);
    EXPECT_EQ(list.lines(), (std::vector<std::string>{"/opt/volkar/vk.dll", "/opt/volkar/wdnhelp.exe",
                                                       "/opt/volkar/wdnplyr", "/usr/bin/bash",
                                                       "/usr/bin/wine64-preloader", "/usr/lib/libc.so.6"}));
}

TEST(ProcessScan, FindRunningModule) {
    auto p = Table();
    struct Case {
        const char* pattern;
        const char* found;
    } cases[] = {
        {"*/WDNHELP.exe", "/opt/volkar/wdnhelp.exe"},
        {"*/wdnplyr", "/opt/volkar/wdnplyr"},
        {"wdnhelp.exe", ""},  // the whole path must match
        {"*/nothing.exe", ""},
        {"/opt/volkar/*", "/opt/volkar/wdnplyr"},  // the last match in sorted order
    };
    for (auto c : cases) EXPECT_EQ(FindRunningModule(p, c.pattern), c.found) << c.pattern;
}

TEST(ProcessScan, CountModuleUsers) {
    auto p = Table();
    EXPECT_EQ(CountModuleUsers(p, "wdnplyr"), 2);  // one module-list entry, two processes
    EXPECT_EQ(CountModuleUsers(p, "WDNHELP.EXE"), 1);
    EXPECT_EQ(CountModuleUsers(p, "libc.so.6"), 2);
    EXPECT_EQ(CountModuleUsers(p, "nothing"), 0);
}

TEST(ProcessScan, RealProcessesIncludeThisOne) {
    ProcProcesses real;
    std::string self = GameFolderPath() + "core_checks_test";
    EXPECT_EQ(FindRunningModule(real, "*/core_checks_test"), LowerAscii(self));
    EXPECT_GE(CountModuleUsers(real, "core_checks_test"), 1);
    // Mapped files count as modules too (a game under Wine maps its .exe and .dll files).
    EXPECT_NE(FindRunningModule(real, "*/libc.so*"), "");
}

TEST(ProcessScan, HeldByOtherSeesOnlyOtherProcesses) {
    ProcProcesses real;
    char path[] = "/tmp/vkheldXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(real.heldByOther(path)) << "this process's own descriptor does not count";
    pid_t child = fork();
    if (child == 0) {
        pause();  // holds the inherited descriptor until killed
        _exit(0);
    }
    ASSERT_GT(child, 0);
    bool held = false;
    for (int i = 0; i < 200 && !held; ++i) {
        held = real.heldByOther(path);
        if (!held) usleep(10000);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(held);
    close(fd);
    unlink(path);
}

}  // namespace
}  // namespace vk
