#include "iconextract/icodirectory.h"
#include "testpe.h"

#include <gtest/gtest.h>

namespace glimtake::test {
namespace {

struct Shape {
    int width, height, bitCount;
    bool operator==(const Shape&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Shape& s) {
    return out << s.width << "x" << s.height << "@" << s.bitCount;
}

std::vector<Shape> shapes(const std::vector<IcoImageEntry>& images) {
    std::vector<Shape> result;
    for (const IcoImageEntry& e : images)
        result.push_back({e.width, e.height, e.bitCount});
    return result;
}

// An .ico file with one 40-byte DIB image per entry: width, height, DIB bit count.
Bytes icoFile(const std::vector<Shape>& images) {
    Bytes file(6 + 16 * images.size(), 0);
    put16(file, 2, 1);
    put16(file, 4, static_cast<std::uint16_t>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::size_t at = 6 + 16 * i;
        file[at] = static_cast<std::uint8_t>(images[i].width);
        file[at + 1] = static_cast<std::uint8_t>(images[i].height);
        put32(file, at + 8, 40);
        put32(file, at + 12, offset);
        put32(file, offset, 40);
        put16(file, offset + 14, static_cast<std::uint16_t>(images[i].bitCount));
        put32(file, offset + 36, 0);
        offset += 40;
    }
    return file;
}

TEST(IcoDirectory, readsSizesAndTheDepthTheImagesDeclare) {
    // icotool stores 1 and 32 pixels as 1- and 4-bit DIBs, 256 pixels (listed as 0) as PNG.
    const auto three = readIcoDirectory(readFixture("three.ico"));
    ASSERT_TRUE(three);
    EXPECT_EQ(shapes(*three), (std::vector<Shape>{{1, 1, 1}, {32, 32, 4}, {256, 256, 32}}));

    // glimtake's files carry no depth in the directory; the image's own header still does.
    const auto mixed = readIcoDirectory(icoFile({{16, 16, 4}, {32, 32, 8}}));
    ASSERT_TRUE(mixed);
    EXPECT_EQ(shapes(*mixed), (std::vector<Shape>{{16, 16, 4}, {32, 32, 8}}));
}

TEST(IcoDirectory, refusesWhatIsNoIconOrReachesOutside) {
    const Bytes sound = icoFile({{32, 32, 32}});
    const std::vector<std::tuple<const char*, std::function<void(Bytes&)>, std::string>> cases = {
        {"five bytes", [](Bytes& b) { b.resize(5); }, "shorter than an icon header"},
        {"a cursor", [](Bytes& b) { put16(b, 2, 2); }, "header is not an icon's"},
        {"reserved set", [](Bytes& b) { put16(b, 0, 1); }, "header is not an icon's"},
        {"more entries than bytes", [](Bytes& b) { put16(b, 4, 4000); },
         "directory of 4000 entries truncated"},
        {"image past the end", [](Bytes& b) { put32(b, 6 + 8, 41); },
         "image 0 lies outside the file"},
        {"offset near 4 GiB", [](Bytes& b) { put32(b, 6 + 12, 0xFFFFFFF0u); },
         "image 0 lies outside the file"},
        {"empty image", [](Bytes& b) { put32(b, 6 + 8, 0); }, "image 0 lies outside the file"},
    };
    ASSERT_TRUE(readIcoDirectory(sound));
    for (const auto& [name, patch, reason] : cases) {
        Bytes broken = sound;
        patch(broken);
        std::string why;
        EXPECT_FALSE(readIcoDirectory(broken, &why)) << name;
        EXPECT_EQ(why, reason) << name;
    }
}

TEST(IcoDirectory, drawsFromTheSmallestImageLargeEnoughAndTheDeepestOfThatSize) {
    using Sizes = std::vector<std::pair<int, int>>; // side, bit count
    const std::vector<std::tuple<Sizes, int, std::optional<std::size_t>>> cases = {
        {{{16, 32}, {32, 4}, {32, 32}, {48, 32}}, 32, 2},
        {{{256, 32}, {48, 8}, {64, 32}}, 32, 1},
        {{{16, 8}, {24, 4}, {20, 32}}, 32, 1}, // all too small: the largest
        {{{1, 32}}, 32, 0},
        {{}, 32, std::nullopt},
    };
    for (const auto& [sizes, side, expected] : cases) {
        std::vector<IcoImageEntry> images;
        for (const auto& [s, bits] : sizes)
            images.push_back({s, s, bits, 0, 1});
        EXPECT_EQ(imageForSize(images, side), expected) << sizes.size() << " images";
    }
}

} // namespace
} // namespace glimtake::test
