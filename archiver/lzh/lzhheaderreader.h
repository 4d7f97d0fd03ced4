#pragma once

#include "base/codes.h"
#include "lzhmember.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vadok::archiver {

// Reads member headers of existing LZH archives, levels 0 to 3, so that a store can copy
// unchanged members without decoding them and an expansion can check names first.
//
// Every level starts with the method "-xxx-" at offset 2 and the level byte at offset 20;
// numbers are little-endian.
//   Level 0: [0] header size - 2, [1] byte sum of the rest, [7] compressed size,
//            [11] original size, [15] MS-DOS time and date (local), [19] attribute,
//            [21] name length, name, CRC-16, optionally an area of the creator's own
//            (PMarc keeps comments there instead): 'U' (Unix) or 'K' (OS-9/68000) then a
//            version byte (0 for 'K'), the Unix time, and mode, uid and gid as its last six
//            bytes (OS-9/68000 writes the time twice); or '9' (OS-9), 22 bytes or more, whose
//            OS-9 permissions at [1] are repeated at [17] with 0xCC at [9].
//            Data follows the header.
//   Level 1: like level 0 up to the CRC, then the creator byte and the size of the first
//            extended header; the "compressed size" also counts the extended headers,
//            which sit between the base header and the data.
//            At level 0, and at level 1 from any creator but Unix (whose names may hold a
//            "\"), names may separate folders with "\" (MS-DOS, Atari, OS-9): it is read as "/"
//            once the name is decoded, where it can no longer be the second byte of a CP932
//            character.
//   Level 2: [0] total header size, [7] compressed size, [11] original size, [15] Unix
//            time, [21] CRC-16, [23] creator, [24] first extended header size. OS-9/68000
//            LHA ('K') leaves the size field's own two bytes out of the total: when its
//            extended headers end two bytes past the stated size, that is where it ends.
//   Level 3: [0] the width of the size fields (4), then as level 2 up to [23] creator,
//            [24] total header size (4 bytes), [28] first extended header size (4 bytes);
//            extended headers have 4-byte size fields. A total over 64 KiB is damage.
// An extended header is [size: 2][type: 1][data], its size counting all three parts; a size
// of 0 ends the list. Types used: 0x00 header CRC, 0x01 file name, 0x02 directory
// (0xFF separates and ends parts; Amiga LhA 1.22 leaves out the last one), 0x44 and 0x45
// the file and folder name in UTF-16LE (U+FFFF or "/" separates and ends folder parts;
// Windows archivers then leave placeholders in 0x01 and 0x02, so each UTF-16 part is
// preferred to its plain one; libarchive refuses a broken one, and so do we), 0x40 MS-DOS
// attribute, 0x41 Windows times, 0x42 64-bit sizes, 0x46 code page, 0x50 Unix mode, 0x54
// Unix time, 0xCC OS-9 data (permissions at [7]), and our own 0x76: the CRC-32 (zlib's) of
// the member's stored data, which other readers skip like any type they do not know. A first
// byte of 0 ends the archive: our writer, LHa for UNIX and jlha all write it, so a file that
// ends without it was cut short; only an archive of LArc's methods alone (-lzs-, -lz5-,
// -lz4-) may end right after a member, as LArc sometimes wrote them. Whatever follows it is ignored (padding, appended text),
// unless a member header parses anywhere in it: that is a member whose header was lost.
// OS-9 permissions (OS-9/68000 writes them where others write the Unix mode, in 0x50 or its
// level-0 area) are bits 0-2 read, write, execute for the owner and bits 3-5 the same for
// everyone, which the group is given too; the member's kind stays its method's.
// A folder member without any name (Unix LHA's level-0 folders) names nothing to create and
// is passed over; a file without one is damage.
// Stored members (-lh0-, -lz4-) hold exactly their original size. Any "-xx?-" of lower-case
// letters (and a digit) is a method: one we cannot decode is a member we cannot expand, not
// the end of the archive.
enum class HeaderStatus { Ok, End, Truncated, Invalid };

constexpr std::uint8_t kStoredCrcHeader = 0x76;

struct HeaderResult {
    HeaderStatus status = HeaderStatus::Invalid;
    std::string error;
    std::size_t headerLength = 0; // bytes from the header's start to the member's data
    // A folder entry without any name: there is nothing to create, so the walk passes over it.
    bool namesNothing = false;
};

// Parses the header at the start of buffer. The buffer holds everything up to the end of
// the file or at least the next 128 KiB. Without names, the member's name and link target
// are mostly left empty, which spares their decoding to a caller that only counts; a member
// is refused all the same where a reading with names refuses it.
HeaderResult parseLzhHeader(const std::uint8_t* buffer, std::size_t size, LzhMember& member,
                            bool names = true);

// Where an index keeps its members' raw headers: large blocks, never moved. A store's old
// archive holds thousands of members, and a string of its own for each header was an
// allocation per member on the thread that reads it.
class HeaderStore {
public:
    std::string_view add(const std::uint8_t* bytes, std::size_t size);

private:
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_used = 0;
    std::size_t m_capacity = 0;
};

struct ArchiveIndex {
    bool ok = false;
    bool foreign = false; // self-extracting: a form only libarchive reads
    std::string error;
    // What stopped a failed reading, at which header (or end mark), and the member whose
    // header was read when its data is what is wrong.
    ArchiveDamage damage = ArchiveDamage::None;
    std::uint64_t damageAt = 0;
    std::string damagedMember;
    std::vector<LzhMember> members;
    // What the members' rawHeader views point into; shared by copies of the index.
    std::shared_ptr<HeaderStore> headers = std::make_shared<HeaderStore>();
};

// Every member header of the archive file, with data offsets. Fails on a truncated or
// damaged header, data running past the end of the file (a size that no file can hold, as a
// 64-bit one near 2^64 that would lead the walk back to an earlier header, is a damaged
// header), a missing end mark or data after it.
ArchiveIndex readArchiveIndex(const std::string& path);

// readArchiveIndex of an archive already open, reading the data of every member that holds
// a stored CRC-32 as well and telling in storedDataSound whether it matches: a store reads its
// old archive so while it scans the folder, and copies the sound members without reading
// them again.
ArchiveIndex readArchiveIndexChecked(int fd);

// The reading behind both: every header in order, each member (with its header's bytes) to
// visit, and how the reading ended in outcome (whose members stay empty).
void walkArchiveHeaders(
    const std::string& path, bool withNames, ArchiveIndex& outcome,
    const std::function<void(LzhMember&, const std::uint8_t* header, std::size_t length)>& visit);

struct ArchiveTotals {
    ArchiveIndex outcome; // without members
    std::uint64_t members = 0;
    std::uint64_t originalBytes = 0;
    // readArchiveTotalsChecked: the members checked, those whose stored data differs from
    // their stored CRC-32, and the header offset of the first.
    std::uint64_t checked = 0;
    std::uint64_t unsound = 0;
    std::uint64_t firstUnsoundAt = 0;
};

// The number of members and the sum of their original sizes (the largest 64-bit number when
// they add up to more), from the headers alone (the same reading as readArchiveIndex, without
// names), skipping over all member data.
ArchiveTotals readArchiveTotals(const std::string& path);

// readArchiveTotals that also reads the data of the members whose headers start at
// headerOffsets (ascending) and counts those without a stored CRC-32 or whose data does not
// match it: a store reads back so the data it copied from the old archive.
ArchiveTotals readArchiveTotalsChecked(const std::string& path,
                                       const std::vector<std::uint64_t>& headerOffsets);

} // namespace vadok::archiver
