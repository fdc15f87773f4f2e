#include <gtest/gtest.h>

#include "client/core/archive.h"
#include "common/crc32.h"
#include "game_folder.h"

namespace vk {
namespace {

using test::MakeArchive;

TEST(ArchiveReader, FlaggedMatchingMembersInDirectoryOrder) {
    std::string bytes = MakeArchive({{"b.dat", "second"}, {"a.dat", "first"}, {"c.dat", "skipped", 2}, {"d.txt", "x"}});
    MemoryArchive src(bytes);
    auto members = ReadArchiveMembers(src, "*.dat");
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[0].name, "b.dat");
    EXPECT_EQ(members[0].length, 6u);  // the size word's high byte does not count
    EXPECT_EQ(members[0].crc, Crc32("second"));
    EXPECT_EQ(members[1].name, "a.dat");
    EXPECT_EQ(ReadArchiveMembers(src, "*").size(), 3u);
    EXPECT_TRUE(ReadArchiveMembers(src, "A.DAT").empty());
}

TEST(ArchiveReader, EmptyMemberAndDirectoryWithoutEndMark) {
    std::string bytes = MakeArchive({{"e.dat", ""}});
    MemoryArchive src(bytes);
    auto m = ReadArchiveMembers(src, "*");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].length, 0u);
    EXPECT_EQ(m[0].crc, 0u);
}

// A directory of more than 10001 entries is read only that far.
TEST(ArchiveReader, AtMost10001Entries) {
    std::vector<test::Member> many;
    for (int i = 0; i < 10005; ++i) many.push_back({"m" + std::to_string(i), ""});
    std::string bytes = MakeArchive(many);
    MemoryArchive src(bytes);
    EXPECT_EQ(ReadArchiveMembers(src, "*").size(), kArchiveMaxEntries);
}

// Directory entries are read only as far as the file goes: a file that ends inside the
// directory ends the directory there, but a member outside the file is an error.
TEST(ArchiveReader, BoundsOfTheFile) {
    std::string bytes = MakeArchive({{"a", "data"}});
    const size_t dirAt = 28 + 2 + 8;
    MemoryArchive cutInDirectory(std::string_view(bytes).substr(0, dirAt + 10));
    EXPECT_TRUE(ReadArchiveMembers(cutInDirectory, "*").empty());
    MemoryArchive empty("");
    EXPECT_THROW(ReadArchiveMembers(empty, "*"), ArchiveError);
    std::string unended = bytes;
    unended[28 + 1] = 'x';  // the only name loses its zero byte
    MemoryArchive u(unended);
    EXPECT_THROW(ReadArchiveMembers(u, "*"), ArchiveError);
}

TEST(ArchiveReader, FileThatCannotBeOpened) {
    EXPECT_THROW(FileArchive("/nonexistent/vk.vol"), ArchiveError);
    EXPECT_THROW(FileArchive("/tmp"), ArchiveError);
}

}  // namespace
}  // namespace vk
