#pragma once

#include "lzhmember.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace vadok::archiver {

// The level-2 header for a member: sizes, CRC, the Unix time (the level-2 base header's time
// field is a Unix time, which every reader restores), the name split into the filename (0x01)
// and directory (0x02) extended headers, the code page (0x46) when the name is CP932 and not
// plain ASCII, the Unix mode (0x50), the CRC-32 of the stored data (0x76, ours, 7 bytes that
// spare a store from decoding every member it copies to know it is sound) and the header
// CRC (0x00). Separate time headers (0x54, 0x41) would only repeat the base header's time; at
// about 90 bytes per member every byte of header shows in the ratio of folders with
// thousands of small files.
// Symbolic links are "-lhd-" members named "link|target" with the link type in the mode.
// Returns an empty vector when the header would exceed the format's 64 KiB limit.
std::vector<std::uint8_t> encodeLevel2Header(const LzhMember& member);

// Whether encodeLevel2Header(member) gives exactly existing, a header the reader accepted
// (which checked its header CRC), without making a header of its own to compare.
bool level2HeaderIs(const LzhMember& member, std::string_view existing);

// A header for decoding the member's data alone: same method, sizes and CRC, a plain ASCII
// name and no code page, so a decoder needs no character conversion.
std::vector<std::uint8_t> encodeDataCheckHeader(const LzhMember& member);

} // namespace vadok::archiver
