#include "archivereading.h"

#include "archiver.h"
#include "lzhheaderreader.h"
#include "names.h"

#include <archive_entry.h>

namespace vadok::archiver {

namespace {

std::string errorOf(struct archive* a, const char* fallback) {
    const char* e = archive_error_string(a);
    return e ? e : fallback;
}

ArchiveListing failed(int code, std::string error) {
    ArchiveListing listing;
    listing.code = code;
    listing.error = std::move(error);
    return listing;
}

ArchiveListing listWithLibarchive(const std::string& path, ArchiveFormat format,
                                  const std::string& hdrcharset) {
    ArchiveListing listing;
    listing.hdrcharset = hdrcharset;
    std::string error;
    ReadArchive a = openArchive(path, format, hdrcharset, error);
    if (!a)
        return failed(ArchiverBrokenArchive, path + ": " + error);
    struct archive_entry* entry = nullptr;
    int r;
    while ((r = archive_read_next_header(a.get(), &entry)) == ARCHIVE_OK || r == ARCHIVE_WARN) {
        const char* name = archive_entry_pathname(entry);
        ListedMember m;
        m.path = name ? name : "";
        while (!m.path.empty() && m.path.back() == '/')
            m.path.pop_back();
        const auto kind = kindOf(entry);
        if (!kind || archive_entry_hardlink(entry))
            return failed(ArchiverUnsafeEntry, "neither a file, a folder nor a link: " + m.path);
        m.kind = *kind;
        if (const char* target = archive_entry_symlink(entry))
            m.linkTarget = target;
        if (m.kind == MemberKind::File) {
            if (!archive_entry_size_is_set(entry) || archive_entry_size(entry) < 0)
                return failed(ArchiverBrokenArchive, m.path + ": member without a size");
            m.size = static_cast<std::uint64_t>(archive_entry_size(entry));
        }
        listing.members.push_back(std::move(m));
        if (archive_read_data_skip(a.get()) < ARCHIVE_WARN)
            return failed(ArchiverBrokenArchive, path + ": " + errorOf(a.get(), "damaged member"));
    }
    if (r != ARCHIVE_EOF)
        return failed(ArchiverBrokenArchive, path + ": " + errorOf(a.get(), "damaged archive"));
    return listing;
}

} // namespace

ReadArchive openArchive(const std::string& path, ArchiveFormat format,
                        const std::string& hdrcharset, std::string& error) {
    ReadArchive a(archive_read_new());
    // A ZIP archive is what its central directory lists: the streaming reader would take
    // the members before a cut directory for a whole archive.
    if (format == ArchiveFormat::Lzh)
        archive_read_support_format_lha(a.get());
    else
        archive_read_support_format_zip_seekable(a.get());
    if (!hdrcharset.empty() &&
        archive_read_set_options(a.get(), ("hdrcharset=" + hdrcharset).c_str()) < ARCHIVE_WARN) {
        error = "libarchive cannot read names as " + hdrcharset;
        return nullptr;
    }
    if (archive_read_open_filename(a.get(), path.c_str(), 256 * 1024) != ARCHIVE_OK) {
        error = errorOf(a.get(), "cannot open archive");
        return nullptr;
    }
    return a;
}

std::optional<MemberKind> kindOf(struct archive_entry* entry) {
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
        return MemberKind::File;
    case AE_IFDIR:
        return MemberKind::Directory;
    case AE_IFLNK:
        return MemberKind::Symlink;
    default:
        return std::nullopt;
    }
}

ArchiveListing listArchive(const std::string& path, ArchiveFormat format) {
    if (format == ArchiveFormat::Lzh) {
        const ArchiveIndex index = readArchiveIndex(path);
        // Archives our reader cannot follow (self-extracting, level 3) keep libarchive's names;
        // libarchive cannot tell a cut one from a whole one, our reader can.
        if (index.foreign)
            return listWithLibarchive(path, format, "");
        if (!index.ok)
            return failed(ArchiverBrokenArchive, path + ": " + index.error);
        ArchiveListing listing;
        listing.hdrcharset = "ISO-8859-1";
        for (const auto& m : index.members)
            listing.members.push_back({m.path, m.kind, m.linkTarget,
                                       m.kind == MemberKind::File ? m.originalSize : 0, m.crc});
        return listing;
    }
    ArchiveListing listing = listWithLibarchive(path, format, "");
    if (listing.code != 0)
        return listing;
    for (const auto& m : listing.members)
        if (!isValidUtf8(m.path) || !isValidUtf8(m.linkTarget))
            return listWithLibarchive(path, format, "CP932");
    return listing;
}

} // namespace vadok::archiver
