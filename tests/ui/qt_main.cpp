// main() of the Qt test programs: one QApplication for all their tests.
#include <gtest/gtest.h>

#include "qt_env.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new vk::test::QtEnvironment);
    return RUN_ALL_TESTS();
}
