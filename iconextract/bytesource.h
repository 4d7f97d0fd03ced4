#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace glimtake {

// Random access to the bytes of a file being examined. The readers ask for small pieces at
// offsets taken from the file itself, so a source never hands out more than it holds and a
// hostile offset simply fails instead of reaching past the end.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    virtual std::uint64_t size() const = 0;
    // Fills out completely from offset, or returns false and leaves out unspecified.
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;

    // Exactly length bytes from offset; nullopt when the range is not wholly inside.
    std::optional<std::vector<std::uint8_t>> bytes(std::uint64_t offset, std::uint64_t length) const;
    std::optional<std::uint16_t> u16(std::uint64_t offset) const;
    std::optional<std::uint32_t> u32(std::uint64_t offset) const;

    bool contains(std::uint64_t offset, std::uint64_t length) const {
        return offset <= size() && length <= size() - offset;
    }
};

// Little-endian decoding from a buffer the caller has already bounds-checked; Windows
// structures are little-endian whatever the host is.
inline std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void putLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void putLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace glimtake
