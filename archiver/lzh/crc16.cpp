#include "crc16.h"

#include "crcfold.h"

#include <array>

namespace vadok::archiver {

namespace {

// Member data runs through this on every store, verification and expansion, where it sat
// among the largest costs. Where the processor multiplies without carries, runs of 64 bytes
// and more are folded (crcfold.h) with the constants below, those of 0xA001 * x^16; the
// tables take short runs, the tails of long ones and other processors, eight bytes a step.
#ifdef VADOK_CRC_FOLDING
constexpr CrcFoldConstants kFolding = {0x1b0c2, 0x0bffa, 0x1d0c2, 0x18cc2,
                                       0x1bc02, 0x14003, 0x1cfffbfff};
#endif

struct Tables {
    std::array<std::array<std::uint16_t, 256>, 8> t{};
    Tables() {
        for (unsigned i = 0; i < 256; ++i) {
            std::uint16_t c = static_cast<std::uint16_t>(i);
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(c >> 1);
            t[0][i] = c;
        }
        for (unsigned i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k)
                t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    }
};

const Tables& tables() {
    static const Tables instance;
    return instance;
}

} // namespace

std::uint16_t crc16Update(std::uint16_t crc, const void* data, std::size_t size) {
    const auto& t = tables().t;
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint32_t c = crc;
#ifdef VADOK_CRC_FOLDING
    if (size >= 64 && canFoldCrc()) {
        const std::size_t blocks = size & ~static_cast<std::size_t>(15);
        c = foldCrcBlocks(c, p, blocks, kFolding);
        p += blocks;
        size -= blocks;
    }
#endif
    while (size >= 8) {
        const std::uint32_t lo = c ^ (static_cast<std::uint32_t>(p[0]) |
                                      (static_cast<std::uint32_t>(p[1]) << 8));
        c = t[7][lo & 0xFF] ^ t[6][lo >> 8] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^
            t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
        p += 8;
        size -= 8;
    }
    while (size--)
        c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
    return static_cast<std::uint16_t>(c);
}

} // namespace vadok::archiver
