#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vadok::archiver {

// A ZIP archive as its central directory lists it, read by us rather than taken from
// libarchive: libarchive takes each member's name from its local header and lists one member
// for several directory entries that share a local header, so a directory and the members
// behind it could disagree unnoticed.
//
// Layout (all numbers little-endian):
//   end record       "PK\5\6", disk numbers, entries on this disk (2), entries (2), directory
//                    size (4), directory offset (4), comment length (2), comment; found by
//                    searching back from the end of the file over at most 64 KiB of comment
//   zip64 locator    "PK\6\7" just before the end record: disk (4), offset of the zip64 end
//                    record (8); that record, "PK\6\6", holds the 8-byte counts, size and
//                    offset that the end record gives as 0xFFFF or 0xFFFFFFFF
//   directory entry  "PK\1\2", made by (2, host in the high byte), needed (2), flags (2),
//                    method (2), time (4), CRC (4), compressed (4), original (4), name
//                    length (2), extra length (2), comment length (2), disk (2), internal
//                    attributes (2), external attributes (4), local header offset (4), name,
//                    extra (zip64 extra 0x0001: the 8-byte values the entry gives as
//                    0xFFFFFFFF, in the order original, compressed, offset; Unicode path
//                    0x7075: version 1 (1), CRC-32 of the name (4), the name in UTF-8), comment
//   local header     "PK\3\4", needed (2), flags (2), method (2), time (4), CRC (4), sizes
//                    (8), name length (2), extra length (2), name, extra, then the data
//
// Offsets in an archive with bytes before it (a self-extracting stub) count from the
// archive's own start; the difference between where the directory is and where the end record
// says it is, is added to every offset.

struct ZipEntry {
    std::string rawName; // the bytes the directory holds, NUL bytes included
    // The UTF-8 name of an Info-ZIP Unicode path field (0x7075) whose CRC matches rawName:
    // Windows tools write it beside a name in the local code page.
    std::optional<std::string> unicodeName;
    std::uint16_t madeBy = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t externalAttributes = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t originalSize = 0;
    std::uint64_t headerOffset = 0; // of the local header, in the file
    std::uint64_t dataEnd = 0;      // after the data, in the file

    bool utf8Name() const { return (flags & 0x0800) != 0; }
    // Traditional (bit 0) or strong (bit 6) encryption.
    bool encrypted() const { return (flags & 0x0041) != 0; }
    // The file type in the Unix mode a Unix host stores in the high half of the external
    // attributes; 0 when the entry has none.
    std::uint32_t unixFileType() const {
        return (madeBy >> 8) == 3 ? (externalAttributes >> 16) & 0170000u : 0;
    }
};

struct ZipDirectory {
    bool ok = false;
    std::string error; // why not, in English
    std::vector<ZipEntry> entries; // in the order of their local headers
};

// Reads n bytes at offset into out; false when the file has fewer.
using ZipBytes = std::function<bool(std::uint64_t offset, std::size_t n, std::uint8_t* out)>;

// The directory of a ZIP archive of fileSize bytes, with every entry's local header read
// and checked against it: the local header must be there, name the same bytes and use the
// same method, and no two entries may share or overlap their bytes, nor reach into the
// directory. An archive of no entries is a whole archive.
ZipDirectory readZipDirectory(std::uint64_t fileSize, const ZipBytes& read);

// The same for a file on disk.
ZipDirectory readZipDirectory(const std::string& path);

} // namespace vadok::archiver
