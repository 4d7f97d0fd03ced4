#include "crc16.h"

#include <array>

namespace vadok::archiver {

namespace {

// Four tables let the loop consume four bytes per step; member data runs through this
// once per store and once per verification, so it sits on the hot path.
struct Tables {
    std::array<std::array<std::uint16_t, 256>, 4> t{};
    Tables() {
        for (unsigned i = 0; i < 256; ++i) {
            std::uint16_t c = static_cast<std::uint16_t>(i);
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(c >> 1);
            t[0][i] = c;
        }
        for (unsigned i = 0; i < 256; ++i)
            for (int k = 1; k < 4; ++k)
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
    while (size >= 4) {
        c ^= static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
        c = t[3][c & 0xFF] ^ t[2][(c >> 8) & 0xFF] ^ t[1][p[2]] ^ t[0][p[3]];
        p += 4;
        size -= 4;
    }
    while (size--)
        c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
    return static_cast<std::uint16_t>(c);
}

} // namespace vadok::archiver
