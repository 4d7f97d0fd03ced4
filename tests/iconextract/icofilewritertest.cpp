#include "iconextract/icofilewriter.h"
#include "testpe.h"

#include <gtest/gtest.h>
#include <map>

namespace glimtake::test {
namespace {

class TableImages : public IconImages {
public:
    std::map<std::uint16_t, Bytes> images;
    mutable int reads = 0;

    std::optional<std::uint32_t> imageSize(std::uint16_t id) const override {
        auto it = images.find(id);
        if (it == images.end())
            return std::nullopt;
        return static_cast<std::uint32_t>(it->second.size());
    }
    bool readImage(std::uint16_t id, std::span<std::uint8_t> out) const override {
        ++reads;
        std::copy(images.at(id).begin(), images.at(id).end(), out.begin());
        return true;
    }
};

TEST(IconGroupToFile, writesHeaderDirectoryAndImagesBackToBack) {
    TableImages table;
    table.images = {{7, {1, 2, 3}}, {2, {4, 5, 6, 7, 8}}, {9, {9}}};
    const Bytes group = groupResource({{16, 16, 16, 3, 7}, {32, 32, 0, 5, 2}, {0, 0, 0, 1, 9}});

    const auto file = IconGroupToFile(group, table);

    ASSERT_TRUE(file);
    const Bytes expected = {
        0, 0, 1, 0, 3, 0,                                         // reserved, type 1, three
        16, 16, 16, 0, 0, 0, 0, 0, 3, 0, 0, 0, 54, 0, 0, 0,       // planes, bits zero
        32, 32, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 57, 0, 0, 0,        // 54 + 3
        0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 62, 0, 0, 0,          // 57 + 5
        1, 2, 3, 4, 5, 6, 7, 8, 9,
    };
    EXPECT_EQ(*file, expected);
}

TEST(IconGroupToFile, emptyGroupGivesTheSixByteFile) {
    TableImages none;
    EXPECT_EQ(IconGroupToFile(groupResource({}), none), (Bytes{0, 0, 1, 0, 0, 0}));
}

TEST(IconGroupToFile, groupIsAbandonedWhenAnImageIsMissing) {
    TableImages table;
    table.images = {{1, {1, 2}}};
    std::string why;
    EXPECT_FALSE(IconGroupToFile(groupResource({{16, 16, 0, 2, 1}, {32, 32, 0, 2, 4}}), table, &why));
    EXPECT_EQ(why, "image 4 missing");
    EXPECT_EQ(table.reads, 0);
}

TEST(IconGroupToFile, truncatedGroupIsRefused) {
    TableImages table;
    table.images = {{1, {1}}};
    const Bytes whole = groupResource({{1, 1, 0, 1, 1}, {1, 1, 0, 1, 1}});
    for (std::size_t length : {std::size_t(0), std::size_t(5), whole.size() - 1}) {
        Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(IconGroupToFile(cut, table)) << length;
    }
    EXPECT_TRUE(IconGroupToFile(whole, table));
}

// The declared size is not trusted: the file holds what the image really is.
TEST(IconGroupToFile, sizesTheFileFromTheActualImages) {
    TableImages table;
    table.images = {{1, {0xAA, 0xBB}}};
    for (std::uint32_t declared : {0u, 1u, 1000u, 0xFFFFFFFFu}) {
        const auto file = IconGroupToFile(groupResource({{8, 8, 0, declared, 1}}), table);
        ASSERT_TRUE(file) << declared;
        EXPECT_EQ(file->size(), 6u + 16 + 2);
        const auto images = parseIco(*file);
        ASSERT_TRUE(images);
        EXPECT_EQ((*images)[0].bytes, (Bytes{0xAA, 0xBB}));
    }
}

TEST(IconGroupToFile, refusesImagesAddingUpPastTheLimitBeforeReadingAny) {
    class Huge : public IconImages {
    public:
        std::optional<std::uint32_t> imageSize(std::uint16_t) const override { return 40u << 20; }
        bool readImage(std::uint16_t, std::span<std::uint8_t>) const override {
            ADD_FAILURE() << "read before refusing";
            return false;
        }
    } huge;
    EXPECT_FALSE(IconGroupToFile(groupResource({{0, 0, 0, 0, 1}, {0, 0, 0, 0, 1}}), huge));
}

} // namespace
} // namespace glimtake::test
