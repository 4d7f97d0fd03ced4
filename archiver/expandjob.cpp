#include "expandjob.h"

#include "archiver.h"
#include "crc16.h"
#include "memberpaths.h"
#include "readerlocale.h"
#include "syncstamp.h"

#include <archive_entry.h>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace vadok::archiver {

namespace {

struct WriterDeleter {
    void operator()(struct archive* a) const { archive_write_free(a); }
};

std::string errorOf(struct archive* a, const char* fallback) {
    const char* e = archive_error_string(a);
    return e ? e : fallback;
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Free bytes for an unprivileged writer on the file system that will hold path (or its
// nearest existing folder); nullopt when that cannot be told.
std::optional<std::uint64_t> freeSpaceFor(std::filesystem::path path) {
    struct statvfs fs {};
    while (::statvfs(path.c_str(), &fs) != 0) {
        if (!path.has_relative_path())
            return std::nullopt;
        path = path.parent_path();
    }
    return static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
}

// The destination with the links above it resolved, or "" when it does not exist yet.
std::string resolvedFolder(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

} // namespace

ExpandResult expandArchive(const std::string& archivePath, const std::string& dest,
                           ArchiveFormat format, const ExpandOptions& options) {
    Utf8ThreadLocale utf8;
    ExpandResult result;
    auto failWith = [&](int code, std::string error) {
        result.code = code;
        result.error = std::move(error);
        return result;
    };
    struct stat st {};
    if (::stat(archivePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return failWith(ArchiverCannotOpen, "cannot open " + archivePath);

    // Pass 1: every member, checked as a whole against what already stands below dest.
    const ArchiveListing listing = listArchive(archivePath, format);
    if (listing.code != ArchiverOk)
        return failWith(listing.code, listing.error);
    const std::vector<ListedMember>& members = listing.members;
    std::string root = withoutTrailingSlashes(dest);
    {
        std::vector<PathMember> paths;
        paths.reserve(members.size());
        for (const auto& m : members)
            paths.push_back({m.path, m.kind, m.linkTarget});
        const std::string existing = resolvedFolder(root);
        const auto problems =
            findUnsafeMembers(paths, existing.empty() ? LinkLookup() : linksOnDisk(existing), true);
        if (!problems.empty())
            return failWith(ArchiverUnsafeEntry, problems.front().why);
    }
    std::uint64_t total = 0;
    for (const auto& m : members)
        total += m.size;
    // An archive of a few bytes may claim terabytes: refuse what cannot fit before writing.
    if (const auto free = freeSpaceFor(root); free && total > *free)
        return failWith(ArchiverWriteError, archivePath + " needs " + std::to_string(total) +
                                                " bytes, " + std::to_string(*free) +
                                                " are free below " + dest);

    std::error_code ec;
    std::filesystem::create_directories(root, ec);
    // Links above the destination are the user's business; resolving them here keeps the
    // symbolic-link guard below from refusing the destination itself.
    root = ec ? std::string() : resolvedFolder(root);
    if (root.empty())
        return failWith(ArchiverCannotCreate, "cannot create " + dest);
    if (root.back() != '/')
        root += '/';

    // Pass 2: write, member by member as pass 1 listed them.
    std::string error;
    ReadArchive a = openArchive(archivePath, format, listing.hdrcharset, error);
    if (!a)
        return failWith(ArchiverBrokenArchive, archivePath + ": " + error);
    std::unique_ptr<struct archive, WriterDeleter> disk(archive_write_disk_new());
    archive_write_disk_set_options(disk.get(),
                                   ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                       ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_UNLINK);
    archive_write_disk_set_standard_lookup(disk.get());
    std::uint64_t done = 0;
    struct archive_entry* entry = nullptr;
    int r;
    std::size_t index = 0;
    while ((r = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
        if (index >= members.size() || kindOf(entry) != members[index].kind ||
            archive_entry_hardlink(entry))
            return failWith(ArchiverBrokenArchive,
                            archivePath + ": members differ between readers");
        const ListedMember& m = members[index++];
        const std::string name = normalMemberPath(m.path);
        // A folder member naming the destination itself: the destination is there already.
        if (name.empty())
            continue;
        archive_entry_set_pathname(entry, (root + name).c_str());
        if (m.kind == MemberKind::Symlink)
            archive_entry_set_symlink(entry, m.linkTarget.c_str());
        // Told a size, libarchive pads a file that comes out short up to it (a 4 GiB sparse
        // file from an archive of 44 bytes); each file's size is checked here instead.
        archive_entry_unset_size(entry);
        if (archive_write_header(disk.get(), entry) < ARCHIVE_WARN)
            return failWith(ArchiverWriteError, name + ": " + errorOf(disk.get(), "cannot write"));
        const void* buf;
        size_t size;
        la_int64_t offset;
        int rr;
        std::uint16_t crc = 0;
        std::uint64_t written = 0;
        while ((rr = archive_read_data_block(a.get(), &buf, &size, &offset)) == ARCHIVE_OK) {
            crc = crc16Update(crc, buf, size);
            // Damaged data can decode to more bytes than the header promised.
            written = static_cast<std::uint64_t>(offset) + size;
            if (offset < 0 || written > m.size)
                return failWith(ArchiverBrokenArchive,
                                name + ": member data longer than its header says");
            if (archive_write_data_block(disk.get(), buf, size, offset) < ARCHIVE_OK)
                return failWith(ArchiverWriteError,
                                name + ": " + errorOf(disk.get(), "cannot write"));
            done += size;
        }
        // A CRC mismatch comes back as a warning; it is still a damaged member.
        if (rr != ARCHIVE_EOF)
            return failWith(ArchiverBrokenArchive,
                            name + ": " + errorOf(a.get(), "damaged member"));
        if (m.kind == MemberKind::File && written != m.size)
            return failWith(ArchiverBrokenArchive,
                            name + ": member data shorter than its header says");
        // libarchive checks the CRC of level-2 members only; level 0 and 1 get it here.
        if (m.kind == MemberKind::File && m.crc && crc != *m.crc)
            return failWith(ArchiverBrokenArchive, name + ": CRC mismatch");
        if (archive_write_finish_entry(disk.get()) < ARCHIVE_WARN)
            return failWith(ArchiverWriteError, name + ": " + errorOf(disk.get(), "cannot finish"));
        ++result.entries;
        if (options.progress)
            options.progress(name, done, total);
    }
    if (r != ARCHIVE_EOF || index != members.size())
        return failWith(ArchiverBrokenArchive,
                        archivePath + ": " + errorOf(a.get(), "damaged archive"));
    // Folder times and modes are set here, after their contents.
    if (archive_write_close(disk.get()) != ARCHIVE_OK)
        return failWith(ArchiverWriteError, errorOf(disk.get(), "cannot finish the destination"));
    // Every file written has its status-change time before this moment.
    writeSyncStamp(root, st, syncMomentNow());
    return result;
}

} // namespace vadok::archiver
