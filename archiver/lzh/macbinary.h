#pragma once

#include "lzhmember.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

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
//   resource fork length, which, each rounded up to 128, make with the header the member's
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

namespace vadok::archiver {

// Passes on what an expansion writes of a member: the data fork of a MacBinary-wrapped one,
// all of any other, with offsets counted in what it passes on. The first 128 bytes are held
// until they tell which.
class MacBinaryUnwrapper {
public:
    // Takes pieces at offset `at` of what is passed on; false stops the decoding.
    using Out = std::function<bool(const std::uint8_t* data, std::size_t size, std::uint64_t at)>;

    MacBinaryUnwrapper(const LzhMember& member, Out out);
    // The next decoded piece.
    bool take(const std::uint8_t* data, std::size_t size);
    // After the last piece: passes on what is still held.
    bool finish();

private:
    bool pass(const std::uint8_t* data, std::size_t size);

    const LzhMember& m_member;
    Out m_out;
    std::vector<std::uint8_t> m_head;
    bool m_decided = false;
    MacBinaryFork m_fork;
    std::uint64_t m_decoded = 0; // stream offset of the next byte given to pass
};

} // namespace vadok::archiver
