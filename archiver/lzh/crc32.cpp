#include "crc32.h"

#include "crcfold.h"

#include <zlib.h>

namespace vadok::archiver {

namespace {

// Short pieces, the tails of long ones, and processors without the instruction.
std::uint32_t zlibCrc(std::uint32_t crc, const std::uint8_t* p, std::size_t size) {
    return static_cast<std::uint32_t>(::crc32_z(crc, p, size));
}

#ifdef VADOK_CRC_FOLDING
constexpr CrcFoldConstants kFolding = {0x154442bd4, 0x1c6e41596, 0x1751997d0, 0x0ccaa009e,
                                       0x163cd6124, 0x1db710641, 0x1f7011641};
#endif

} // namespace

std::uint32_t crc32Update(std::uint32_t crc, const void* data, std::size_t size) {
    auto p = static_cast<const std::uint8_t*>(data);
#ifdef VADOK_CRC_FOLDING
    if (size >= 64 && canFoldCrc()) {
        const std::size_t blocks = size & ~static_cast<std::size_t>(15);
        crc = ~foldCrcBlocks(~crc, p, blocks, kFolding);
        p += blocks;
        size -= blocks;
    }
#endif
    return size == 0 ? crc : zlibCrc(crc, p, size);
}

} // namespace vadok::archiver
