#include "bytesource.h"

namespace glimtake {

std::optional<std::vector<std::uint8_t>> ByteSource::bytes(std::uint64_t offset,
                                                           std::uint64_t length) const {
    // Checked before allocating, so a declared length larger than the file costs nothing.
    if (!contains(offset, length))
        return std::nullopt;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(length));
    if (!read(offset, out))
        return std::nullopt;
    return out;
}

std::optional<std::uint16_t> ByteSource::u16(std::uint64_t offset) const {
    std::uint8_t b[2];
    if (!contains(offset, 2) || !read(offset, b))
        return std::nullopt;
    return le16(b);
}

std::optional<std::uint32_t> ByteSource::u32(std::uint64_t offset) const {
    std::uint8_t b[4];
    if (!contains(offset, 4) || !read(offset, b))
        return std::nullopt;
    return le32(b);
}

} // namespace glimtake
