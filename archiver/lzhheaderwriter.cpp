#include "lzhheaderwriter.h"

#include "crc16.h"
#include "lzhheaderreader.h"
#include "names.h"

#include <algorithm>
#include <cstring>

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
    std::string full = m.path;
    if (m.kind == MemberKind::Symlink)
        full += "|" + m.linkTarget;
    // Directory members carry their whole path in the directory header.
    const StoredName stored = plainName ? StoredName{full, std::nullopt} : encodeName(full);
    std::string dir, file;
    if (m.kind == MemberKind::Directory) {
        dir = stored.bytes + "/";
    } else {
        // Links are split like any name, at the last "/" of "link|target", as LHa for UNIX
        // does; readers join directory and file name before they look for the "|".
        const std::size_t slash = stored.bytes.rfind('/');
        if (slash != std::string::npos) {
            dir = stored.bytes.substr(0, slash + 1);
            file = stored.bytes.substr(slash + 1);
        } else {
            file = stored.bytes;
        }
    }
    for (char& c : dir)
        if (c == '/')
            c = static_cast<char>(0xFF);

    std::vector<std::uint8_t> h;
    h.reserve(96 + full.size());
    putLe16(h, 0); // total size, set below
    h.push_back('-');
    h.insert(h.end(), m.method, m.method + 3);
    h.push_back('-');
    putLe32(h, static_cast<std::uint32_t>(m.compressedSize));
    putLe32(h, static_cast<std::uint32_t>(m.originalSize));
    putLe32(h, static_cast<std::uint32_t>(m.mtime));
    h.push_back(0x20);
    h.push_back(2);
    putLe16(h, m.crc);
    h.push_back('U');

    const std::uint8_t crcPlaceholder[2] = {0, 0};
    putExtension(h, 0x00, crcPlaceholder, 2);
    const std::size_t crcAt = h.size() - 2;
    const bool ascii = std::all_of(full.begin(), full.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (stored.codePage && !ascii) {
        std::vector<std::uint8_t> cp;
        putLe32(cp, *stored.codePage);
        putExtension(h, 0x46, cp.data(), cp.size());
    }
    if (m.kind != MemberKind::Directory)
        putExtension(h, 0x01, file.data(), file.size());
    if (!dir.empty())
        putExtension(h, 0x02, dir.data(), dir.size());
    std::vector<std::uint8_t> tmp;
    putLe16(tmp, m.unixMode.value_or(m.kind == MemberKind::Directory ? 040755 : 0100644));
    putExtension(h, 0x50, tmp.data(), tmp.size());
    if (m.storedCrc) {
        std::vector<std::uint8_t> crc;
        putLe32(crc, *m.storedCrc);
        putExtension(h, kStoredCrcHeader, crc.data(), crc.size());
    }
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
