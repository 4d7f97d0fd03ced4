#include "iconextract/groupchoice.h"
#include "iconextract/memorysource.h"
#include "iconextract/peresources.h"
#include "testpe.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace glimtake::test {
namespace {

// One icon image (ID 1) and one group (ID 1) that uses it: sound until a case breaks it.
ResourceSection soundSection() {
    return resourceSection({{kRtIcon, std::uint16_t(1), Bytes(8, 0x11)},
                            {kRtGroupIcon, std::uint16_t(1), groupResource({{8, 8, 0, 8, 1}})}});
}

std::optional<Bytes> extract(const Bytes& bytes) { return extractIcon(MemorySource(bytes)); }

TEST(HostileInput, soundSyntheticImageYieldsItsIcon) {
    const auto icon = extract(peImage(soundSection().bytes));
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->size(), 6u + 16 + 8);
}

TEST(HostileInput, brokenResourceTreesEndWithoutAnIcon) {
    using Patch = std::function<void(Bytes&, const ResourceSection&)>;
    const std::vector<std::pair<const char*, Patch>> cases = {
        {"group's languages are its own name directory",
         [](Bytes& b, const ResourceSection& s) {
             put32(b, s.typeDirectory[1] + 20, 0x80000000u | s.typeDirectory[1]);
         }},
        {"group's languages are the root",
         [](Bytes& b, const ResourceSection& s) { put32(b, s.typeDirectory[1] + 20, 0x80000000u); }},
        {"group type directory is the root",
         [](Bytes& b, const ResourceSection&) { put32(b, 20 + 8, 0x80000000u); }},
        {"group data size near 4 GiB",
         [](Bytes& b, const ResourceSection& s) { put32(b, s.dataEntry[1] + 4, 0xFFFFFFF0u); }},
        {"group data RVA past every section",
         [](Bytes& b, const ResourceSection& s) { put32(b, s.dataEntry[1], 0xFFFFFFF0u); }},
        {"image size near 2 GiB",
         [](Bytes& b, const ResourceSection& s) { put32(b, s.dataEntry[0] + 4, 0x7FFFFFFFu); }},
        {"name directory claims 131070 entries",
         [](Bytes& b, const ResourceSection& s) {
             put16(b, s.typeDirectory[1] + 12, 0xFFFF);
             put16(b, s.typeDirectory[1] + 14, 0xFFFF);
         }},
        {"group claims 65535 entries", [](Bytes& b, const ResourceSection& s) {
             const std::uint32_t rva = b[s.dataEntry[1]] | b[s.dataEntry[1] + 1] << 8;
             put16(b, rva - kSectionRva + 4, 0xFFFF);
         }},
    };
    for (const auto& [name, patch] : cases) {
        ResourceSection section = soundSection();
        patch(section.bytes, section);
        EXPECT_FALSE(extract(peImage(section.bytes))) << name;
    }
}

// The icon image's bytes run 16 bytes past the end of its section into bytes the file still
// holds (whatever follows the section there is no part of the resource).
TEST(HostileInput, resourceDataRunningPastItsSectionIsNotRead) {
    for (const std::uint32_t overrun : {0u, 16u}) {
        ResourceSection section = soundSection();
        const std::uint32_t imageRva = section.bytes[section.dataEntry[0]] |
                                       section.bytes[section.dataEntry[0] + 1] << 8;
        const std::uint32_t toSectionEnd =
            static_cast<std::uint32_t>(section.bytes.size()) - (imageRva - kSectionRva);
        put32(section.bytes, section.dataEntry[0] + 4, toSectionEnd + overrun);
        Bytes image = peImage(section.bytes);
        image.resize(image.size() + 4096, 0x22);
        const MemorySource source(image);
        const auto pe = PeResources::read(source);
        ASSERT_TRUE(pe);
        EXPECT_EQ(pe->numbered(kRtIcon).contains(1), overrun == 0) << overrun;
    }
}

// Directory 2 (resources) exists only when the optional header declares at least three.
TEST(HostileInput, resourcesNeedADataDirectoryCountAboveTwo) {
    for (const std::uint32_t count : {2u, 3u}) {
        for (const bool plus : {true, false}) {
            Bytes image = peImage(soundSection().bytes, plus);
            put32(image, 0x58 + (plus ? 108 : 92), count);
            EXPECT_EQ(extract(image).has_value(), count == 3) << count << (plus ? " PE32+" : " PE32");
        }
    }
}

// Overlap is not an error in itself: the group is read from wherever it claims to be, here the
// root directory, whose zero timestamp makes it an empty group.
TEST(HostileInput, groupOverlappingTheRootDirectoryIsReadFromThere) {
    ResourceSection section = soundSection();
    put32(section.bytes, section.dataEntry[1], kSectionRva);
    put32(section.bytes, section.dataEntry[1] + 4, 6);
    EXPECT_EQ(extract(peImage(section.bytes)), (Bytes{0, 0, 1, 0, 0, 0}));
}

TEST(HostileInput, brokenHeadersAreRefused) {
    const std::vector<std::pair<const char*, std::pair<std::size_t, std::uint32_t>>> cases = {
        {"PE offset near 4 GiB", {0x3C, 0xFFFFFFFFu}},
        {"65535 sections", {0x46, 0xFFFF}},
        {"optional header of 65535 bytes", {0x54, 0xFFFF}},
    };
    for (const auto& [name, patch] : cases) {
        Bytes pe = peImage(soundSection().bytes);
        if (patch.first == 0x3C)
            put32(pe, patch.first, patch.second);
        else
            put16(pe, patch.first, static_cast<std::uint16_t>(patch.second));
        const MemorySource source(pe);
        EXPECT_FALSE(PeResources::read(source)) << name;
    }
}

// Whatever prefix of a real module survives, the result is nothing or a well-formed icon.
TEST(HostileInput, everyTruncationOfARealModuleEndsCleanly) {
    const Bytes whole = readFixture("groups64.exe");
    ASSERT_FALSE(whole.empty());
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        if (const auto icon = extract(cut)) {
            EXPECT_TRUE(parseIco(*icon)) << length;
        }
    }
}

} // namespace
} // namespace glimtake::test
