// The directory of an .ico file. Little-endian throughout.
//
//   0      u16 reserved = 0
//   2      u16 type     = 1 (icon; 2 would be a cursor)
//   4      u16 count n
//   6+16i  u8 width, u8 height (0 stands for 256), u8 colours, u8 reserved,
//          u16 planes, u16 bit count, u32 bytes in image, u32 offset of the image
//
// Each image is a PNG stream (its 8-byte signature first) or a DIB starting with a
// BITMAPINFOHEADER whose u16 bit count sits at +14. The directory's own planes and bit count
// are often zero (glimtake writes them so), which is why the depth is read from the image.

#include "icodirectory.h"

#include "bytesource.h"

#include <algorithm>
#include <array>

namespace glimtake {

namespace {

constexpr std::size_t kHeader = 6;
constexpr std::size_t kEntry = 16;
constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::optional<std::vector<IcoImageEntry>> refuse(std::string* why, std::string text) {
    if (why)
        *why = std::move(text);
    return std::nullopt;
}

int depthOf(std::span<const std::uint8_t> image, int declared) {
    if (image.size() >= kPngSignature.size() &&
        std::equal(kPngSignature.begin(), kPngSignature.end(), image.begin()))
        return 32;
    if (image.size() >= 16)
        return le16(image.data() + 14);
    return declared;
}

} // namespace

std::optional<std::vector<IcoImageEntry>> readIcoDirectory(std::span<const std::uint8_t> file,
                                                           std::string* why) {
    if (file.size() < kHeader)
        return refuse(why, "shorter than an icon header");
    if (le16(file.data()) != 0 || le16(file.data() + 2) != 1)
        return refuse(why, "header is not an icon's");
    const std::size_t count = le16(file.data() + 4);
    if (file.size() < kHeader + kEntry * count)
        return refuse(why, "directory of " + std::to_string(count) + " entries truncated");
    std::vector<IcoImageEntry> images;
    images.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = file.data() + kHeader + kEntry * i;
        IcoImageEntry image;
        image.width = e[0] ? e[0] : 256;
        image.height = e[1] ? e[1] : 256;
        image.size = le32(e + 8);
        image.offset = le32(e + 12);
        if (image.size == 0 || image.offset > file.size() ||
            image.size > file.size() - image.offset)
            return refuse(why, "image " + std::to_string(i) + " lies outside the file");
        image.bitCount = depthOf(file.subspan(image.offset, image.size), le16(e + 6));
        images.push_back(image);
    }
    return images;
}

std::optional<std::size_t> imageForSize(const std::vector<IcoImageEntry>& images, int side) {
    if (images.empty())
        return std::nullopt;
    const auto extent = [](const IcoImageEntry& e) { return std::max(e.width, e.height); };
    // Ranks: large enough beats too small; then the closer size; then the deeper colour.
    const auto better = [&](const IcoImageEntry& a, const IcoImageEntry& b) {
        const bool aFits = extent(a) >= side;
        const bool bFits = extent(b) >= side;
        if (aFits != bFits)
            return aFits;
        if (extent(a) != extent(b))
            return aFits ? extent(a) < extent(b) : extent(a) > extent(b);
        return a.bitCount > b.bitCount;
    };
    std::size_t best = 0;
    for (std::size_t i = 1; i < images.size(); ++i) {
        if (better(images[i], images[best]))
            best = i;
    }
    return best;
}

} // namespace glimtake
