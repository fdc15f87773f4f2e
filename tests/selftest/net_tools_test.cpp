// The diagnostics runner with real programs: no shell between us and the tool, a private output
// file that only exists while it is wanted, and no file at all when the tool is missing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "client/selftest/net_tools.h"

namespace vk {
namespace {

namespace fs = std::filesystem;

class NetToolsTest : public ::testing::Test {
protected:
    NetToolsTest() {
        char tmpl[] = "/tmp/vktoolsXXXXXX";
        dir = mkdtemp(tmpl);
        const char* old = getenv("TMPDIR");
        if (old) oldTmp = old;
        setenv("TMPDIR", dir.c_str(), 1);
    }
    ~NetToolsTest() override {
        if (oldTmp.empty()) unsetenv("TMPDIR"); else setenv("TMPDIR", oldTmp.c_str(), 1);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        return names;
    }
    // The file's text once the tool has written `expected` bytes (at most 3 s).
    static std::string ReadWhenDone(const std::string& path, size_t expected) {
        std::string text;
        for (int i = 0; i < 300; ++i) {
            std::ifstream in(path, std::ios::binary);
            std::ostringstream s;
            s << in.rdbuf();
            text = s.str();
            if (text.size() >= expected) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return text;
    }

    std::string dir;
    std::string oldTmp;
};

TEST_F(NetToolsTest, TheToolWritesIntoAPrivateFileAndGetsItsArgumentsAsTheyAre) {
    PosixNetTools tools;
    const std::string argument = "$(touch " + dir + "/pwned); 127.0.0.1 | x";
    const std::string path = tools.Start({"printf", "%s|\n", argument, "-f"});
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.rfind(dir + "/WDNplyr-netstat.", 0), 0u) << path;
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "only this user may read the output";
    EXPECT_EQ(ReadWhenDone(path, argument.size() + 5), argument + "|\n-f|\n");
    EXPECT_FALSE(fs::exists(dir + "/pwned")) << "no shell may see the argument";

    tools.Remove(path);
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(NetToolsTest, AMissingToolLeavesNoFile) {
    PosixNetTools tools;
    EXPECT_EQ(tools.Start({"vk-no-such-tool"}), "");
    EXPECT_EQ(tools.Start({dir + "/not-there"}), "");
    EXPECT_TRUE(Files().empty());
}

TEST_F(NetToolsTest, FilesNotRemovedYetGoAtTheEnd) {
    std::string path;
    {
        PosixNetTools tools;
        path = tools.Start({"printf", "x"});
        ASSERT_FALSE(path.empty());
        ReadWhenDone(path, 1);
        tools.Remove("/etc/passwd");  // not one of ours: left alone
        EXPECT_TRUE(fs::exists("/etc/passwd"));
    }
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(Files().empty());
}

TEST_F(NetToolsTest, ToolsOutsideTheUsersPathAreFound) {
    const char* old = getenv("PATH");
    const std::string saved = old ? old : "";
    setenv("PATH", "/nonexistent", 1);
    const std::string ip = PosixNetTools::FindProgram("ip");
    setenv("PATH", saved.c_str(), 1);
    if (!fs::exists("/usr/sbin/ip") && !fs::exists("/sbin/ip")) GTEST_SKIP() << "no ip in /usr/sbin or /sbin";
    EXPECT_FALSE(ip.empty());
    EXPECT_EQ(PosixNetTools::FindProgram("vk-no-such-tool"), "");
}

}  // namespace
}  // namespace vk
