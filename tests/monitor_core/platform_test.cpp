// The OS adapters the monitor uses: piped console keys, the route tool's arguments, shell open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "fixture.h"
#include "platform/console_keys.h"
#include "platform/routes.h"
#include "platform/spawn.h"

namespace vkst::test {
namespace {

// Puts a pipe on standard input for the test's lifetime.
class PipedStdin {
public:
    PipedStdin() {
        saved_ = dup(0);
        EXPECT_EQ(pipe(fds_), 0);
        dup2(fds_[0], 0);
        close(fds_[0]);
    }
    ~PipedStdin() {
        if (fds_[1] >= 0) close(fds_[1]);
        dup2(saved_, 0);
        close(saved_);
    }
    PipedStdin(const PipedStdin&) = delete;
    PipedStdin& operator=(const PipedStdin&) = delete;
    void type(const char* text) { ASSERT_EQ(write(fds_[1], text, strlen(text)), static_cast<ssize_t>(strlen(text))); }
    void close_() {
        close(fds_[1]);
        fds_[1] = -1;
    }

private:
    int saved_ = -1;
    int fds_[2] = {-1, -1};
};

TEST(ConsoleKeys, PipedKeysAreReadOneByOneWithoutWaiting) {
    PipedStdin in;
    vk::ConsoleKeys keys;
    EXPECT_FALSE(keys.keyWaiting());  // nothing typed yet: no wait, no key
    in.type("e0");
    ASSERT_TRUE(keys.keyWaiting());
    EXPECT_TRUE(keys.keyWaiting());  // asking again does not lose the key
    EXPECT_EQ(keys.readKey(), 'e');
    ASSERT_TRUE(keys.keyWaiting());
    EXPECT_EQ(keys.readKey(), '0');
    in.close_();
    EXPECT_FALSE(keys.keyWaiting());  // end of input
    EXPECT_FALSE(keys.keyWaiting());
}

TEST(Routes, ToolArgumentsForAGatewayAndForABlackhole) {
    auto add = vk::IpRouteRunner::addArgs("10.0.0.5", "192.0.2.1");
    ASSERT_EQ(add.size(), 6u);
    EXPECT_EQ(add[0].front(), '/');  // the tool by its full path, not looked up in PATH
    EXPECT_EQ(std::vector<std::string>(add.begin() + 1, add.end()),
              (std::vector<std::string>{"route", "replace", "10.0.0.5/32", "via", "192.0.2.1"}));
    auto hole = vk::IpRouteRunner::addArgs("10.0.0.5", "");
    EXPECT_EQ(std::vector<std::string>(hole.begin() + 1, hole.end()),
              (std::vector<std::string>{"route", "replace", "blackhole", "10.0.0.5/32"}));
    auto del = vk::IpRouteRunner::delArgs("10.0.0.5");
    EXPECT_EQ(std::vector<std::string>(del.begin() + 1, del.end()),
              (std::vector<std::string>{"route", "del", "10.0.0.5/32"}));
}

TEST(Spawn, BatchFilesRunThroughTheShellInTheirFolder) {
    RunFolder f;
    f.write("VKSTbatch.bat", "echo done > ran.txt\n");
    EXPECT_GT(vk::shellOpen("VKSTbatch.bat", f.dir), 32);
    for (int i = 0; i < 100 && !f.exists("ran.txt"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(f.read("ran.txt"), "done\n");
    EXPECT_LE(vk::shellOpen("vk2serveM02.exe", f.dir), 32);  // missing
    EXPECT_EQ(vk::runProgram({"sh", "-c", "exit 3"}), 3);
    EXPECT_EQ(vk::runProgram({"/nonexistent/tool"}), -1);
}

}  // namespace
}  // namespace vkst::test
