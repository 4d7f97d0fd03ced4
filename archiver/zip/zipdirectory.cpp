#include "zipdirectory.h"

#include "base/sizesums.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace vadok::archiver {

namespace {

constexpr std::uint32_t kEndRecord = 0x06054b50;
constexpr std::uint32_t kZip64Locator = 0x07064b50;
constexpr std::uint32_t kZip64EndRecord = 0x06064b50;
constexpr std::uint32_t kDirectoryEntry = 0x02014b50;
constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kLocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kEntrySize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kMaxComment = 0xFFFF;

std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(u16(p)) | static_cast<std::uint32_t>(u16(p + 2)) << 16;
}
std::uint64_t u64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(u32(p)) | static_cast<std::uint64_t>(u32(p + 4)) << 32;
}

ZipDirectory failure(std::string why) {
    ZipDirectory d;
    d.error = std::move(why);
    return d;
}

struct EndRecord {
    std::uint64_t at = 0; // where it starts in the file
    std::uint64_t entries = 0;
    std::uint64_t directorySize = 0;
    std::uint64_t directoryOffset = 0; // as recorded
    std::uint64_t directoryStart = 0;  // where the directory lies in the file
};

// The last end record whose comment reaches exactly to the end of the file, or else the last
// one at all (tools that append bytes after the archive).
bool findEndRecord(std::uint64_t fileSize, const ZipBytes& read, EndRecord& end, std::string& why) {
    if (fileSize < kEndRecordSize) {
        why = "too short for a ZIP archive";
        return false;
    }
    const std::uint64_t span = std::min<std::uint64_t>(fileSize, kEndRecordSize + kMaxComment);
    std::vector<std::uint8_t> tail(static_cast<std::size_t>(span));
    if (!read(fileSize - span, tail.size(), tail.data())) {
        why = "cannot read the end of the archive";
        return false;
    }
    std::optional<std::size_t> found;
    for (std::size_t i = tail.size() - kEndRecordSize + 1; i-- > 0;) {
        if (u32(&tail[i]) != kEndRecord)
            continue;
        if (i + kEndRecordSize + u16(&tail[i + 20]) == tail.size()) {
            found = i;
            break;
        }
        if (!found)
            found = i;
    }
    if (!found) {
        why = "no end of central directory record";
        return false;
    }
    const std::uint8_t* e = &tail[*found];
    end.at = fileSize - span + *found;
    if (u16(e + 4) != 0 || u16(e + 6) != 0 || u16(e + 8) != u16(e + 10)) {
        why = "archive split over several disks";
        return false;
    }
    end.entries = u16(e + 10);
    end.directorySize = u32(e + 12);
    end.directoryOffset = u32(e + 16);
    const bool wide = end.entries == 0xFFFF || end.directorySize == 0xFFFFFFFFu ||
                      end.directoryOffset == 0xFFFFFFFFu;
    std::uint8_t locator[kLocatorSize];
    if (end.at >= kLocatorSize && read(end.at - kLocatorSize, kLocatorSize, locator) &&
        u32(locator) == kZip64Locator) {
        std::uint8_t z[kZip64EndSize];
        const std::uint64_t zAt = end.at - kLocatorSize;
        // The zip64 end record normally lies right before its locator, which a
        // self-extracting stub moves along with it; one with extensible data after its
        // fixed part starts earlier, at the offset the locator records.
        std::uint64_t recordAt = zAt >= kZip64EndSize ? zAt - kZip64EndSize : 0;
        if (zAt < kZip64EndSize || !read(recordAt, kZip64EndSize, z) ||
            u32(z) != kZip64EndRecord) {
            recordAt = u64(locator + 8);
            if (recordAt > zAt || zAt - recordAt < kZip64EndSize ||
                !read(recordAt, kZip64EndSize, z) || u32(z) != kZip64EndRecord) {
                why = "zip64 end record missing";
                return false;
            }
        }
        end.entries = u64(z + 32);
        end.directorySize = u64(z + 40);
        end.directoryOffset = u64(z + 48);
        end.at = recordAt;
    } else if (wide && end.entries == 0xFFFF && end.directorySize == 0xFFFFFFFFu) {
        why = "zip64 archive without its zip64 end record";
        return false;
    }
    if (end.directorySize > end.at) {
        why = "central directory larger than the archive";
        return false;
    }
    end.directoryStart = end.at - end.directorySize;
    if (end.directoryOffset > end.directoryStart) {
        why = "central directory beyond where it is recorded";
        return false;
    }
    return true;
}

// The zip64 extra field's values for those of the entry given as all ones; false when the
// field is there but too short for them.
bool readZip64Extra(const std::uint8_t* extra, std::size_t size, ZipEntry& e, bool wideOriginal,
                    bool wideCompressed, bool wideOffset) {
    std::size_t i = 0;
    while (i + 4 <= size) {
        const std::uint16_t id = u16(extra + i);
        const std::uint16_t n = u16(extra + i + 2);
        if (i + 4 + n > size)
            return false;
        if (id == 0x0001) {
            const std::uint8_t* p = extra + i + 4;
            std::size_t left = n;
            auto take = [&](std::uint64_t& v) {
                if (left < 8)
                    return false;
                v = u64(p);
                p += 8;
                left -= 8;
                return true;
            };
            if (wideOriginal && !take(e.originalSize))
                return false;
            if (wideCompressed && !take(e.compressedSize))
                return false;
            if (wideOffset && !take(e.headerOffset))
                return false;
            return true;
        }
        i += 4 + n;
    }
    // Without the field, all ones is the value itself, as other readers take it.
    return true;
}

// The Unicode path field's name, when it is there and still belongs to the name beside it
// (a tool that renamed the entry without updating the field leaves a stale one).
std::optional<std::string> unicodePath(const std::uint8_t* extra, std::size_t size,
                                       const std::string& rawName) {
    for (std::size_t i = 0; i + 4 <= size;) {
        const std::uint16_t id = u16(extra + i);
        const std::size_t n = u16(extra + i + 2);
        if (i + 4 + n > size)
            return std::nullopt;
        const std::uint8_t* p = extra + i + 4;
        if (id == 0x7075 && n >= 5 && p[0] == 1 &&
            u32(p + 1) == ::crc32(0, reinterpret_cast<const Bytef*>(rawName.data()),
                                  static_cast<uInt>(rawName.size())))
            return std::string(reinterpret_cast<const char*>(p + 5), n - 5);
        i += 4 + n;
    }
    return std::nullopt;
}

// The central directory's entries, in its order, their local header offsets moved by base
// (bytes in front of the archive); "" or why the directory is damaged.
std::string readDirectoryEntries(const std::vector<std::uint8_t>& dir, const EndRecord& end,
                                 std::uint64_t base, std::vector<ZipEntry>& entries) {
    entries.reserve(static_cast<std::size_t>(end.entries));
    std::size_t at = 0;
    for (std::uint64_t k = 0; k < end.entries; ++k) {
        if (at + kEntrySize > dir.size() || u32(&dir[at]) != kDirectoryEntry)
            return "central directory entry " + std::to_string(k) + " damaged";
        const std::uint8_t* p = &dir[at];
        ZipEntry e;
        e.madeBy = u16(p + 4);
        e.flags = u16(p + 8);
        e.method = u16(p + 10);
        e.compressedSize = u32(p + 20);
        e.originalSize = u32(p + 24);
        const std::size_t nameLength = u16(p + 28);
        const std::size_t extraLength = u16(p + 30);
        const std::size_t commentLength = u16(p + 32);
        e.externalAttributes = u32(p + 38);
        e.headerOffset = u32(p + 42);
        if (at + kEntrySize + nameLength + extraLength + commentLength > dir.size())
            return "central directory entry " + std::to_string(k) + " cut short";
        e.rawName.assign(reinterpret_cast<const char*>(p + kEntrySize), nameLength);
        if (!readZip64Extra(p + kEntrySize + nameLength, extraLength, e,
                            e.originalSize == 0xFFFFFFFFu, e.compressedSize == 0xFFFFFFFFu,
                            e.headerOffset == 0xFFFFFFFFu))
            return e.rawName + ": zip64 extra field damaged";
        e.unicodeName = unicodePath(p + kEntrySize + nameLength, extraLength, e.rawName);
        if (e.headerOffset > end.directoryOffset)
            return e.rawName + ": local header beyond the central directory";
        e.headerOffset += base;
        entries.push_back(std::move(e));
        at += kEntrySize + nameLength + extraLength + commentLength;
    }
    return {};
}

// Sorts the entries into the order their local headers lie in the file and checks each
// header against its entry, and each member's data against the next; "" or why they
// contradict each other.
std::string checkLocalHeaders(std::vector<ZipEntry>& entries, const EndRecord& end,
                              const ZipBytes& read) {
    std::stable_sort(entries.begin(), entries.end(), [](const ZipEntry& a, const ZipEntry& b) {
        return a.headerOffset < b.headerOffset;
    });
    std::vector<std::uint8_t> name;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        ZipEntry& e = entries[i];
        if (i > 0 && entries[i - 1].headerOffset == e.headerOffset)
            return e.rawName + ": shares its local header with " + entries[i - 1].rawName;
        std::uint8_t h[kLocalSize];
        if (e.headerOffset + kLocalSize > end.directoryStart ||
            !read(e.headerOffset, kLocalSize, h) || u32(h) != kLocalHeader)
            return e.rawName + ": local header missing";
        const std::size_t nameLength = u16(h + 26);
        const std::size_t extraLength = u16(h + 28);
        name.resize(nameLength);
        if (nameLength != e.rawName.size() ||
            !read(e.headerOffset + kLocalSize, nameLength, name.data()) ||
            !std::equal(name.begin(), name.end(), e.rawName.begin(),
                        [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }))
            return e.rawName + ": local header names another member";
        if (u16(h + 8) != e.method)
            return e.rawName + ": local header gives another method";
        const std::uint64_t dataStart = e.headerOffset + kLocalSize + nameLength + extraLength;
        // A zip64 size near 2^64 would wrap round to an offset that passes.
        const auto dataEnd = checkedSum(dataStart, e.compressedSize);
        if (!dataEnd || *dataEnd > end.directoryStart)
            return e.rawName + ": data reaches into the central directory";
        e.dataEnd = *dataEnd;
        if (i > 0 && entries[i - 1].dataEnd > e.headerOffset)
            return entries[i - 1].rawName + ": data overlaps the member " + e.rawName;
    }
    return {};
}

} // namespace

ZipDirectory readZipDirectory(std::uint64_t fileSize, const ZipBytes& read) {
    EndRecord end;
    std::string why;
    if (!findEndRecord(fileSize, read, end, why))
        return failure(why);
    const std::uint64_t base = end.directoryStart - end.directoryOffset;
    if (end.directorySize > (std::uint64_t(1) << 32) || end.entries > end.directorySize / kEntrySize)
        return failure("central directory too small for its " + std::to_string(end.entries) +
                       " entries");
    std::vector<std::uint8_t> dir(static_cast<std::size_t>(end.directorySize));
    if (!read(end.directoryStart, dir.size(), dir.data()))
        return failure("cannot read the central directory");
    ZipDirectory d;
    if (why = readDirectoryEntries(dir, end, base, d.entries); !why.empty())
        return failure(why);
    if (why = checkLocalHeaders(d.entries, end, read); !why.empty())
        return failure(why);
    d.ok = true;
    return d;
}

ZipDirectory readZipDirectory(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failure("cannot open " + path);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return failure("cannot read " + path);
    }
    ZipDirectory d = readZipDirectory(
        static_cast<std::uint64_t>(st.st_size),
        [fd](std::uint64_t offset, std::size_t n, std::uint8_t* out) {
            while (n > 0) {
                const ssize_t r = ::pread(fd, out, n, static_cast<off_t>(offset));
                if (r < 0 && errno == EINTR)
                    continue;
                if (r <= 0)
                    return false;
                out += r;
                n -= static_cast<std::size_t>(r);
                offset += static_cast<std::uint64_t>(r);
            }
            return true;
        });
    ::close(fd);
    return d;
}

} // namespace vadok::archiver
