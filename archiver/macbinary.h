#pragma once

#include "lzhmember.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vadok::archiver {

// MacLHA (creator 'm') may wrap a member's data in MacBinary: a 128-byte header, the data fork
// padded to 128 bytes, then the resource fork, also padded. Other systems have no use for
// the header or the resource fork, so an expansion writes the data fork alone (a file that
// has only a resource fork: that one). The member's CRC-16 still covers the whole decoded
// stream.
//
// MacBinary has no magic number, and an archive may hold a MacBinary file on purpose, so a
// header is taken for MacLHA's own only when every field says so (offsets in the header,
// numbers big-endian):
//   [0x00] 0, [0x01] name length (at most 63), [0x02] the name, the same as the member's file
//   name, the rest of the 63 bytes 0; [0x4A] and [0x52] 0; [0x53] data fork length, [0x57]
//   resource fork length, which with the header, rounded up to 128, make the member's
//   original size; [0x5F] modification time in seconds since 1904 in local time, so within
//   14 hours of the member's; [0x63..0x7F] (comment length, MacBinary II fields) all 0.
// Type, creator, Finder flags, icon position and creation time are not looked at.
struct MacBinaryFork {
    std::uint64_t offset = 0; // within the decoded stream
    std::uint64_t length = 0;
};

constexpr std::size_t kMacBinaryHeaderSize = 128;

// The fork to expand when the member is MacBinary-wrapped, else nullopt. head holds the
// first size decoded bytes of the member (fewer than 128 when the member is shorter).
std::optional<MacBinaryFork> macBinaryDataFork(const std::uint8_t* head, std::size_t size,
                                               const LzhMember& member);

} // namespace vadok::archiver
