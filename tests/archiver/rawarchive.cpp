#include "rawarchive.h"

#include "archivertestsupport.h"

#include <zlib.h>

namespace vadok::test {

namespace {

void le16(std::string& s, unsigned v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void le32(std::string& s, std::uint32_t v) {
    le16(s, v & 0xFFFF);
    le16(s, v >> 16);
}

// CRC-16/ARC as LZH uses it, written out here so that the archives do not depend on the
// code under test.
std::uint16_t crc16(const std::string& s) {
    unsigned crc = 0;
    for (const char ch : s) {
        crc ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return static_cast<std::uint16_t>(crc);
}

constexpr std::uint32_t kUnixTime = 1700000000;
constexpr std::uint32_t kDosTime = 0x5B6A8000; // 2025-11-10 16:00:00

std::string levelOneOrZero(const LzhEntry& e, std::uint32_t compressed, std::uint32_t original) {
    std::string h(2, '\0'); // size and checksum, set below
    h += "-" + e.method + "-";
    const std::string exts = e.level == 1 ? e.extensions + std::string(2, '\0') : "";
    le32(h, compressed + static_cast<std::uint32_t>(e.level == 1 ? exts.size() - 2 : 0));
    le32(h, original);
    le32(h, kDosTime);
    h.push_back(0x20);
    h.push_back(static_cast<char>(e.level));
    h.push_back(static_cast<char>(e.name.size()));
    h += e.name;
    le16(h, crc16(e.data));
    if (e.level == 0 && e.mode) {
        h += "U";
        h.push_back(0);
        le32(h, kUnixTime);
        le16(h, *e.mode);
        le32(h, 0); // uid, gid
    }
    if (e.level == 1) {
        h += "U";
        // The base header ends with the size of the first extended header.
        h += exts.substr(0, 2);
    }
    h[0] = static_cast<char>(h.size() - 2);
    unsigned sum = 0;
    for (std::size_t i = 2; i < h.size(); ++i)
        sum += static_cast<unsigned char>(h[i]);
    h[1] = static_cast<char>(sum & 0xFF);
    return e.level == 1 ? h + exts.substr(2) : h;
}

} // namespace

std::string extension(std::uint8_t type, const std::string& data, int level) {
    std::string s;
    if (level == 3)
        le32(s, static_cast<std::uint32_t>(data.size() + 5));
    else
        le16(s, static_cast<unsigned>(data.size() + 3));
    s.push_back(static_cast<char>(type));
    return s + data;
}

std::string lzhEntryBytes(const LzhEntry& e) {
    const auto compressed = e.compressedSize.value_or(static_cast<std::uint32_t>(e.data.size()));
    const auto original = e.originalSize.value_or(static_cast<std::uint32_t>(e.data.size()));
    if (e.level < 2)
        return levelOneOrZero(e, compressed, original) + e.data;
    // Level 3 is level 2 with 4-byte size fields: the field width first, the total size
    // after the creator.
    const int level = e.level;
    std::string h;
    le16(h, level == 3 ? 4 : 0); // level 2: the size, set below
    h += "-" + e.method + "-";
    le32(h, compressed);
    le32(h, original);
    le32(h, e.unixTime.value_or(kUnixTime));
    h.push_back(0x20);
    h.push_back(static_cast<char>(level));
    le16(h, crc16(e.data));
    h += "U";
    const std::size_t sizeAt = h.size();
    if (level == 3)
        le32(h, 0); // set below
    h += extension(0x00, std::string(2, '\0'), level);
    const std::size_t crcAt = h.size() - 2;
    if (e.codePage) {
        std::string cp;
        le32(cp, *e.codePage);
        h += extension(0x46, cp, level);
    }
    const std::size_t slash = e.name.rfind('/');
    std::string dir = slash == std::string::npos ? "" : e.name.substr(0, slash + 1);
    for (char& c : dir)
        if (c == '/')
            c = '\xFF';
    h += extension(0x01, slash == std::string::npos ? e.name : e.name.substr(slash + 1), level);
    if (!dir.empty())
        h += extension(0x02, dir, level);
    if (e.mode) {
        std::string m;
        le16(m, *e.mode);
        h += extension(0x50, m, level);
    }
    h += e.extensions;
    if (level == 3) {
        le32(h, 0);
        std::string size;
        le32(size, e.headerSize.value_or(static_cast<std::uint32_t>(h.size())));
        h.replace(sizeAt, 4, size);
    } else {
        le16(h, 0);
        if (e.padZeroLowByte && (h.size() & 0xFF) == 0)
            h.push_back(0);
        h[0] = static_cast<char>(h.size() & 0xFF);
        h[1] = static_cast<char>(h.size() >> 8);
    }
    const std::uint16_t crc = crc16(h);
    h[crcAt] = static_cast<char>(crc & 0xFF);
    h[crcAt + 1] = static_cast<char>(crc >> 8);
    return h + e.data;
}

std::string lzhArchive(const std::vector<LzhEntry>& entries, bool endMark) {
    std::string out;
    for (const auto& e : entries)
        out += lzhEntryBytes(e);
    if (endMark)
        out.push_back('\0');
    return out;
}

LzhEntry lzhEntryFor(const RawMember& r) {
    LzhEntry e;
    if (r.directory) {
        e.name = r.path + "/";
        e.method = "lhd";
        e.mode = 040755;
    } else if (!r.linkTarget.empty()) {
        e.name = r.path + "|" + r.linkTarget;
        e.method = "lhd";
        e.mode = 0120777;
    } else {
        e.name = r.path;
        e.data = r.content;
        e.mode = 0100644;
    }
    return e;
}

void writeRawLzh(const std::string& archive, const std::vector<RawMember>& members) {
    std::vector<LzhEntry> entries;
    for (const auto& m : members)
        entries.push_back(lzhEntryFor(m));
    writeFile(archive, lzhArchive(entries));
}

std::string rawZip(const std::vector<RawMember>& members, bool utf8Flag) {
    // Local headers with stored data, then the central directory and its end record.
    std::string out, central;
    unsigned count = 0;
    for (const auto& r : members) {
        const std::string name = r.directory ? r.path + "/" : r.path;
        const std::string data = r.linkTarget.empty() ? r.content : r.linkTarget;
        const auto crc = static_cast<std::uint32_t>(::crc32(
            0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
        const auto stored = static_cast<std::uint32_t>(data.size());
        const auto size = r.declaredSize.value_or(stored);
        const auto offset = static_cast<std::uint32_t>(out.size());
        le32(out, 0x04034b50);
        le16(out, 20);
        le16(out, utf8Flag ? 0x0800 : 0);
        le16(out, 0);
        le16(out, 0);
        le16(out, 0x5821);
        le32(out, crc);
        le32(out, stored);
        le32(out, size);
        le16(out, static_cast<unsigned>(name.size()));
        le16(out, 0);
        out += name;
        out += data;
        const std::uint32_t mode = r.zipMode ? r.zipMode
                                   : r.directory ? 040755
                                   : !r.linkTarget.empty() ? 0120777
                                                           : 0100644;
        le32(central, 0x02014b50);
        le16(central, 0x0314); // made by Unix
        le16(central, 20);
        le16(central, utf8Flag ? 0x0800 : 0);
        le16(central, 0);
        le16(central, 0);
        le16(central, 0x5821);
        le32(central, crc);
        le32(central, stored);
        le32(central, size);
        le16(central, static_cast<unsigned>(name.size()));
        le16(central, 0);
        le16(central, 0);
        le16(central, 0);
        le16(central, 0);
        le32(central, mode << 16);
        le32(central, offset);
        central += name;
        ++count;
    }
    const auto centralOffset = static_cast<std::uint32_t>(out.size());
    out += central;
    le32(out, 0x06054b50);
    le16(out, 0);
    le16(out, 0);
    le16(out, count);
    le16(out, count);
    le32(out, static_cast<std::uint32_t>(central.size()));
    le32(out, centralOffset);
    le16(out, 0);
    return out;
}

void writeRawZip(const std::string& archive, const std::vector<RawMember>& members,
                 bool utf8Flag) {
    writeFile(archive, rawZip(members, utf8Flag));
}

} // namespace vadok::test
