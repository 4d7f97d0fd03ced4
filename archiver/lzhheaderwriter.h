#pragma once

#include "lzhmember.h"

#include <cstdint>
#include <vector>

namespace vadok::archiver {

// The level-2 header for a member: sizes, CRC, the name split into the filename (0x01) and
// directory (0x02) extended headers, the code page (0x46) when the name is CP932, the Unix
// mode (0x50) and time (0x54), the Windows time stamps (0x41, 100 ns precision, so that an
// unchanged file is recognised by its exact time) and the header CRC (0x00).
// Symbolic links are "-lhd-" members named "link|target" with the link type in the mode.
// Returns an empty vector when the header would exceed the format's 64 KiB limit.
std::vector<std::uint8_t> encodeLevel2Header(const LzhMember& member);

} // namespace vadok::archiver
