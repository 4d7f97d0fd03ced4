#include "archiver.h"
#include "archivereading.h"
#include "crc16.h"
#include "folderscan.h"
#include "readerlocale.h"
#include "sourcefile.h"

#include <archive_entry.h>
#include <fcntl.h>
#include <map>
#include <unistd.h>
#include <vector>

namespace vadok {

using namespace archiver;

namespace {

struct Seen {
    MemberKind kind;
    std::uint64_t size;
    std::uint16_t crc;
    std::string linkTarget;
};

} // namespace

int VerifyArchive(const std::string& archivePath, const std::string& folder) {
    Utf8ThreadLocale utf8;
    if (::access(archivePath.c_str(), R_OK) != 0)
        return ArchiverCannotOpen;
    const ArchiveListing listing = listArchive(archivePath, ArchiveFormat::Lzh);
    if (listing.code != ArchiverOk)
        return listing.code;
    std::string error;
    ReadArchive a = openArchive(archivePath, ArchiveFormat::Lzh, listing.hdrcharset, error);
    if (!a)
        return ArchiverCannotOpen;
    std::size_t index = 0;
    std::map<std::string, Seen> members;
    struct archive_entry* entry = nullptr;
    int r;
    while ((r = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
        if (index >= listing.members.size())
            return ArchiverBrokenArchive;
        const std::string name = listing.members[index].path;
        const std::string link = listing.members[index].linkTarget;
        ++index;
        Seen s{MemberKind::File, 0, 0, {}};
        if (archive_entry_filetype(entry) == AE_IFDIR)
            s.kind = MemberKind::Directory;
        else if (archive_entry_filetype(entry) == AE_IFLNK) {
            s.kind = MemberKind::Symlink;
            s.linkTarget = link;
        }
        const void* buf;
        size_t size;
        la_int64_t offset;
        int rr;
        while ((rr = archive_read_data_block(a.get(), &buf, &size, &offset)) == ARCHIVE_OK) {
            s.crc = crc16Update(s.crc, buf, size);
            s.size += size;
        }
        if (rr != ARCHIVE_EOF)
            return ArchiverBrokenArchive;
        members[name] = s;
    }
    if (r != ARCHIVE_EOF)
        return ArchiverBrokenArchive;

    const SourceFolder source(folder);
    const FolderScan scan = scanFolder(source, archivePath);
    if (!scan.ok)
        return scan.code;
    for (const auto& e : scan.entries) {
        const auto it = members.find(e.path);
        if (it == members.end() || it->second.kind != e.kind)
            return ArchiverIncomplete;
        if (e.kind == MemberKind::Symlink && it->second.linkTarget != e.linkTarget)
            return ArchiverIncomplete;
        if (e.kind == MemberKind::File) {
            std::uint16_t crc = 0;
            std::uint64_t size = 0;
            if (!source.readFile(e.path, [&](const std::uint8_t* p, std::size_t n) {
                    crc = crc16Update(crc, p, n);
                    size += n;
                }))
                return ArchiverReadError;
            if (size != it->second.size || crc != it->second.crc)
                return ArchiverIncomplete;
        }
    }
    return ArchiverOk;
}

} // namespace vadok
