#include "iconextract/groupchoice.h"
#include "iconextract/memorysource.h"
#include "testpe.h"

#include <gtest/gtest.h>

namespace glimtake::test {
namespace {

std::optional<Bytes> extractFixture(const std::string& name) {
    const Bytes bytes = readFixture(name);
    return extractIcon(MemorySource(bytes));
}

TEST(ExtractIcon, highestNumberedGroupWinsOverNamedAndLowerOnes) {
    for (const char* fixture : {"groups64.exe", "groups32.exe"}) {
        SCOPED_TRACE(fixture);
        const auto icon = extractFixture(fixture);
        ASSERT_TRUE(icon);
        expectSameImages(*icon, "three.ico"); // group 5: 1, 32 and 256 (PNG) pixels
    }
}

TEST(ExtractIcon, namedGroupAloneIsExtracted) {
    const auto icon = extractFixture("namedonly64.exe");
    ASSERT_TRUE(icon);
    expectSameImages(*icon, "named.ico");
}

TEST(ExtractIcon, groupWithMissingImageLeavesTheEarlierGroup) {
    const auto icon = extractFixture("missingimage64.exe");
    ASSERT_TRUE(icon);
    expectSameImages(*icon, "one.ico");
}

TEST(ExtractIcon, emptyLastGroupGivesTheSixByteFile) {
    EXPECT_EQ(extractFixture("emptylast64.exe"), (Bytes{0, 0, 1, 0, 0, 0}));
}

TEST(ExtractIcon, filesWithoutIconsGiveNothing) {
    for (const char* fixture : {"nores64.exe", "nores32.exe", "version64.exe", "notpe.txt"})
        EXPECT_FALSE(extractFixture(fixture)) << fixture;
}

} // namespace
} // namespace glimtake::test
