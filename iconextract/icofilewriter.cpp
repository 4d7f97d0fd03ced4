// An icon group resource (RT_GROUP_ICON) becomes an .ico file. Little-endian throughout.
//
//   group resource                      .ico file written
//   0  u16 reserved                     0  u16 reserved      = 0
//   2  u16 type                         2  u16 type          = 1
//   4  u16 count n                      4  u16 count         = n
//   6+14i  u8 width, height, colours    6+16i  u8 width, height, colours (copied)
//   9+14i  u8 reserved                  9+16i  u8 reserved   = 0
//   10+14i u16 planes, u16 bit count    10+16i u16 planes, u16 bit count = 0 (not copied)
//   14+14i u32 bytes in image           14+16i u32 bytes in image = the image's actual size
//   18+14i u16 RT_ICON resource ID      18+16i u32 offset of the image in the file
//                                       6+16n  the images back to back, in entry order
//
// The file is sized from the images as they are, not from the sizes the group declares: the
// two agree in sound modules, and where they differ the actual size is the only one that both
// fits the copy and matches the directory entry written.

#include "icofilewriter.h"

#include "bytesource.h"

namespace glimtake {

namespace {

constexpr std::size_t kGroupHeader = 6;
constexpr std::size_t kGroupEntry = 14;
constexpr std::size_t kFileEntry = 16;

std::optional<std::vector<std::uint8_t>> refuse(std::string* why, std::string text) {
    if (why)
        *why = std::move(text);
    return std::nullopt;
}

} // namespace

std::optional<std::vector<std::uint8_t>> IconGroupToFile(std::span<const std::uint8_t> group,
                                                         const IconImages& images,
                                                         std::string* why) {
    if (group.size() < kGroupHeader)
        return refuse(why, "group shorter than its header");
    const std::size_t count = le16(group.data() + 4);
    if (group.size() < kGroupHeader + kGroupEntry * count)
        return refuse(why, "group shorter than its " + std::to_string(count) + " entries");

    // Every image is found and measured before anything is allocated.
    std::vector<std::uint32_t> sizes(count);
    std::size_t total = kGroupHeader + kFileEntry * count;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t id = le16(group.data() + kGroupHeader + kGroupEntry * i + 12);
        const auto size = images.imageSize(id);
        if (!size)
            return refuse(why, "image " + std::to_string(id) + " missing");
        if (*size > kMaxIconFileBytes - total)
            return refuse(why, "images too large");
        sizes[i] = *size;
        total += *size;
    }

    std::vector<std::uint8_t> file(total, 0);
    putLe16(file.data() + 2, 1);
    putLe16(file.data() + 4, static_cast<std::uint16_t>(count));
    std::size_t position = kGroupHeader + kFileEntry * count;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* in = group.data() + kGroupHeader + kGroupEntry * i;
        std::uint8_t* out = file.data() + kGroupHeader + kFileEntry * i;
        const std::uint16_t id = le16(in + 12);
        if (!images.readImage(id, std::span(file).subspan(position, sizes[i])))
            return refuse(why, "image " + std::to_string(id) + " unreadable");
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        putLe32(out + 8, sizes[i]);
        putLe32(out + 12, static_cast<std::uint32_t>(position));
        position += sizes[i];
    }
    return file;
}

} // namespace glimtake
