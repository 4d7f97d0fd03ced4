#include "lzhheaderwriter.h"

#include "crc16.h"
#include "lzhheaderreader.h"
#include "names/names.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace vadok::archiver {

namespace {

void putLe16(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void putLe32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    putLe16(v, x & 0xFFFF);
    putLe16(v, x >> 16);
}
void putExtension(std::vector<std::uint8_t>& v, std::uint8_t type, const void* data,
                  std::size_t size) {
    putLe16(v, static_cast<std::uint32_t>(size + 3));
    v.push_back(type);
    const auto* p = static_cast<const std::uint8_t*>(data);
    v.insert(v.end(), p, p + size);
}
void putLe16Extension(std::vector<std::uint8_t>& v, std::uint8_t type, std::uint32_t x) {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x >> 8)};
    putExtension(v, type, bytes, sizeof bytes);
}
void putLe32Extension(std::vector<std::uint8_t>& v, std::uint8_t type, std::uint32_t x) {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x >> 8),
                                   static_cast<std::uint8_t>(x >> 16),
                                   static_cast<std::uint8_t>(x >> 24)};
    putExtension(v, type, bytes, sizeof bytes);
}
// The directory header: its "/" separators are written as 0xFF, and it ends with one.
void putDirectoryExtension(std::vector<std::uint8_t>& v, std::string_view dir) {
    putLe16(v, static_cast<std::uint32_t>(dir.size() + 3));
    v.push_back(0x02);
    for (const char c : dir)
        v.push_back(c == '/' ? 0xFF : static_cast<std::uint8_t>(c));
}

} // namespace

namespace {
std::vector<std::uint8_t> encode(const LzhMember& m, bool plainName);
}

std::vector<std::uint8_t> encodeLevel2Header(const LzhMember& member) {
    return encode(member, false);
}

std::vector<std::uint8_t> encodeDataCheckHeader(const LzhMember& member) {
    LzhMember m = member;
    m.kind = MemberKind::File;
    m.path = "member";
    m.unixMode = 0100644;
    return encode(m, true);
}

namespace {

std::vector<std::uint8_t> encode(const LzhMember& m, bool plainName) {
    std::string link;
    if (m.kind == MemberKind::Symlink)
        link = m.path + "|" + m.linkTarget;
    const std::string_view full = m.kind == MemberKind::Symlink ? link : m.path;
    const StoredName stored =
        plainName ? StoredName{std::string(full), std::nullopt} : encodeName(full);
    const std::string_view bytes = stored.bytes;
    std::string_view dir, file;
    std::string dirWithSlash;
    // Directory members carry their whole path in the directory header.
    if (m.kind == MemberKind::Directory) {
        dirWithSlash = stored.bytes + "/";
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

    std::vector<std::uint8_t> h;
    h.reserve(96 + full.size());
    putLe16(h, 0); // total size, set below
    h.push_back('-');
    h.insert(h.end(), m.method, m.method + 3);
    h.push_back('-');
    putLe32(h, static_cast<std::uint32_t>(m.compressedSize));
    putLe32(h, static_cast<std::uint32_t>(m.originalSize));
    // A time before 1970 or after 2106 would wrap round to the far end of the range.
    putLe32(h, static_cast<std::uint32_t>(std::clamp<std::int64_t>(m.mtime, 0, 0xFFFFFFFF)));
    h.push_back(0x20);
    h.push_back(2);
    putLe16(h, m.crc);
    h.push_back('U');

    const std::uint8_t crcPlaceholder[2] = {0, 0};
    putExtension(h, 0x00, crcPlaceholder, 2);
    const std::size_t crcAt = h.size() - 2;
    const bool ascii = std::all_of(full.begin(), full.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (stored.codePage && !ascii)
        putLe32Extension(h, 0x46, *stored.codePage);
    if (m.kind != MemberKind::Directory)
        putExtension(h, 0x01, file.data(), file.size());
    if (!dir.empty())
        putDirectoryExtension(h, dir);
    putLe16Extension(h, 0x50,
                     m.unixMode.value_or(m.kind == MemberKind::Directory ? 040755 : 0100644));
    if (m.storedCrc)
        putLe32Extension(h, kStoredCrcHeader, *m.storedCrc);
    putLe16(h, 0); // end of extended headers

    // A header whose size has a zero low byte would start with 0, which readers take for the
    // end of the archive; one padding byte avoids that.
    if ((h.size() & 0xFF) == 0)
        h.push_back(0);
    if (h.size() > 0xFFFF)
        return {};
    h[0] = static_cast<std::uint8_t>(h.size());
    h[1] = static_cast<std::uint8_t>(h.size() >> 8);
    const std::uint16_t crc = crc16Update(0, h.data(), h.size());
    h[crcAt] = static_cast<std::uint8_t>(crc);
    h[crcAt + 1] = static_cast<std::uint8_t>(crc >> 8);
    return h;
}

} // namespace

} // namespace vadok::archiver
