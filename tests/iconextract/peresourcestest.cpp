#include "iconextract/memorysource.h"
#include "iconextract/peresources.h"
#include "testpe.h"

#include <gtest/gtest.h>

namespace glimtake::test {
namespace {

std::vector<std::string> groupNames(const PeResources& pe) {
    std::vector<std::string> names;
    for (const Resource& r : pe.list(kRtGroupIcon)) {
        if (r.named) {
            const auto text = pe.nameOf(r);
            names.push_back(text ? std::string(text->begin(), text->end()) : "?");
        } else {
            names.push_back(std::to_string(r.id));
        }
    }
    return names;
}

TEST(PeResources, namedGroupsComeFirstThenIdsAscending) {
    for (const auto& [fixture, plus] : {std::pair{"groups64.exe", true}, {"groups32.exe", false}}) {
        const Bytes bytes = readFixture(fixture);
        const MemorySource source(bytes);
        const auto pe = PeResources::read(source);
        ASSERT_TRUE(pe) << fixture;
        EXPECT_EQ(pe->isPe32Plus(), plus);
        EXPECT_EQ(groupNames(*pe), (std::vector<std::string>{"APPICON", "1", "2", "5"})) << fixture;
    }
}

// Linkers sort the directory, but the order must not depend on it.
TEST(PeResources, unsortedDirectoryIsEnumeratedByAscendingIdAfterNames) {
    const auto section = resourceSection({{kRtGroupIcon, std::uint16_t(9), {}},
                                          {kRtGroupIcon, std::uint16_t(3), {}},
                                          {kRtGroupIcon, u"ZETA", {}},
                                          {kRtGroupIcon, std::uint16_t(4), {}},
                                          {kRtGroupIcon, u"ALPHA", {}}});
    const Bytes bytes = peImage(section.bytes);
    const MemorySource source(bytes);
    const auto pe = PeResources::read(source);
    ASSERT_TRUE(pe);
    EXPECT_EQ(groupNames(*pe), (std::vector<std::string>{"ZETA", "ALPHA", "3", "4", "9"}));
}

TEST(PeResources, imagesWithoutIconGroupsListNone) {
    for (const char* fixture : {"nores64.exe", "nores32.exe", "version64.exe"}) {
        const Bytes bytes = readFixture(fixture);
        const MemorySource source(bytes);
        const auto pe = PeResources::read(source);
        ASSERT_TRUE(pe) << fixture;
        EXPECT_TRUE(pe->list(kRtGroupIcon).empty()) << fixture;
    }
}

TEST(PeResources, saysWhyBytesAreNoPeImage) {
    Bytes mzOnly = {'M', 'Z'};
    Bytes badMagic = peImage({});
    put16(badMagic, 0x58, 0x107);
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {readFixture("notpe.txt"), "no MZ signature"},
        {{}, "no MZ signature"},
        {mzOnly, "no PE signature where the DOS header points"},
        {badMagic, "optional header is neither PE32 nor PE32+"},
    };
    for (const auto& [bytes, reason] : cases) {
        const MemorySource source(bytes);
        std::string why;
        EXPECT_FALSE(PeResources::read(source, &why));
        EXPECT_EQ(why, reason);
    }
}

} // namespace
} // namespace glimtake::test
