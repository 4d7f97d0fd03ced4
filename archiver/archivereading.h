#pragma once

#include <archive.h>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vadok::archiver {

enum class ArchiveFormat { Lzh, Zip };

struct ArchiveDeleter {
    void operator()(struct archive* a) const { archive_read_free(a); }
};
using ReadArchive = std::unique_ptr<struct archive, ArchiveDeleter>;

// How to read the names of an archive. libarchive converts names into the locale and gives
// up on bytes that are not valid there, so for LZH the names come from our own header reader
// (which keeps raw Unix names byte for byte and reads CP932 where the archive says so or
// where an old Windows archive leaves it unsaid); libarchive is then opened with a
// charset that never fails and only supplies data and metadata. ZIP names come from
// libarchive, with CP932 for names that lack the UTF-8 flag when any name is not UTF-8.
struct NamePlan {
    std::string hdrcharset;     // empty: libarchive's default
    bool overrideNames = false; // take names from `names`, in member order
    std::vector<std::pair<std::string, std::string>> names; // path, link target
    std::vector<std::uint16_t> crcs;  // per member: the data CRC its header records
    std::vector<std::uint64_t> sizes; // per member: its original size
    std::vector<bool> links;          // per member: a symbolic link
};
NamePlan planNames(const std::string& path, ArchiveFormat format);

// Opens path for reading in the given format with an optional hdrcharset option.
ReadArchive openArchive(const std::string& path, ArchiveFormat format,
                        const std::string& hdrcharset, std::string& error);

// True when a member name may be written below a destination: relative, no "..", not empty.
bool isSafeMemberName(const std::string& name);

} // namespace vadok::archiver
