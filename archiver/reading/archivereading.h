#pragma once

#include "base/codes.h"
#include "lzh/lzhmember.h"

#include <archive.h>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vadok::archiver {

enum class ArchiveFormat { Lzh, Zip };

struct ArchiveDeleter {
    void operator()(struct archive* a) const { archive_read_free(a); }
};
using ReadArchive = std::unique_ptr<struct archive, ArchiveDeleter>;

// A name in a listing's own store: one pointer, so that a listing of a million members
// stays small; reads like a string. Valid as long as its listing.
class MemberName {
public:
    MemberName() = default;
    explicit MemberName(const char* stored) : m_stored(stored) {}
    // Asked for every member many times over (sorting, checking, writing): inline.
    std::size_t size() const {
        if (!m_stored)
            return 0;
        std::uint32_t n = 0;
        std::memcpy(&n, m_stored - sizeof n, sizeof n);
        return n;
    }
    bool empty() const { return size() == 0; }
    const char* c_str() const { return m_stored ? m_stored : ""; }
    std::string_view view() const { return {c_str(), size()}; }
    operator std::string_view() const { return view(); }
    operator std::string() const { return std::string(view()); }
    friend std::string operator+(const MemberName& a, const char* b) { return std::string(a) + b; }
    friend std::string operator+(const MemberName& a, const std::string& b) {
        return std::string(a) + b;
    }
    friend std::string operator+(const std::string& a, const MemberName& b) {
        return a + std::string(b);
    }

private:
    const char* m_stored = nullptr; // after its length (4 bytes), before a NUL byte
};

// Where a listing keeps its names: large blocks, never moved, freed with the listing.
class NameStore {
public:
    MemberName add(std::string_view name);
    // A link's name with its target stored right after it, where ListedMember finds it.
    MemberName add(std::string_view name, std::string_view target);

private:
    char* room(std::size_t need);

    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_used = 0;
    std::size_t m_capacity = 0;
};

// One member as an expansion plans it, before anything is written. A listing holds a
// million of them at once, so every field is packed into 32 bytes.
struct ListedMember {
    // Offsets in the archive fit in 48 bits: no file system holds a file of 256 TiB.
    static constexpr std::uint64_t kOffsetLimit = std::uint64_t{1} << 48;

    MemberName path; // as the archive names it, without a trailing "/"
    std::uint64_t size = 0; // what a file's data must come to
    // Where our own header reader found the member: its header starts at headerOffset and
    // its data ends before dataEnd (both 0 when libarchive listed it).
    std::uint64_t headerOffset : 48 = 0;
    std::uint64_t crcValue : 16 = 0;
    std::uint64_t dataEnd : 48 = 0;
    MemberKind kind : 8 = MemberKind::File;
    bool hasCrc : 1 = false;
    bool hasTarget : 1 = false; // path was stored with a link target after it
    bool knownMethod : 1 = true; // packed in a way our decoders decode

    // A link's target as the archive gives it; empty for other members.
    MemberName linkTarget() const {
        return hasTarget ? MemberName(path.c_str() + path.size() + 1 + sizeof(std::uint32_t))
                         : MemberName();
    }
    void setName(NameStore& names, std::string_view name) {
        hasTarget = false;
        path = names.add(name);
    }
    void setNames(NameStore& names, std::string_view name, std::string_view target) {
        hasTarget = true;
        path = names.add(name, target);
    }
    // The data CRC our own header reader found.
    std::optional<std::uint16_t> crc() const {
        return hasCrc ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(crcValue))
                      : std::nullopt;
    }
    void setCrc(std::optional<std::uint16_t> value) {
        hasCrc = value.has_value();
        crcValue = value.value_or(0);
    }
};

// Every member of an archive, in order, with the names it means. libarchive converts member
// names into the locale and gives up on bytes that are not valid there, so for LZH the
// names come from our own header reader (which keeps raw Unix names byte for byte and reads
// CP932 where the archive says so or where an old Windows archive leaves it unsaid), and
// libarchive is then opened with a charset that never fails and only supplies data and
// metadata. ZIP names come from our own reading of the central directory (zipdirectory.h),
// each decoded as decodeZipName says; libarchive supplies the rest. Members that are neither files, folders nor symbolic links
// (devices, FIFOs, hard links) make the listing fail: an expansion creates nothing else.
struct ArchiveListing {
    int code = 0; // an ArchiverCode
    std::string error;
    std::string hdrcharset; // for openArchive; empty: libarchive's default
    bool located = false;   // every member's bytes are known (our reader listed them)
    std::vector<ListedMember> members;
    NameStore names; // what the members' names point into
    // For a damaged LZH archive: what is wrong, at which header, in which member if known.
    ArchiveDamage damage = ArchiveDamage::None;
    std::uint64_t damageAt = 0;
    std::string damagedMember;
};
ArchiveListing listArchive(const std::string& path, ArchiveFormat format);

// Opens path for reading in the given format with an optional hdrcharset option.
ReadArchive openArchive(const std::string& path, ArchiveFormat format,
                        const std::string& hdrcharset, std::string& error);

// Bytes [begin, end) of a file.
struct ByteSpan {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

// Opens the members whose bytes lie in the spans of the LZH archive open as fd, each span
// whole members from the start of a header, as an archive of their own: the spans one after
// another, then an end mark. Members are independent of each other, so several threads
// can each read a part, and a part may leave members out.
ReadArchive openArchiveSpans(int fd, std::vector<ByteSpan> spans, const std::string& hdrcharset,
                             std::string& error);

// libarchive fills its LHA CRC table on the first header read of the process, without a
// guard: two threads reading their first members at once could check headers against a
// half-filled table and refuse good data ("LHa header CRC error"). Call this before
// starting threads that read LZH members.
void prepareLhaReading();

// What a member header may take: a level-2 or level-3 header is at most 64 KiB, and so, in
// every archive seen, is the chain of extended headers of a level-1 one.
constexpr std::size_t kHeaderWindow = 128 * 1024;

// Parses the header of a listed LZH member from bytes read at its headerOffset (the member's
// bytes up to kHeaderWindow); false when they no longer read as the listing read them (the
// file changed). Names are not decoded again: the listing holds them.
bool parseListedHeader(const std::uint8_t* p, std::size_t size, const ListedMember& m,
                       LzhMember& header, std::size_t& headerLength);

// The same, reading the bytes from the archive open as fd; error says why it failed.
bool rereadHeader(int fd, const ListedMember& m, LzhMember& header, std::string& error);

// The kind libarchive gives an entry, or nullopt for anything else.
std::optional<MemberKind> kindOf(struct archive_entry* entry);

} // namespace vadok::archiver
