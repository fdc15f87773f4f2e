#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "client/core/cipher_names.h"

namespace vk {
namespace {

TEST(CipherNames, DevelopmentDefaultsDecipher) {
    EXPECT_EQ(OwnExecutablePattern(), "*/wdnplyr");
    EXPECT_EQ(BareName(OwnExecutablePattern()), "wdnplyr");
    EXPECT_EQ(CompanionPattern(), "*/wdnhelp.exe");
    EXPECT_EQ(BareName(CompanionPattern()), "wdnhelp.exe");
    for (int i = 0; i < kHeldFileCount; ++i) EXPECT_EQ(HeldFileName(i), "data\\volkar" + std::to_string(i) + ".ted");
    EXPECT_EQ(HeldFileName(5), "");
    EXPECT_EQ(TedPatternList(), "volkar?.ted");
    EXPECT_EQ(VersionAnswer(), "2.2.0.1");
    EXPECT_EQ(ProgramKey()[0], 0);
    EXPECT_EQ(ProgramKey()[31], 0x1f);
    EXPECT_EQ(DecipherText(EncipherText("crc=12\xC8")), "crc=12\xC8");
}

// The build-time encipherer refuses names that do not fit one block, and keys that are not
// 32 bytes, instead of cutting them silently.
TEST(CipherNames, EncipherToolRefusesWhatDoesNotFit) {
    const std::string tool = std::string(VK_BINARY_DIR) + "/bin/vkencipher";
    const std::string key = "key=000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f\n";
    const std::string names = "own=*/wdnplyr\ncompanion=*/wdnhelp.exe\nheld=a\nheld=b\nheld=c\nheld=d\nheld=e\nted=v?.ted\n";
    struct Case {
        const char* what;
        std::string input;
        int exitCode;
    } cases[] = {
        {"valid", key + names + "version=2.2.0.1\n", 0},
        {"17 characters", key + names + "version=12345678901234567\n", 1},
        {"no version", key + names, 1},
        {"short key", "key=0001\n" + names + "version=1\n", 1},
    };
    for (const auto& c : cases) {
        const std::string in = std::string(VK_BINARY_DIR) + "/vkencipher-test-names.txt";
        const std::string out = std::string(VK_BINARY_DIR) + "/vkencipher-test.h";
        std::ofstream(in, std::ios::binary) << c.input;
        std::remove(out.c_str());
        int rc = std::system((tool + " " + in + " " + out + " 2>/dev/null").c_str());
        ASSERT_TRUE(WIFEXITED(rc)) << c.what;
        EXPECT_EQ(WEXITSTATUS(rc), c.exitCode) << c.what;
        std::ifstream header(out);
        EXPECT_EQ(static_cast<bool>(header), c.exitCode == 0) << c.what;
        std::remove(in.c_str());
        std::remove(out.c_str());
    }
}

}  // namespace
}  // namespace vk
