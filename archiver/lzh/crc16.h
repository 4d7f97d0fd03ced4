#pragma once

#include <cstddef>
#include <cstdint>

namespace vadok::archiver {

// CRC-16 as LZH archives use it for member data and level-2 headers: the reflected
// polynomial 0xA001 (x^16 + x^15 + x^2 + 1), initial value 0, no final inversion.
std::uint16_t crc16Update(std::uint16_t crc, const void* data, std::size_t size);

} // namespace vadok::archiver
