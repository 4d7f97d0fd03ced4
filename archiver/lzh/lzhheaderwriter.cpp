#include "lzhheaderwriter.h"

#include "crc16.h"
#include "lzhheaderreader.h"
#include "names/names.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace vadok::archiver {

namespace {

// Writes a header into room sized for it beforehand: a re-store makes one for each of the
// thousands of members it copies, and growing a vector byte by byte was most of that work.
class HeaderBytes {
public:
    explicit HeaderBytes(std::uint8_t* at) : m_at(at) {}
    std::uint8_t* at() const { return m_at; }
    void byte(std::uint8_t b) { *m_at++ = b; }
    void le16(std::uint32_t x) {
        byte(static_cast<std::uint8_t>(x));
        byte(static_cast<std::uint8_t>(x >> 8));
    }
    void le32(std::uint32_t x) {
        le16(x & 0xFFFF);
        le16(x >> 16);
    }
    void bytes(const void* data, std::size_t size) {
        if (size != 0)
            std::memcpy(m_at, data, size);
        m_at += size;
    }
    void extension(std::uint8_t type, std::size_t size) {
        le16(static_cast<std::uint32_t>(size + 3));
        byte(type);
    }
    void le16Extension(std::uint8_t type, std::uint32_t x) {
        extension(type, 2);
        le16(x);
    }
    void le32Extension(std::uint8_t type, std::uint32_t x) {
        extension(type, 4);
        le32(x);
    }
    // The directory header: its "/" separators are written as 0xFF, and it ends with one.
    void directoryExtension(std::string_view dir) {
        extension(0x02, dir.size());
        for (const char c : dir)
            byte(c == '/' ? 0xFF : static_cast<std::uint8_t>(c));
    }

private:
    std::uint8_t* m_at;
};

} // namespace

namespace {
// Writes m's header into h; returns where its CRC field lies (0 when the header would be too
// large, h then empty). Without withCrc the field stays zero.
std::size_t encode(const LzhMember& m, bool plainName, bool withCrc, std::vector<std::uint8_t>& h);

std::vector<std::uint8_t> encode(const LzhMember& m, bool plainName) {
    std::vector<std::uint8_t> h;
    encode(m, plainName, true, h);
    return h;
}
} // namespace

std::vector<std::uint8_t> encodeLevel2Header(const LzhMember& member) {
    return encode(member, false);
}

bool level2HeaderIs(const LzhMember& member, std::string_view existing) {
    // One buffer per thread: a re-store asks this of thousands of members in a row.
    thread_local std::vector<std::uint8_t> h;
    const std::size_t crcAt = encode(member, false, false, h);
    const auto* e = reinterpret_cast<const std::uint8_t*>(existing.data());
    // The CRC is a function of the other bytes, and the reader checked existing's: when
    // every other byte is the same, so is the CRC.
    return crcAt != 0 && existing.size() == h.size() &&
           std::memcmp(h.data(), e, crcAt) == 0 &&
           std::memcmp(h.data() + crcAt + 2, e + crcAt + 2, h.size() - crcAt - 2) == 0;
}

std::vector<std::uint8_t> encodeDataCheckHeader(const LzhMember& member) {
    LzhMember m = member;
    m.kind = MemberKind::File;
    m.path = "member";
    m.unixMode = 0100644;
    return encode(m, true);
}

namespace {

std::size_t encode(const LzhMember& m, bool plainName, bool withCrc, std::vector<std::uint8_t>& h) {
    h.clear();
    std::string link;
    if (m.kind == MemberKind::Symlink)
        link = m.path + "|" + m.linkTarget;
    const std::string_view full = m.kind == MemberKind::Symlink ? link : m.path;
    // Nearly every name is plain and goes in as it is, with no copy made of it.
    const std::optional<StoredName> stored =
        plainName || isPlainName(full) ? std::nullopt : std::optional(encodeName(full));
    const std::string_view bytes = stored ? std::string_view(stored->bytes) : full;
    std::string_view dir, file;
    std::string dirWithSlash;
    // Directory members carry their whole path in the directory header.
    if (m.kind == MemberKind::Directory) {
        dirWithSlash = std::string(bytes) + "/";
        dir = dirWithSlash;
    } else {
        // Links are split like any name, at the last "/" of "link|target", as LHa for UNIX
        // does; readers join directory and file name before they look for the "|".
        const std::size_t slash = bytes.rfind('/');
        if (slash != std::string_view::npos) {
            dir = bytes.substr(0, slash + 1);
            file = bytes.substr(slash + 1);
        } else {
            file = bytes;
        }
    }

    // A plain name is ASCII already; only the others are looked at again.
    const bool codePage =
        stored && stored->codePage && !std::all_of(full.begin(), full.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x80;
        });
    constexpr std::size_t kBase = 24, kCrcExtension = 5, kModeExtension = 5, kEnd = 2;
    std::size_t size = kBase + kCrcExtension + (codePage ? 7 : 0) +
                       (m.kind != MemberKind::Directory ? 3 + file.size() : 0) +
                       (dir.empty() ? 0 : 3 + dir.size()) + kModeExtension +
                       (m.storedCrc ? 7 : 0) + kEnd;
    // A header whose size has a zero low byte would start with 0, which readers take for the
    // end of the archive; one padding byte avoids that.
    if ((size & 0xFF) == 0)
        ++size;
    if (size > 0xFFFF)
        return 0;
    h.assign(size, 0);
    HeaderBytes out(h.data());
    out.le16(static_cast<std::uint32_t>(size));
    out.byte('-');
    out.bytes(m.method, 3);
    out.byte('-');
    out.le32(static_cast<std::uint32_t>(m.compressedSize));
    out.le32(static_cast<std::uint32_t>(m.originalSize));
    // A time before 1970 or after 2106 would wrap round to the far end of the range.
    out.le32(static_cast<std::uint32_t>(std::clamp<std::int64_t>(m.mtime, 0, 0xFFFFFFFF)));
    out.byte(0x20);
    out.byte(2);
    out.le16(m.crc);
    out.byte('U');

    out.extension(0x00, 2);
    const std::size_t crcAt = static_cast<std::size_t>(out.at() - h.data());
    out.le16(0); // the header CRC, set below
    if (codePage)
        out.le32Extension(0x46, *stored->codePage);
    if (m.kind != MemberKind::Directory) {
        out.extension(0x01, file.size());
        out.bytes(file.data(), file.size());
    }
    if (!dir.empty())
        out.directoryExtension(dir);
    out.le16Extension(0x50,
                      m.unixMode.value_or(m.kind == MemberKind::Directory ? 040755 : 0100644));
    if (m.storedCrc)
        out.le32Extension(kStoredCrcHeader, *m.storedCrc);
    out.le16(0); // end of extended headers; the padding byte, if any, stays 0
    if (withCrc) {
        const std::uint16_t crc = crc16Update(0, h.data(), h.size());
        h[crcAt] = static_cast<std::uint8_t>(crc);
        h[crcAt + 1] = static_cast<std::uint8_t>(crc >> 8);
    }
    return crcAt;
}

} // namespace

} // namespace vadok::archiver
