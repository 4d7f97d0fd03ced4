// Small members read into memory, for whoever wants an archive's texts without expanding it.
#include "archiver.h"
#include "files/archivelock.h"
#include "reading/archivereading.h"
#include "reading/memberdecoding.h"
#include "reading/readerlocale.h"

#include <archive_entry.h>

namespace vadok {

using namespace archiver;

namespace {

class Collect : public MemberHandler {
public:
    explicit Collect(std::string& into) : m_into(into) {}
    bool begin(const ListedMember& member, struct archive_entry*, std::string&) override {
        m_into.clear();
        m_into.reserve(static_cast<std::size_t>(member.size));
        return true;
    }
    bool data(const void* p, std::size_t size, std::uint64_t offset, std::string&) override {
        // Decoders hand data in order; a gap (a sparse member) reads as zeros.
        if (offset > m_into.size())
            m_into.resize(static_cast<std::size_t>(offset), '\0');
        m_into.append(static_cast<const char*>(p), size);
        return true;
    }
    bool end(std::string&) override { return true; }

private:
    std::string& m_into;
};

bool isWanted(const ListedMember& m, std::uint64_t maxSize, const ArchiveMemberFilter& wanted) {
    return m.kind == MemberKind::File && m.size <= maxSize && wanted(std::string(m.path));
}

// Located LZH members are decoded one by one from their own bytes: the members between them
// are never read.
int readLocated(const std::string& path, const ArchiveListing& listing, std::uint64_t maxSize,
                const ArchiveMemberFilter& wanted, const ArchiveMemberSink& take,
                std::string& error) {
    std::string bytes;
    for (std::size_t i = 0; i < listing.members.size(); ++i) {
        const ListedMember& m = listing.members[i];
        if (!isWanted(m, maxSize, wanted))
            continue;
        DecodeJob job;
        job.archivePath = path;
        job.format = ArchiveFormat::Lzh;
        job.listing = &listing;
        job.threads = 1;
        job.ranges = {{i, i + 1, m.headerOffset, m.dataEnd}};
        job.makeHandler = [&bytes] { return std::make_unique<Collect>(bytes); };
        const MemberFault fault = decodeMembers(job);
        if (fault.code != ArchiverOk) {
            error = fault.error;
            return fault.code;
        }
        if (!take(std::string(m.path), std::move(bytes)))
            return ArchiverCancelled;
        bytes = std::string();
    }
    return ArchiverOk;
}

// ZIP archives and what only libarchive lists: one reader over the whole archive, skipping
// the data of the members nobody wants.
int readStreamed(const std::string& path, ArchiveFormat format, const ArchiveListing& listing,
                 std::uint64_t maxSize, const ArchiveMemberFilter& wanted,
                 const ArchiveMemberSink& take, std::string& error) {
    ReadArchive a = openArchive(path, format, listing.hdrcharset, error);
    if (!a)
        return ArchiverBrokenArchive;
    struct archive_entry* entry = nullptr;
    for (const ListedMember& m : listing.members) {
        const int rh = archive_read_next_header(a.get(), &entry);
        if (rh != ARCHIVE_OK && rh != ARCHIVE_WARN) {
            const char* e = archive_error_string(a.get());
            error = path + ": " + (e ? e : "damaged member header");
            return ArchiverBrokenArchive;
        }
        if (!isWanted(m, maxSize, wanted)) {
            if (archive_read_data_skip(a.get()) < ARCHIVE_WARN) {
                error = path + ": damaged member";
                return ArchiverBrokenArchive;
            }
            continue;
        }
        std::string bytes;
        bytes.reserve(static_cast<std::size_t>(m.size));
        const void* buf;
        size_t size;
        la_int64_t offset;
        int rd;
        while ((rd = archive_read_data_block(a.get(), &buf, &size, &offset)) == ARCHIVE_OK) {
            if (offset < 0 || static_cast<std::uint64_t>(offset) + size > m.size) {
                error = m.path + ": member data longer than its header says";
                return ArchiverBrokenArchive;
            }
            if (static_cast<std::size_t>(offset) > bytes.size())
                bytes.resize(static_cast<std::size_t>(offset), '\0');
            bytes.append(static_cast<const char*>(buf), size);
        }
        // A CRC mismatch comes back as a warning; it is still a damaged member.
        if (rd != ARCHIVE_EOF || bytes.size() != m.size) {
            const char* e = archive_error_string(a.get());
            error = m.path + ": " + (e ? e : "damaged member");
            return ArchiverBrokenArchive;
        }
        if (!take(std::string(m.path), std::move(bytes)))
            return ArchiverCancelled;
    }
    return ArchiverOk;
}

} // namespace

int ReadArchiveMembers(const std::string& archivePath, bool zip, std::uint64_t maxSize,
                       const ArchiveMemberFilter& wanted, const ArchiveMemberSink& take,
                       std::string* error) {
    std::string why;
    const ArchiveFormat format = zip ? ArchiveFormat::Zip : ArchiveFormat::Lzh;
    ArchiveLock lock;
    int code = ArchiverOk;
    if (!zip)
        code = lock.take(archivePath, ArchiveLock::Kind::Shared, {});
    if (code == ArchiverOk) {
        Utf8ThreadLocale utf8;
        const ArchiveListing listing = listArchive(archivePath, format);
        code = listing.code;
        why = listing.error;
        if (code == ArchiverOk && !listing.members.empty())
            code = listing.located
                       ? readLocated(archivePath, listing, maxSize, wanted, take, why)
                       : readStreamed(archivePath, format, listing, maxSize, wanted, take, why);
    } else {
        why = "another store kept the archive";
    }
    if (error)
        *error = why;
    return code;
}

} // namespace vadok
