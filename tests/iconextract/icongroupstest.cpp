#include "iconextract/icongroups.h"
#include "iconextract/memorysource.h"
#include "testpe.h"

#include <gtest/gtest.h>

namespace glimtake::test {
namespace {

// The launcher's tests draw every group of the fixtures; here the bytes of each are checked.
TEST(IconGroups, indexFollowsEnumerationOrderAndABrokenGroupSaysWhy) {
    const Bytes module = readFixture("groups64.exe");
    const MemorySource source(module);
    const auto groups = IconGroups::read(source);
    ASSERT_TRUE(groups);
    ASSERT_EQ(groups->count(), 4u);
    for (const auto& [index, icon] : {std::pair{0, "named.ico"}, {1, "one.ico"}, {2, "two.ico"},
                                      {3, "three.ico"}}) {
        const auto file = groups->icoFile(std::size_t(index));
        ASSERT_TRUE(file) << index;
        expectSameImages(*file, icon);
    }
    EXPECT_FALSE(groups->icoFile(4));

    const Bytes broken = readFixture("missingimage64.exe");
    const MemorySource brokenSource(broken);
    const auto brokenGroups = IconGroups::read(brokenSource);
    ASSERT_TRUE(brokenGroups);
    std::string why;
    EXPECT_FALSE(brokenGroups->icoFile(1, &why));
    EXPECT_EQ(why, "image 999 missing");

    const Bytes text = readFixture("notpe.txt");
    const MemorySource notPe(text);
    EXPECT_FALSE(IconGroups::read(notPe, &why));
    EXPECT_EQ(why, "no MZ signature");
}

} // namespace
} // namespace glimtake::test
