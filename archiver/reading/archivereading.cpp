#include "archivereading.h"

#include "base/codes.h"
#include "base/sizesums.h"
#include "lzh/lzhdecoder.h"
#include "lzh/lzhheaderreader.h"
#include "lzh/lzhmethod.h"
#include "names/memberpaths.h"
#include "names/names.h"
#include "zip/zipdirectory.h"

#include <algorithm>
#include <archive_entry.h>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok::archiver {

namespace {

constexpr std::size_t kReadBlock = 256 * 1024;
constexpr std::size_t kNameBlock = 1024 * 1024;

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
        std::string_view memberPath = name ? name : "";
        while (!memberPath.empty() && memberPath.back() == '/')
            memberPath.remove_suffix(1);
        memberPath = withoutLeadingSlashes(memberPath);
        const auto kind = kindOf(entry);
        if (!kind || archive_entry_hardlink(entry))
            return failed(ArchiverUnsafeEntry,
                          "neither a file, a folder nor a link: " + std::string(memberPath));
        ListedMember m;
        if (const char* target = archive_entry_symlink(entry))
            m.setNames(listing.names, memberPath, target);
        else
            m.setName(listing.names, memberPath);
        m.kind = *kind;
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

// What the central directory lists, with the kinds, sizes and link targets libarchive
// reads behind it; libarchive's names are not used (see zipdirectory.h).
ArchiveListing listZip(const std::string& path) {
    const ZipDirectory directory = readZipDirectory(path);
    if (!directory.ok)
        return failed(ArchiverBrokenArchive, path + ": " + directory.error);
    const auto& entries = directory.entries;
    for (const ZipEntry& e : entries)
        if (e.encrypted())
            return failed(ArchiverEncrypted, path + ": encrypted member " + e.rawName);
    for (const ZipEntry& e : entries) {
        const std::uint32_t type = e.unixFileType();
        if (type != 0 && type != S_IFREG && type != S_IFDIR && type != S_IFLNK)
            return failed(ArchiverUnsafeEntry, "neither a file, a folder nor a link: " + e.rawName);
    }
    // libarchive cannot open an archive of no entries; there is nothing to read in it.
    if (entries.empty())
        return {};
    ArchiveListing listing = listWithLibarchive(path, ArchiveFormat::Zip, "");
    if (listing.code != ArchiverOk)
        return listing;
    if (listing.members.size() != entries.size())
        return failed(ArchiverBrokenArchive, path + ": members differ between readers");
    const bool preferCp932 = std::any_of(entries.begin(), entries.end(), [](const ZipEntry& e) {
        return !e.utf8Name() && isCp932OnlyName(e.rawName);
    });
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ZipEntry& e = entries[i];
        ListedMember& m = listing.members[i];
        std::string name = e.unicodeName ? *e.unicodeName
                                         : decodeZipName(e.rawName, e.utf8Name(), preferCp932);
        while (!name.empty() && name.back() == '/')
            name.pop_back();
        if (m.kind != MemberKind::Symlink) {
            m.setName(listing.names, withoutLeadingSlashes(name));
            continue;
        }
        // libarchive ends a target at a NUL byte; the bytes after it would be lost.
        const MemberName target = m.linkTarget();
        if (target.size() != e.originalSize)
            return failed(ArchiverUnsafeEntry, "symbolic link target holding a NUL byte: " +
                                                   std::string(withoutLeadingSlashes(name)));
        m.setNames(listing.names, withoutLeadingSlashes(name),
                   decodeZipName(target, e.utf8Name(), preferCp932));
    }
    return listing;
}

} // namespace

// A million members are listed at once; every byte here is a megabyte there.
static_assert(sizeof(ListedMember) <= 32, "a listed member grew");

namespace {

// Stores name's length, its bytes and a NUL at at; returns where the bytes start.
char* putName(char* at, std::string_view name) {
    const auto n = static_cast<std::uint32_t>(name.size());
    std::memcpy(at, &n, sizeof n);
    std::memcpy(at + sizeof n, name.data(), name.size());
    at[sizeof n + name.size()] = '\0';
    return at + sizeof n;
}

} // namespace

MemberName NameStore::add(std::string_view name) {
    const std::size_t need = sizeof(std::uint32_t) + name.size() + 1;
    char* at = room(need);
    return MemberName(putName(at, name));
}

MemberName NameStore::add(std::string_view name, std::string_view target) {
    const std::size_t first = sizeof(std::uint32_t) + name.size() + 1;
    char* at = room(first + sizeof(std::uint32_t) + target.size() + 1);
    putName(at + first, target);
    return MemberName(putName(at, name));
}

char* NameStore::room(std::size_t need) {
    if (m_used + need > m_capacity) {
        m_capacity = std::max(kNameBlock, need);
        // Every byte read back was written by add: clearing the block first cost an expansion
        // a page fault for each of its pages before any file was written.
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(m_capacity));
        m_used = 0;
    }
    char* at = m_blocks.back().get() + m_used;
    m_used += need;
    return at;
}

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
    if (archive_read_open_filename(a.get(), path.c_str(), kReadBlock) != ARCHIVE_OK) {
        error = errorOf(a.get(), "cannot open archive");
        return nullptr;
    }
    return a;
}

namespace {

// The bytes of the spans, then the end mark.
struct SpanFeed {
    int fd;
    std::vector<ByteSpan> spans;
    std::size_t span = 0;
    std::uint64_t at = 0;
    bool endMarkSent = false;
    std::vector<std::uint8_t> buffer;
};

la_ssize_t readSpans(struct archive* a, void* clientData, const void** out) {
    auto* feed = static_cast<SpanFeed*>(clientData);
    while (feed->span < feed->spans.size()) {
        const ByteSpan& s = feed->spans[feed->span];
        feed->at = std::max(feed->at, s.begin);
        if (feed->at >= s.end) {
            ++feed->span;
            continue;
        }
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(feed->buffer.size(), s.end - feed->at));
        const ssize_t n = ::pread(feed->fd, feed->buffer.data(), want, static_cast<off_t>(feed->at));
        if (n <= 0) {
            archive_set_error(a, n < 0 ? errno : EIO, "cannot read the archive");
            return -1;
        }
        feed->at += static_cast<std::uint64_t>(n);
        *out = feed->buffer.data();
        return n;
    }
    if (feed->endMarkSent)
        return 0;
    static const std::uint8_t endMark[1] = {0};
    feed->endMarkSent = true;
    *out = endMark;
    return 1;
}

int closeSpans(struct archive*, void* clientData) {
    delete static_cast<SpanFeed*>(clientData);
    return ARCHIVE_OK;
}

} // namespace

ReadArchive openArchiveSpans(int fd, std::vector<ByteSpan> spans, const std::string& hdrcharset,
                             std::string& error) {
    ReadArchive a(archive_read_new());
    archive_read_support_format_lha(a.get());
    if (!hdrcharset.empty() &&
        archive_read_set_options(a.get(), ("hdrcharset=" + hdrcharset).c_str()) < ARCHIVE_WARN) {
        error = "libarchive cannot read names as " + hdrcharset;
        return nullptr;
    }
    auto* feed = new SpanFeed{fd, std::move(spans), 0, 0, false, std::vector<std::uint8_t>(kReadBlock)};
    // libarchive calls closeSpans, which frees the feed, whether or not the open succeeds.
    if (archive_read_open(a.get(), feed, nullptr, readSpans, closeSpans) != ARCHIVE_OK) {
        error = errorOf(a.get(), "cannot open archive");
        return nullptr;
    }
    return a;
}

void prepareLhaReading() {
    static std::once_flag once;
    std::call_once(once, [] {
        static const unsigned char endOfArchive[1] = {0};
        struct archive* a = archive_read_new();
        archive_read_set_format(a, ARCHIVE_FORMAT_LHA);
        if (archive_read_open_memory(a, endOfArchive, sizeof endOfArchive) == ARCHIVE_OK) {
            struct archive_entry* entry = nullptr;
            archive_read_next_header(a, &entry);
        }
        archive_read_free(a);
    });
}

bool parseListedHeader(const std::uint8_t* p, std::size_t size, const ListedMember& m,
                       LzhMember& header, std::size_t& headerLength) {
    const HeaderResult h = parseLzhHeader(p, size, header, false);
    headerLength = h.headerLength;
    // A header changed since the listing could make the sum wrap round onto dataEnd.
    return h.status == HeaderStatus::Ok &&
           checkedSum(m.headerOffset + h.headerLength, header.compressedSize) == m.dataEnd;
}

bool rereadHeader(int fd, const ListedMember& m, LzhMember& header, std::string& error) {
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::min<std::uint64_t>(kHeaderWindow, m.dataEnd - m.headerOffset)));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got,
                                  static_cast<off_t>(m.headerOffset + got));
        if (n <= 0) {
            error = "cannot read the archive";
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    std::size_t length = 0;
    if (parseListedHeader(bytes.data(), got, m, header, length))
        return true;
    error = "member header changed since it was listed";
    return false;
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
        // Straight into the listing: an archive of a hundred thousand members must not hold
        // their raw headers too, which only a store needs.
        ArchiveIndex index;
        ArchiveListing listing;
        bool tooLarge = false;
        // Room for as many members as the file could hold (a header takes 22 bytes at the
        // least, up to a few million): a list that grows by doubling holds its old and new
        // arrays at once, and pages reserved but never filled take no memory.
        if (struct stat st {}; ::stat(path.c_str(), &st) == 0 && st.st_size > 0)
            listing.members.reserve(static_cast<std::size_t>(
                std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size) / 22, 1u << 22)));
        walkArchiveHeaders(path, true, index, [&](LzhMember& m, const std::uint8_t*, std::size_t) {
            ListedMember listed;
            if (m.linkTarget.empty())
                listed.setName(listing.names, m.path);
            else
                listed.setNames(listing.names, m.path, m.linkTarget);
            listed.size = m.kind == MemberKind::File ? m.originalSize : 0;
            // The walk stops at the end of the file, so only a file too large for any file
            // system could lie beyond the limit.
            if (m.dataOffset + m.compressedSize >= ListedMember::kOffsetLimit) {
                tooLarge = true;
                return;
            }
            listed.headerOffset = m.headerOffset;
            listed.dataEnd = m.dataOffset + m.compressedSize;
            listed.setCrc(m.crc);
            listed.kind = m.kind;
            listed.knownMethod = m.kind != MemberKind::File || ownDecodableMethod(m.methodName());
            listing.members.push_back(listed);
        });
        // Archives our reader cannot follow (self-extracting) keep libarchive's names;
        // libarchive cannot tell a cut one from a whole one, our reader can.
        if (index.foreign)
            return listWithLibarchive(path, format, "");
        if (tooLarge)
            return failed(ArchiverUnsupported, path + ": an archive of 256 TiB or more");
        if (!index.ok) {
            listing = failed(index.damage == ArchiveDamage::Unreadable ? ArchiverCannotOpen
                                                                       : ArchiverBrokenArchive,
                             path + ": " + index.error);
            listing.damage = index.damage;
            listing.damageAt = index.damageAt;
            listing.damagedMember = index.damagedMember;
            return listing;
        }
        listing.hdrcharset = "ISO-8859-1";
        listing.located = true;
        return listing;
    }
    return listZip(path);
}

} // namespace vadok::archiver
