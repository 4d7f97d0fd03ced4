#include "expandjob.h"

#include "archiver.h"
#include "crc16.h"
#include "folderscan.h"
#include "readerlocale.h"

#include <archive_entry.h>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

namespace vadok::archiver {

namespace {

struct WriterDeleter {
    void operator()(struct archive* a) const { archive_write_free(a); }
};

std::string errorOf(struct archive* a, const char* fallback) {
    const char* e = archive_error_string(a);
    return e ? e : fallback;
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

    const NamePlan plan = planNames(archivePath, format);
    // The member's name and link target as this archive means them.
    auto nameOf = [&](struct archive_entry* entry, std::size_t index, std::string& path,
                      std::string& link) {
        if (plan.overrideNames) {
            if (index >= plan.names.size())
                return false;
            path = plan.names[index].first;
            link = plan.names[index].second;
        } else {
            const char* name = archive_entry_pathname(entry);
            const char* target = archive_entry_symlink(entry);
            path = name ? name : "";
            link = target ? target : "";
        }
        while (!path.empty() && path.back() == '/')
            path.pop_back();
        return true;
    };

    // Pass 1: every name and link must stay below the destination; sizes for progress.
    std::uint64_t total = 0;
    auto checkName = [&](const std::string& path, const std::string& link, bool isLink,
                         std::string& why) {
        if (!isSafeMemberName(path))
            why = "unsafe member name: " + path;
        else if (isLink && !linkStaysInside(path, link))
            why = "symbolic link pointing outside: " + path;
        return why.empty();
    };
    if (plan.overrideNames) {
        // Our header reader has seen every member already.
        for (std::size_t i = 0; i < plan.names.size(); ++i) {
            std::string why;
            std::string path = plan.names[i].first;
            while (!path.empty() && path.back() == '/')
                path.pop_back();
            if (!checkName(path, plan.names[i].second, plan.links[i], why))
                return failWith(ArchiverUnsafeEntry, why);
            total += plan.sizes[i];
        }
    } else {
        std::string error;
        ReadArchive a = openArchive(archivePath, format, plan.hdrcharset, error);
        if (!a)
            return failWith(ArchiverBrokenArchive, archivePath + ": " + error);
        struct archive_entry* entry = nullptr;
        int r;
        std::size_t index = 0;
        while ((r = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
            std::string path, link;
            if (!nameOf(entry, index++, path, link))
                return failWith(ArchiverBrokenArchive,
                                archivePath + ": members differ between readers");
            std::string why;
            if (!checkName(path, link, archive_entry_filetype(entry) == AE_IFLNK, why))
                return failWith(ArchiverUnsafeEntry, why);
            if (const char* hard = archive_entry_hardlink(entry); hard && !isSafeMemberName(hard))
                return failWith(ArchiverUnsafeEntry, "unsafe hard link: " + path);
            total += static_cast<std::uint64_t>(std::max<la_int64_t>(0, archive_entry_size(entry)));
            if (archive_read_data_skip(a.get()) < ARCHIVE_WARN)
                return failWith(ArchiverBrokenArchive,
                                archivePath + ": " + errorOf(a.get(), "damaged member"));
        }
        if (r != ARCHIVE_EOF)
            return failWith(ArchiverBrokenArchive,
                            archivePath + ": " + errorOf(a.get(), "damaged archive"));
    }

    std::error_code ec;
    std::string root = dest;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    std::filesystem::create_directories(root, ec);
    // Links above the destination are the user's business; resolving them here keeps the
    // symbolic-link guard below from refusing the destination itself.
    char resolved[PATH_MAX];
    if (ec || !::realpath(root.c_str(), resolved))
        return failWith(ArchiverCannotCreate, "cannot create " + dest);
    root = resolved;
    if (root.back() != '/')
        root += '/';

    // Pass 2: write.
    std::string error;
    ReadArchive a = openArchive(archivePath, format, plan.hdrcharset, error);
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
        std::string name, link;
        if (!nameOf(entry, index++, name, link))
            return failWith(ArchiverBrokenArchive,
                            archivePath + ": members differ between readers");
        archive_entry_set_pathname(entry, (root + name).c_str());
        if (archive_entry_filetype(entry) == AE_IFLNK)
            archive_entry_set_symlink(entry, link.c_str());
        if (const char* hard = archive_entry_hardlink(entry))
            archive_entry_set_hardlink(entry, (root + hard).c_str());
        if (archive_write_header(disk.get(), entry) < ARCHIVE_WARN)
            return failWith(ArchiverWriteError, name + ": " + errorOf(disk.get(), "cannot write"));
        const void* buf;
        size_t size;
        la_int64_t offset;
        int rr;
        const la_int64_t declared =
            archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
        std::uint16_t crc = 0;
        while ((rr = archive_read_data_block(a.get(), &buf, &size, &offset)) == ARCHIVE_OK) {
            crc = crc16Update(crc, buf, size);
            // Damaged data can decode to more bytes than the header promised.
            if (declared >= 0 && offset + static_cast<la_int64_t>(size) > declared)
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
        // libarchive checks the CRC of level-2 members only; level 0 and 1 get it here.
        if (plan.overrideNames && archive_entry_filetype(entry) == AE_IFREG &&
            crc != plan.crcs[index - 1])
            return failWith(ArchiverBrokenArchive, name + ": CRC mismatch");
        if (archive_write_finish_entry(disk.get()) < ARCHIVE_WARN)
            return failWith(ArchiverWriteError, name + ": " + errorOf(disk.get(), "cannot finish"));
        ++result.entries;
        if (options.progress)
            options.progress(name, done, total);
    }
    if (r != ARCHIVE_EOF)
        return failWith(ArchiverBrokenArchive,
                        archivePath + ": " + errorOf(a.get(), "damaged archive"));
    // Folder times and modes are set here, after their contents.
    if (archive_write_close(disk.get()) != ARCHIVE_OK)
        return failWith(ArchiverWriteError, errorOf(disk.get(), "cannot finish the destination"));
    return result;
}

} // namespace vadok::archiver
