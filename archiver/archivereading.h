#pragma once

#include "lzhmember.h"

#include <archive.h>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vadok::archiver {

enum class ArchiveFormat { Lzh, Zip };

struct ArchiveDeleter {
    void operator()(struct archive* a) const { archive_read_free(a); }
};
using ReadArchive = std::unique_ptr<struct archive, ArchiveDeleter>;

// One member as an expansion plans it, before anything is written.
struct ListedMember {
    std::string path; // as the archive names it, without a trailing "/"
    MemberKind kind = MemberKind::File;
    std::string linkTarget;
    std::uint64_t size = 0;           // what a file's data must come to
    std::optional<std::uint16_t> crc; // the data CRC our own header reader found
};

// Every member of an archive, in order, with the names it means. libarchive converts member
// names into the locale and gives up on bytes that are not valid there, so for LZH the
// names come from our own header reader (which keeps raw Unix names byte for byte and reads
// CP932 where the archive says so or where an old Windows archive leaves it unsaid), and
// libarchive is then opened with a charset that never fails and only supplies data and
// metadata. ZIP names come from libarchive, with CP932 for names that lack the UTF-8 flag
// when any name is not UTF-8. Members that are neither files, folders nor symbolic links
// (devices, FIFOs, hard links) make the listing fail: an expansion creates nothing else.
struct ArchiveListing {
    int code = 0; // an ArchiverCode
    std::string error;
    std::string hdrcharset; // for openArchive; empty: libarchive's default
    std::vector<ListedMember> members;
};
ArchiveListing listArchive(const std::string& path, ArchiveFormat format);

// Opens path for reading in the given format with an optional hdrcharset option.
ReadArchive openArchive(const std::string& path, ArchiveFormat format,
                        const std::string& hdrcharset, std::string& error);

// The kind libarchive gives an entry, or nullopt for anything else.
std::optional<MemberKind> kindOf(struct archive_entry* entry);

} // namespace vadok::archiver
