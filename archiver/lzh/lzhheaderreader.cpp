#include "lzhheaderreader.h"

#include "crc16.h"
#include "crc32.h"
#include "base/sizesums.h"
#include "names/memberpaths.h"
#include "names/names.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok::archiver {

namespace {

std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t le32(const std::uint8_t* p) {
    return le16(p) | (static_cast<std::uint32_t>(le16(p + 2)) << 16);
}
std::uint64_t le64(const std::uint8_t* p) {
    return le32(p) | (static_cast<std::uint64_t>(le32(p + 4)) << 32);
}

constexpr std::uint64_t kFiletimeUnixEpoch = 116444736000000000ull;

std::int64_t dosTime(std::uint32_t v) {
    std::tm t{};
    t.tm_sec = static_cast<int>((v & 0x1F) * 2);
    t.tm_min = static_cast<int>((v >> 5) & 0x3F);
    t.tm_hour = static_cast<int>((v >> 11) & 0x1F);
    t.tm_mday = static_cast<int>((v >> 16) & 0x1F);
    t.tm_mon = static_cast<int>(((v >> 21) & 0x0F)) - 1;
    t.tm_year = static_cast<int>((v >> 25) & 0x7F) + 80;
    t.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&t));
}

constexpr const char* kNoHeaderHere = "no member header where one should start";
constexpr std::uint64_t kLargestHeader = 0xFFFF;

// The plain name fields point into the header's bytes, which outlive the parse: a store
// reads thousands of headers, and copying each name before it is needed showed.
struct Names {
    std::string_view file;
    std::string_view dir;
    bool sawFile = false;
    // Windows archivers put the real names here and placeholders in the plain fields.
    std::optional<std::string> wideFile;
    std::optional<std::string> wideDir;
    // OS-9 permissions, found in their own places; the Unix mode is made from them.
    std::optional<std::uint16_t> os9Permissions;
};

// OS-9 keeps read, write and execute for the owner (bits 0-2) and for everyone (bits 3-5);
// the group gets what everyone gets.
std::uint16_t unixModeFromOs9(std::uint16_t os9, bool directory) {
    const unsigned owner = os9 & 0x07, others = (os9 >> 3) & 0x07;
    auto rwx = [](unsigned bits) { // OS-9 orders them r, w, e from bit 0; Unix r, w, x from bit 2
        return ((bits & 1) << 2) | (bits & 2) | ((bits >> 2) & 1);
    };
    return static_cast<std::uint16_t>((directory ? 040000 : 0100000) | (rwx(owner) << 6) |
                                      (rwx(others) << 3) | rwx(others));
}

// UTF-16LE to UTF-8, U+FFFF (or "/") separating folders; nullopt when the bytes are no
// UTF-16 (an odd length, a lone surrogate, a NUL).
std::optional<std::string> wideName(const std::uint8_t* d, std::size_t n) {
    if (n % 2 != 0)
        return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < n; i += 2) {
        std::uint32_t c = le16(d + i);
        if (c >= 0xD800 && c < 0xDC00) {
            if (i + 4 > n)
                return std::nullopt;
            const std::uint32_t low = le16(d + i + 2);
            if (low < 0xDC00 || low >= 0xE000)
                return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if ((c >= 0xDC00 && c < 0xE000) || c == 0) {
            return std::nullopt;
        }
        appendUtf8(out, c == 0xFFFF ? U'/' : static_cast<char32_t>(c));
    }
    return out;
}

HeaderResult fail(HeaderStatus status, const char* why) {
    HeaderResult r;
    r.status = status;
    r.error = why;
    return r;
}

// The file time of a Windows extended header: 100 ns steps since 1601.
void readWindowsTime(const std::uint8_t* d, LzhMember& m) {
    const std::uint64_t ft = le64(d + 8);
    if (ft >= kFiletimeUnixEpoch) {
        m.mtime = static_cast<std::int64_t>((ft - kFiletimeUnixEpoch) / 10000000ull);
        m.mtimeNsec = static_cast<std::uint32_t>((ft - kFiletimeUnixEpoch) % 10000000ull) * 100;
    }
}

// Reads one extended header of type with its n bytes of data d; fields of an unexpected
// size are passed over, names that are no UTF-16 fail with the reason in error.
bool readExtension(std::uint8_t type, const std::uint8_t* d, std::size_t n, LzhMember& m,
                   Names& names, std::string& error) {
    switch (type) {
    case 0x01:
        names.file = {reinterpret_cast<const char*>(d), n};
        names.sawFile = true;
        break;
    case 0x02:
        names.dir = {reinterpret_cast<const char*>(d), n};
        break;
    case 0x44:
        names.wideFile = wideName(d, n);
        if (!names.wideFile) {
            error = "broken UTF-16 file name";
            return false;
        }
        break;
    case 0x45:
        names.wideDir = wideName(d, n);
        if (!names.wideDir || names.wideDir->empty() || names.wideDir->back() != '/') {
            error = "broken UTF-16 folder name";
            return false;
        }
        break;
    case 0x40:
        if (n == 2)
            m.dosAttribute = d[0];
        break;
    case 0x41:
        if (n == 24)
            readWindowsTime(d, m);
        break;
    case 0x42:
        if (n == 16) {
            m.compressedSize = le64(d);
            m.originalSize = le64(d + 8);
        }
        break;
    case 0x46:
        if (n == 4)
            m.codePage = le32(d);
        break;
    case 0x50:
        if (n == 2)
            m.unixMode = le16(d);
        break;
    case 0x54:
        if (n == 4 && m.mtimeNsec == 0)
            m.mtime = le32(d);
        break;
    case 0xCC:
        if (n >= 12)
            names.os9Permissions = le16(d + 7);
        break;
    case kStoredCrcHeader:
        if (n == 4)
            m.storedCrc = le32(d);
        break;
    default:
        break;
    }
    return true;
}

// Walks the extended headers from p (the first size field). On success returns the number
// of bytes they occupy, the final zero size included.
// Level 3 gives every size field 4 bytes (width), the others 2.
bool parseExtensions(const std::uint8_t* p, std::size_t avail, LzhMember& m, Names& names,
                     std::size_t& used, std::size_t& crcFieldAt, std::string& error,
                     bool* ranPast = nullptr, std::size_t width = 2) {
    std::size_t pos = 0;
    crcFieldAt = 0;
    while (true) {
        const std::uint64_t size =
            pos + width > avail ? 0 : width == 2 ? le16(p + pos) : le32(p + pos);
        if (pos + width > avail || pos + size > avail) {
            error = "extended header runs past the end";
            if (ranPast)
                *ranPast = true;
            return false;
        }
        if (size == 0) {
            used = pos + width;
            return true;
        }
        if (size < width + 1) {
            error = "extended header has an impossible size";
            return false;
        }
        const std::uint8_t type = p[pos + width];
        const std::size_t n = static_cast<std::size_t>(size) - width - 1;
        // The header CRC's own field: its place is needed to read it as zero.
        if (type == 0x00) {
            if (n >= 2)
                crcFieldAt = pos + width + 1;
        } else if (!readExtension(type, p + pos + width + 1, n, m, names, error)) {
            return false;
        }
        pos += static_cast<std::size_t>(size);
    }
}

// The CRC covers the header with its own field read as zero.
bool headerCrcMatches(const std::uint8_t* p, std::size_t headerSize, std::size_t field) {
    const std::uint8_t zero[2] = {0, 0};
    std::uint16_t crc = crc16Update(0, p, field);
    crc = crc16Update(crc, zero, 2);
    crc = crc16Update(crc, p + field + 2, headerSize - field - 2);
    return crc == le16(p + field);
}

// "-xxx-": LHA's own methods start with "l", PMarc's with "p"; any lower-case pair followed
// by a letter or digit is taken for a method, known or not, so that a member packed in a way
// we cannot decode is told apart from bytes that are no header at all.
// What levels 2 and 3 share: time, CRC and creator at the same places, then extended headers
// from extAt whose sizes are width bytes wide, checked against the header CRC when one is
// there. False with the reason in error.
bool readLaterLevelFields(const std::uint8_t* p, std::size_t headerSize, std::size_t extAt,
                          std::size_t width, LzhMember& m, Names& names, std::string& error) {
    m.mtime = static_cast<std::int64_t>(le32(p + 15));
    m.crc = le16(p + 21);
    m.creator = static_cast<char>(p[23]);
    std::size_t used = 0, crcAt = 0;
    if (!parseExtensions(p + extAt, headerSize - extAt, m, names, used, crcAt, error, nullptr,
                         width))
        return false;
    if (crcAt != 0 && !headerCrcMatches(p, headerSize, extAt + crcAt)) {
        error = "member header CRC mismatch";
        return false;
    }
    return true;
}

// Whether a level-2 header from OS-9/68000 LHA (creator 'K') is one whose size field leaves out
// its own two bytes: its extended headers then end two bytes past the stated size.
bool osk68kHeaderIsShort(const std::uint8_t* p, std::size_t headerSize) {
    LzhMember scratch;
    Names names;
    std::size_t used = 0, crcAt = 0;
    std::string error;
    return parseExtensions(p + 24, headerSize + 2 - 24, scratch, names, used, crcAt, error) &&
           24 + used == headerSize + 2;
}

bool looksLikeMethod(const std::uint8_t* p) {
    auto lower = [](std::uint8_t c) { return c >= 'a' && c <= 'z'; };
    auto alnum = [&](std::uint8_t c) { return lower(c) || (c >= '0' && c <= '9'); };
    return p[0] == '-' && p[4] == '-' && lower(p[1]) && lower(p[2]) && alnum(p[3]);
}

HeaderResult parsed(std::size_t headerLength) {
    HeaderResult r;
    r.status = HeaderStatus::Ok;
    r.headerLength = headerLength;
    return r;
}

// Levels 0 and 1 open alike: a one-byte size and a checksum over the header, a DOS time and
// attribute, the name, the CRC. Ok with headerLength the size the first byte gives.
HeaderResult readDosHeader(const std::uint8_t* p, std::size_t avail, LzhMember& m,
                           Names& names) {
    const std::size_t headerSize = static_cast<std::size_t>(p[0]) + 2;
    const std::size_t nameLen = p[21];
    if (headerSize > avail)
        return fail(HeaderStatus::Truncated, "truncated member header");
    if (headerSize < 24 + nameLen + (m.level == 1 ? 3 : 0))
        return fail(HeaderStatus::Invalid, "member header too short for its name");
    unsigned sum = 0;
    for (std::size_t i = 2; i < headerSize; ++i)
        sum += p[i];
    if ((sum & 0xFF) != p[1])
        return fail(HeaderStatus::Invalid, "member header checksum mismatch");
    m.mtime = dosTime(le32(p + 15));
    m.dosAttribute = p[19];
    names.file = {reinterpret_cast<const char*>(p + 22), nameLen};
    m.crc = le16(p + 22 + nameLen);
    return parsed(headerSize);
}

// Level 0: what follows the CRC is an area some creators fill with a Unix time and mode, or
// OS-9 permissions.
HeaderResult parseLevel0(const std::uint8_t* p, std::size_t avail, LzhMember& m, Names& names) {
    const HeaderResult r = readDosHeader(p, avail, m, names);
    if (r.status != HeaderStatus::Ok)
        return r;
    const std::size_t nameLen = p[21];
    m.creator = 0;
    const std::size_t extra = r.headerLength - 24 - nameLen;
    const std::uint8_t* x = p + 24 + nameLen;
    // PMarc keeps comments in this area.
    const bool pmarc = m.method[0] == 'p' && m.method[1] == 'm';
    if (!pmarc && extra >= 12 && (x[0] == 'U' || (x[0] == 'K' && x[1] == 0))) {
        m.creator = static_cast<char>(x[0]);
        m.mtime = le32(x + 2);
        m.unixMode = le16(x + extra - 6);
    } else if (!pmarc && extra >= 22 && x[0] == '9' && x[9] == 0xCC && x[1] == x[17] &&
               x[2] == x[18]) {
        m.creator = '9';
        names.os9Permissions = le16(x + 1);
    }
    return r;
}

// Level 1: the creator after the CRC, then extended headers, which the stated compressed size
// counts.
HeaderResult parseLevel1(const std::uint8_t* p, std::size_t avail, LzhMember& m, Names& names) {
    HeaderResult r = readDosHeader(p, avail, m, names);
    if (r.status != HeaderStatus::Ok)
        return r;
    const std::size_t nameLen = p[21];
    m.creator = static_cast<char>(p[24 + nameLen]);
    std::size_t used = 0, crcAt = 0;
    std::string error;
    bool ranPast = false;
    const std::size_t extStart = r.headerLength - 2;
    if (!parseExtensions(p + extStart, avail - extStart, m, names, used, crcAt, error, &ranPast))
        return fail(ranPast && avail - extStart < 0x20000 ? HeaderStatus::Truncated
                                                          : HeaderStatus::Invalid,
                    error.c_str());
    const std::size_t extBytes = used - 2;
    if (m.compressedSize < extBytes)
        return fail(HeaderStatus::Invalid, "extended headers larger than the member");
    m.compressedSize -= extBytes;
    r.headerLength = extStart + used;
    return r;
}

// Level 2: a two-byte header size, then extended headers with two-byte sizes.
HeaderResult parseLevel2(const std::uint8_t* p, std::size_t avail, LzhMember& m, Names& names) {
    if (avail < 26)
        return fail(HeaderStatus::Truncated, "truncated member header");
    std::size_t headerSize = le16(p);
    if (headerSize < 26)
        return fail(HeaderStatus::Invalid, "member header too short");
    if (p[23] == 'K') {
        if (headerSize + 2 > avail)
            return fail(HeaderStatus::Truncated, "truncated member header");
        if (osk68kHeaderIsShort(p, headerSize))
            headerSize += 2;
    }
    if (headerSize > avail) {
        // A file cut inside the header, or a damaged size: the extended headers tell, as
        // they end where the header really ends (our writer may add one byte after them).
        std::size_t used = 0, crcAt = 0;
        std::string error;
        bool ranPast = false;
        const bool ended =
            parseExtensions(p + 24, avail - 24, m, names, used, crcAt, error, &ranPast);
        if (!ranPast && (!ended || 24 + used + 1 < headerSize))
            return fail(HeaderStatus::Invalid,
                        "member header size contradicts its extended headers");
        return fail(HeaderStatus::Truncated, "truncated member header");
    }
    std::string error;
    if (!readLaterLevelFields(p, headerSize, 24, 2, m, names, error))
        return fail(HeaderStatus::Invalid, error.c_str());
    return parsed(headerSize);
}

// Level 3: a four-byte header size at 24, and four-byte sizes throughout.
HeaderResult parseLevel3(const std::uint8_t* p, std::size_t avail, LzhMember& m, Names& names) {
    if (avail < 32)
        return fail(HeaderStatus::Truncated, "truncated member header");
    if (le16(p) != 4)
        return fail(HeaderStatus::Invalid, "level-3 header without its 4-byte size fields");
    const std::uint64_t headerSize = le32(p + 24);
    // No writer needs more than a level-2 header can hold; a size of gigabytes is damage.
    if (headerSize < 32 || headerSize > kLargestHeader)
        return fail(HeaderStatus::Invalid, "member header size out of range");
    if (headerSize > avail)
        return fail(HeaderStatus::Truncated, "truncated member header");
    std::string error;
    if (!readLaterLevelFields(p, headerSize, 28, 4, m, names, error))
        return fail(HeaderStatus::Invalid, error.c_str());
    return parsed(headerSize);
}

// The member's name as its header's name fields give it, in UTF-8 with "/" between folders.
std::string pathFromNames(const Names& names, LzhMember& m) {
    // The folder part ending in "/", then the file name: made once, in one string.
    std::string raw;
    raw.reserve(names.dir.size() + 1 + names.file.size());
    raw.append(names.dir);
    if (!raw.empty() && static_cast<unsigned char>(raw.back()) != 0xFF)
        raw += '\xFF';
    for (char& c : raw)
        if (static_cast<unsigned char>(c) == 0xFF)
            c = '/';
    std::string path;
    if (names.wideFile || names.wideDir) {
        // Each UTF-16 part stands in for its plain counterpart.
        path = names.wideDir.value_or(decodeName(raw, m.codePage, m.creator)) +
               names.wideFile.value_or(decodeName(names.file, m.codePage, m.creator));
    } else {
        raw.append(names.file);
        m.nameGuessedCp932 = !m.codePage && m.creator != 'U' && !isValidUtf8(raw);
        path = decodeName(raw, m.codePage, m.creator);
    }
    if (m.level == 0 || (m.level == 1 && m.creator != 'U'))
        for (char& c : path)
            if (c == '\\')
                c = '/';
    return path;
}

// Names the member, and tells links ("name|target") and folders from files.
HeaderResult nameMember(Names& names, LzhMember& m, bool isDirMethod, const HeaderResult& r) {
    std::string path = pathFromNames(names, m);
    if (m.unixMode && (*m.unixMode & 0170000) == 0120000) {
        const std::size_t bar = path.find('|');
        if (bar == std::string::npos)
            return fail(HeaderStatus::Invalid, "symbolic link without a target");
        m.kind = MemberKind::Symlink;
        m.linkTarget = path.substr(bar + 1);
        path.resize(bar);
    } else if (isDirMethod) {
        m.kind = MemberKind::Directory;
    }
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    path.erase(0, path.size() - withoutLeadingSlashes(path).size());
    if (path.empty())
        return fail(HeaderStatus::Invalid, "member without a name");
    m.path = std::move(path);
    return r;
}

// Whether a reading without names must decode this member's name after all, to refuse what a
// reading with names refuses (a link without a target, a name that comes out empty): in the
// code pages of nearly every archive (none, UTF-8, CP932, CP437) a "/" or "|" only comes
// from those bytes, so a name holding other bytes is sound undecoded, except a link's, whose
// "|" may be the second byte of a CP932 character.
bool nameNeedsDecoding(const Names& names, const LzhMember& m) {
    if (m.unixMode && (*m.unixMode & 0170000) == 0120000)
        return true;
    if (m.codePage && *m.codePage != 65001 && *m.codePage != 932 && *m.codePage != 437)
        return true;
    const auto onlySeparators = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), [](char c) {
            return c == '/' || c == '\\' || static_cast<unsigned char>(c) == 0xFF;
        });
    };
    return onlySeparators(names.wideFile ? std::string_view(*names.wideFile) : names.file) &&
           onlySeparators(names.wideDir ? std::string_view(*names.wideDir) : names.dir);
}

// What every level's fields say together: sizes of stored data, the mode, and the name.
HeaderResult completeMember(LzhMember& m, Names& names, HeaderResult r, bool withNames) {
    const bool stored = std::memcmp(m.method, "lh0", 3) == 0 || std::memcmp(m.method, "lz4", 3) == 0;
    if (stored && m.compressedSize != m.originalSize)
        return fail(HeaderStatus::Invalid, "stored member whose two sizes differ");
    const bool isDirMethod = std::memcmp(m.method, "lhd", 3) == 0;
    if (m.creator == 'K' && m.unixMode)
        names.os9Permissions = *m.unixMode;
    if (names.os9Permissions)
        m.unixMode = unixModeFromOs9(*names.os9Permissions, isDirMethod);
    if (isDirMethod && names.file.empty() && names.dir.empty() && !names.wideFile &&
        !names.wideDir) {
        r.namesNothing = true;
        return r;
    }
    if (!withNames && !nameNeedsDecoding(names, m))
        return r;
    return nameMember(names, m, isDirMethod, r);
}

} // namespace

HeaderResult parseLzhHeader(const std::uint8_t* p, std::size_t avail, LzhMember& m, bool withNames) {
    if (avail == 0)
        return fail(HeaderStatus::Truncated, "archive ends without its end mark");
    if (p[0] == 0)
        return fail(HeaderStatus::End, "");
    if (avail < 22)
        return fail(HeaderStatus::Truncated, "truncated member header");
    if (!looksLikeMethod(p + 2))
        return fail(HeaderStatus::Invalid, kNoHeaderHere);
    m = LzhMember{};
    std::memcpy(m.method, p + 3, 3);
    m.level = p[20];
    m.compressedSize = le32(p + 7);
    m.originalSize = le32(p + 11);
    Names names;
    HeaderResult r;
    switch (m.level) {
    case 0:
        r = parseLevel0(p, avail, m, names);
        break;
    case 1:
        r = parseLevel1(p, avail, m, names);
        break;
    case 2:
        r = parseLevel2(p, avail, m, names);
        break;
    case 3:
        r = parseLevel3(p, avail, m, names);
        break;
    default:
        return fail(HeaderStatus::Invalid, "unsupported header level");
    }
    if (r.status != HeaderStatus::Ok)
        return r;
    return completeMember(m, names, std::move(r), withNames);
}

namespace {

// Whether a member header starts anywhere in bytes [at, end): what is left of an archive
// whose header was zeroed into an early end mark. Anything else after the end mark (padding,
// text a transfer or a mail program appended) is no part of the archive. A tail that cannot
// be read counts as a header: nothing that may hold members is ignored unseen.
bool headerFollows(int fd, std::uint64_t at, std::uint64_t end) {
    constexpr std::size_t kStep = 0x40000;
    constexpr std::size_t kReach = 0x20000; // what one header may need beyond its start
    if (at >= end)
        return false;
    // Sized to the tail, which is nearly always nothing: every reading of an archive ends
    // here, and a buffer of its full size cost a page fault for each of its pages.
    const auto room = static_cast<std::size_t>(std::min<std::uint64_t>(kStep + kReach, end - at));
    std::vector<std::uint8_t> chunk(room);
    while (at < end) {
        const ssize_t n = ::pread(
            fd, chunk.data(),
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), end - at)),
            static_cast<off_t>(at));
        if (n <= 0)
            return true;
        const auto got = static_cast<std::size_t>(n);
        const std::size_t scan = at + got >= end ? got : std::min(got, kStep);
        for (std::size_t i = 0; i < scan && i + 7 <= got; ++i) {
            if (!looksLikeMethod(chunk.data() + i + 2))
                continue;
            LzhMember m;
            if (parseLzhHeader(chunk.data() + i, got - i, m, false).status == HeaderStatus::Ok)
                return true;
        }
        at += scan;
    }
    return false;
}

// What the walk hands over of a member: its header's bytes and, when the read that holds the
// header holds all of the member's data too, that data (else nullptr).
using MemberVisit = std::function<void(LzhMember&, const std::uint8_t* header,
                                       std::size_t headerLength, const std::uint8_t* data)>;

// One read serves every header that lies within it; members of an application folder are
// mostly small, so a store of thousands of files reads its old archive in a few reads.
class HeaderWindow {
public:
    HeaderWindow(int fd, std::uint64_t fileSize)
        : m_fd(fd),
          m_capacity(static_cast<std::size_t>(std::clamp<std::uint64_t>(fileSize, 1, kWindow))),
          m_buffer(std::make_unique_for_overwrite<std::uint8_t[]>(m_capacity)) {}

    // Reads from at; false on a read error.
    bool load(std::uint64_t at) {
        const ssize_t got = ::pread(m_fd, m_buffer.get(), m_capacity, static_cast<off_t>(at));
        m_start = at;
        m_size = got > 0 ? static_cast<std::size_t>(got) : 0;
        return got >= 0;
    }
    bool holds(std::uint64_t offset) const {
        return offset >= m_start && offset < m_start + m_size;
    }
    bool startsAt(std::uint64_t offset) const { return offset == m_start; }
    // Whether everything before offset was read into the window.
    bool holdsUpTo(std::uint64_t offset) const { return offset <= m_start + m_size; }
    const std::uint8_t* at(std::uint64_t offset) const {
        return m_buffer.get() + (offset - m_start);
    }
    std::size_t availableAt(std::uint64_t offset) const {
        return m_size - static_cast<std::size_t>(offset - m_start);
    }
    // A Windows program, which may carry an archive further on.
    bool startsWithMz() const { return m_size >= 2 && m_buffer[0] == 'M' && m_buffer[1] == 'Z'; }

private:
    static constexpr std::size_t kWindow = 0x20000;
    int m_fd;
    std::size_t m_capacity;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::uint64_t m_start = 0;
    std::size_t m_size = 0;
};

void stopWalk(ArchiveIndex& outcome, ArchiveDamage damage, std::uint64_t at, std::string error) {
    outcome.damage = damage;
    outcome.damageAt = at;
    outcome.error = std::move(error);
}

// Parses the header at offset, which the window holds, reading again from the header's start
// when it runs past the window; false on a read error.
bool parseHeaderAt(HeaderWindow& window, std::uint64_t offset, LzhMember& m, bool withNames,
                   HeaderResult& r) {
    r = parseLzhHeader(window.at(offset), window.availableAt(offset), m, withNames);
    if (r.status != HeaderStatus::Truncated || window.startsAt(offset))
        return true;
    if (!window.load(offset))
        return false;
    r = parseLzhHeader(window.at(offset), window.availableAt(offset), m, withNames);
    return true;
}

// Ends the walk at offset, where no member header is: the end mark, or where the archive was
// cut or damaged. larcOnly: every member so far was packed by LArc's methods.
void endWalkAt(int fd, const HeaderWindow& window, std::uint64_t offset, std::uint64_t fileSize,
               bool larcOnly, const HeaderResult& r, ArchiveIndex& outcome) {
    if (r.status == HeaderStatus::End) {
        if (!headerFollows(fd, offset + 1, fileSize))
            outcome.ok = true;
        else
            stopWalk(outcome, ArchiveDamage::HeaderDamaged, offset,
                     "a member header after the end mark at offset " + std::to_string(offset));
        return;
    }
    // LArc wrote no end mark at times; LHA programs always do, so for them a file that
    // ends after a member was cut there.
    if (r.status == HeaderStatus::Truncated && offset == fileSize && larcOnly && offset > 0) {
        outcome.ok = true;
        return;
    }
    outcome.foreign = offset == 0 && window.startsWithMz();
    const bool notLzh = offset == 0 && r.error == kNoHeaderHere;
    stopWalk(outcome,
             r.status == HeaderStatus::Truncated ? ArchiveDamage::CutShort
             : notLzh                            ? ArchiveDamage::NotAnArchive
                                                 : ArchiveDamage::HeaderDamaged,
             offset, r.error + " at offset " + std::to_string(offset));
}

// Where the member whose header starts at m.headerOffset ends: the one place the walk moves
// on, so that it moves forwards only and never past the end of the file. A 64-bit size (0x42)
// near 2^64 would otherwise wrap round to the member's own header or an earlier one, which
// the walk would then read again for ever.
struct MemberEnd {
    std::uint64_t at = 0;
    ArchiveDamage damage = ArchiveDamage::None;
    std::string why;
};

MemberEnd memberEnd(const LzhMember& m, std::uint64_t fileSize) {
    const auto end = checkedSum(m.dataOffset, m.compressedSize);
    // No file holds that much: the size itself is damage, not a file cut short.
    if (!end || *end > kLargestFileSize)
        return {0, ArchiveDamage::HeaderDamaged,
                "member claims " + std::to_string(m.compressedSize) +
                    " bytes of data, more than any file holds, at offset " +
                    std::to_string(m.headerOffset)};
    if (*end > fileSize)
        return {0, ArchiveDamage::CutShort, "member data runs past the end of the archive"};
    // Every header is longer than 0 bytes, so the sum, not wrapped, lies past the header.
    return {*end, ArchiveDamage::None, {}};
}

bool packedByLArc(const LzhMember& m) {
    return std::memcmp(m.method, "lzs", 3) == 0 || std::memcmp(m.method, "lz5", 3) == 0 ||
           std::memcmp(m.method, "lz4", 3) == 0;
}

// The walk over an open archive.
void walkHeaders(int fd, bool withNames, ArchiveIndex& outcome, const MemberVisit& visit) {
    struct stat st {};
    ::fstat(fd, &st);
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    HeaderWindow window(fd, fileSize);
    std::uint64_t offset = 0;
    bool larcOnly = true;
    bool readable = window.load(0);
    while (readable) {
        if (!window.holds(offset) && !(readable = window.load(offset)))
            break;
        LzhMember m;
        HeaderResult r;
        if (!(readable = parseHeaderAt(window, offset, m, withNames, r)))
            break;
        if (r.status != HeaderStatus::Ok) {
            endWalkAt(fd, window, offset, fileSize, larcOnly, r, outcome);
            break;
        }
        larcOnly = larcOnly && packedByLArc(m);
        m.headerOffset = offset;
        m.dataOffset = offset + r.headerLength;
        const MemberEnd next = memberEnd(m, fileSize);
        if (next.damage != ArchiveDamage::None) {
            outcome.damagedMember = m.path;
            stopWalk(outcome, next.damage, offset, next.why);
            break;
        }
        offset = next.at;
        if (r.namesNothing)
            continue;
        visit(m, window.at(m.headerOffset), r.headerLength,
              window.holdsUpTo(offset) ? window.at(m.dataOffset) : nullptr);
    }
    if (!readable)
        stopWalk(outcome, ArchiveDamage::Unreadable, offset, "read error");
}

// Whether the member's stored data, read through buffer, matches its stored CRC-32.
bool storedDataMatches(int fd, const LzhMember& m, std::vector<std::uint8_t>& buffer) {
    std::uint32_t crc = 0;
    std::uint64_t from = m.dataOffset;
    std::uint64_t left = m.compressedSize;
    while (left > 0) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
        const ssize_t got = ::pread(fd, buffer.data(), want, static_cast<off_t>(from));
        if (got <= 0)
            return false;
        crc = crc32Update(crc, buffer.data(), static_cast<std::size_t>(got));
        from += static_cast<std::uint64_t>(got);
        left -= static_cast<std::uint64_t>(got);
    }
    return crc == *m.storedCrc;
}

// The same, with the data the walk has read anyway (data, or null) checked where it lies.
bool storedDataSound(int fd, const LzhMember& m, const std::uint8_t* data,
                     std::vector<std::uint8_t>& buffer) {
    return data ? crc32Update(0, data, m.compressedSize) == *m.storedCrc
                : storedDataMatches(fd, m, buffer);
}

} // namespace

void walkArchiveHeaders(
    const std::string& path, bool withNames, ArchiveIndex& outcome,
    const std::function<void(LzhMember&, const std::uint8_t*, std::size_t)>& visit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        outcome.damage = ArchiveDamage::Unreadable;
        outcome.error = "cannot open " + path;
        return;
    }
    walkHeaders(fd, withNames, outcome,
                [&](LzhMember& m, const std::uint8_t* header, std::size_t length,
                    const std::uint8_t*) { visit(m, header, length); });
    ::close(fd);
}

std::string_view HeaderStore::add(const std::uint8_t* bytes, std::size_t size) {
    constexpr std::size_t kBlock = 256 * 1024;
    if (m_used + size > m_capacity) {
        m_capacity = std::max(kBlock, size);
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(m_capacity));
        m_used = 0;
    }
    char* at = m_blocks.back().get() + m_used;
    if (size != 0)
        std::memcpy(at, bytes, size);
    m_used += size;
    return {at, size};
}

ArchiveIndex readArchiveIndex(const std::string& path) {
    ArchiveIndex index;
    walkArchiveHeaders(path, true, index, [&](LzhMember& m, const std::uint8_t* header, std::size_t length) {
        m.rawHeader = index.headers->add(header, length);
        index.members.push_back(std::move(m));
    });
    return index;
}

ArchiveIndex readArchiveIndexChecked(int fd) {
    ArchiveIndex index;
    // Room for the members of an archive whose members average 256 bytes or more: a list
    // that grows by doubling touches three times the memory it ends with, and every page
    // first touched costs a fault. Pages reserved but never filled take no memory.
    if (struct stat st {}; ::fstat(fd, &st) == 0 && st.st_size > 0)
        index.members.reserve(static_cast<std::size_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size) / 256, 1u << 20)));
    // Data the walk has read anyway is checked where it lies; the rest, mostly large members
    // the walk reads past, is read here. Every byte is read once.
    std::vector<std::uint8_t> buffer(0x20000);
    walkHeaders(fd, true, index,
                [&](LzhMember& m, const std::uint8_t* header, std::size_t length,
                    const std::uint8_t* data) {
                    m.rawHeader = index.headers->add(header, length);
                    if (m.storedCrc)
                        m.storedDataSound = storedDataSound(fd, m, data, buffer);
                    index.members.push_back(std::move(m));
                });
    return index;
}

ArchiveTotals readArchiveTotalsChecked(const std::string& path,
                                       const std::vector<std::uint64_t>& headerOffsets) {
    ArchiveTotals totals;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        totals.outcome.damage = ArchiveDamage::Unreadable;
        totals.outcome.error = "cannot open " + path;
        return totals;
    }
    std::vector<std::uint8_t> buffer(0x20000);
    auto next = headerOffsets.begin(); // the walk meets members in the order of the list
    walkHeaders(fd, false, totals.outcome,
                [&](LzhMember& m, const std::uint8_t*, std::size_t, const std::uint8_t* data) {
                    ++totals.members;
                    totals.originalBytes = saturatingSum(totals.originalBytes, m.originalSize);
                    while (next != headerOffsets.end() && *next < m.headerOffset)
                        ++next;
                    if (next == headerOffsets.end() || *next != m.headerOffset)
                        return;
                    ++totals.checked;
                    if ((!m.storedCrc || !storedDataSound(fd, m, data, buffer)) &&
                        totals.unsound++ == 0)
                        totals.firstUnsoundAt = m.headerOffset;
                });
    ::close(fd);
    return totals;
}

ArchiveTotals readArchiveTotals(const std::string& path) {
    ArchiveTotals totals;
    walkArchiveHeaders(path, false, totals.outcome, [&](LzhMember& m, const std::uint8_t*, std::size_t) {
        ++totals.members;
        totals.originalBytes = saturatingSum(totals.originalBytes, m.originalSize);
    });
    return totals;
}

} // namespace vadok::archiver
