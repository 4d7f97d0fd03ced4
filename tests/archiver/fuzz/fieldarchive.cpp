#include "fieldarchive.h"

#include "archiver/lzh/crc16.h"

#include <vector>
#include <zlib.h>

namespace vadok::archiver::fuzz {

std::uint64_t FieldReader::number(int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<std::uint64_t>(byte()) << (8 * i);
    return v;
}

std::string FieldReader::bytes(std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n && !empty(); ++i)
        out.push_back(static_cast<char>(byte()));
    return out;
}

namespace {

constexpr std::size_t kMostMembers = 8;

void put16(std::string& s, std::uint64_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& s, std::uint64_t v) {
    put16(s, v & 0xFFFF);
    put16(s, (v >> 16) & 0xFFFF);
}
void put64(std::string& s, std::uint64_t v) {
    put32(s, v & 0xFFFFFFFF);
    put32(s, v >> 32);
}
void set16(std::string& s, std::size_t at, std::uint64_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

// A size as a field of the input picks it. sound is what the data holds; wrap is the value
// that leads the reader back to an earlier place (2^64 - how far back).
std::uint64_t sizeField(FieldReader& in, std::uint64_t sound, std::uint64_t wrap) {
    switch (in.byte() % 9) {
    case 0: return sound;
    case 1: return 0;
    case 2: return sound + static_cast<std::uint64_t>(static_cast<std::int8_t>(in.byte()));
    case 3: return 0xFFFFFFFFu;
    case 4: return std::uint64_t{1} << 62;
    case 5: return std::uint64_t{1} << 63;
    case 6: return ~std::uint64_t{0};
    case 7: return wrap;
    default: return in.number(8);
    }
}

std::string nameField(FieldReader& in) {
    static const char alphabet[] = {'a', 'A', 'b', '/', '.', '_', '|', '\xFF', '\xE3', '\x81'};
    const std::size_t n = 1 + in.byte() % 12;
    std::string name;
    for (std::size_t i = 0; i < n; ++i)
        name.push_back(alphabet[in.byte() % sizeof alphabet]);
    return name;
}

// -lh5- blocks whose tables each hold a single code, which takes no bits: count matches of
// 256 bytes per block from a 7-byte block header.
std::string zeroBitBlocks(unsigned blocks, unsigned count) {
    std::vector<bool> bits;
    auto put = [&](unsigned v, int n) {
        for (int i = n - 1; i >= 0; --i)
            bits.push_back(((v >> i) & 1) != 0);
    };
    for (unsigned b = 0; b < blocks; ++b) {
        put(count, 16);
        put(0, 5), put(0, 5);   // code lengths: one code, 0
        put(0, 9), put(509, 9); // literals: one code, a match of 256
        put(0, 4), put(0, 4);   // positions: one code, 0
    }
    std::string out((bits.size() + 7) / 8, '\0');
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i])
            out[i / 8] = static_cast<char>(out[i / 8] | (0x80 >> (i % 8)));
    return out;
}

struct LzhFields {
    int level = 2;
    std::string method = "lh0";
    std::string name;
    std::string data;
    std::uint16_t crc = 0;
    int mode = 0; // 0: none, else the Unix mode
    bool wide = false; // 64-bit sizes (0x42)
};

std::string extension(std::uint8_t type, const std::string& data, int width) {
    std::string s;
    width == 4 ? put32(s, data.size() + 5) : put16(s, data.size() + 3);
    s.push_back(static_cast<char>(type));
    return s + data;
}

// The member's header and data with the given sizes; levels 0 and 1 keep the compressed
// size's own meaning (level 1 counts the extended headers in it).
std::string lzhMember(const LzhFields& f, std::uint64_t compressed, std::uint64_t original) {
    std::string h;
    const std::string method = "-" + f.method + "-";
    if (f.level < 2) {
        std::string exts;
        if (f.level == 1) {
            if (f.wide) {
                std::string sizes;
                put64(sizes, compressed);
                put64(sizes, original);
                exts += extension(0x42, sizes, 2);
            }
            if (f.mode) {
                std::string m;
                put16(m, static_cast<std::uint64_t>(f.mode));
                exts += extension(0x50, m, 2);
            }
            exts += std::string(2, '\0');
        }
        h = std::string(2, '\0') + method;
        put32(h, compressed);
        put32(h, original);
        put32(h, 0x5B6A8000);
        h.push_back(0x20);
        h.push_back(static_cast<char>(f.level));
        h.push_back(static_cast<char>(f.name.size()));
        h += f.name;
        put16(h, f.crc);
        if (f.level == 1)
            h += "U" + exts.substr(0, 2);
        h[0] = static_cast<char>(h.size() - 2);
        unsigned sum = 0;
        for (std::size_t i = 2; i < h.size(); ++i)
            sum += static_cast<unsigned char>(h[i]);
        h[1] = static_cast<char>(sum);
        return h + (f.level == 1 ? exts.substr(2) : "") + f.data;
    }
    const int width = f.level == 3 ? 4 : 2;
    h = f.level == 3 ? std::string("\x04\x00", 2) : std::string(2, '\0');
    h += method;
    put32(h, compressed);
    put32(h, original);
    put32(h, 1700000000);
    h.push_back(0x20);
    h.push_back(static_cast<char>(f.level));
    put16(h, f.crc);
    h += "U";
    const std::size_t totalAt = h.size();
    if (f.level == 3)
        put32(h, 0);
    h += extension(0x00, std::string(2, '\0'), width);
    const std::size_t crcAt = h.size() - 2;
    h += extension(0x01, f.name, width);
    if (f.wide) {
        std::string sizes;
        put64(sizes, compressed);
        put64(sizes, original);
        h += extension(0x42, sizes, width);
    }
    if (f.mode) {
        std::string m;
        put16(m, static_cast<std::uint64_t>(f.mode));
        h += extension(0x50, m, width);
    }
    h += std::string(static_cast<std::size_t>(width), '\0');
    if (f.level == 3) {
        std::string total;
        put32(total, h.size());
        h.replace(totalAt, 4, total);
    } else {
        set16(h, 0, h.size());
    }
    set16(h, crcAt, crc16Update(0, h.data(), h.size()));
    return h + f.data;
}

} // namespace

std::string lzhFromFields(FieldReader& in) {
    static const char* const methods[] = {"lh0", "lh5", "lh6", "lh7", "lhd",
                                          "lz4", "lzs", "lz5", "lh1", "pm2"};
    std::string out;
    std::vector<std::uint64_t> starts;
    std::uint64_t originals = 0;
    const std::size_t count = 1 + in.byte() % kMostMembers;
    for (std::size_t k = 0; k < count && !in.empty(); ++k) {
        LzhFields f;
        f.level = in.byte() % 4;
        f.method = methods[in.byte() % (sizeof methods / sizeof *methods)];
        f.name = nameField(in);
        const std::uint8_t dataKind = in.byte();
        f.data = dataKind % 4 == 0 ? zeroBitBlocks(1 + in.byte() % 4, 1 + in.byte() * 16u)
                                   : in.bytes(in.byte());
        f.crc = crc16Update(0, f.data.data(), f.data.size());
        static const int modes[] = {0, 0100644, 0100755, 0120777, 040755};
        f.mode = modes[in.byte() % 5];
        const bool wide = (in.byte() & 1) != 0; // read whatever the level, so fields stay in step
        f.wide = f.level > 0 && wide;
        const std::uint64_t at = out.size();
        starts.push_back(at);
        const std::string bare = lzhMember(f, 0, 0);
        const std::uint64_t dataAt = at + bare.size() - f.data.size();
        const std::uint64_t target = starts[in.byte() % starts.size()];
        // Level 1's compressed size counts its extended headers, which sit between the base
        // header (its first byte + 2) and the data.
        const std::uint64_t extBytes =
            f.level == 1 ? bare.size() - f.data.size() - (static_cast<unsigned char>(bare[0]) + 2u)
                         : 0;
        std::uint64_t compressed =
            sizeField(in, f.data.size() + extBytes, extBytes - (dataAt - target));
        std::uint64_t original = sizeField(in, f.data.size(), 0 - originals);
        if (!f.wide) {
            compressed &= 0xFFFFFFFF;
            original &= 0xFFFFFFFF;
        }
        originals += original;
        std::string member = lzhMember(f, compressed, original);
        if (const std::uint8_t flip = in.byte(); flip & 0x80)
            member[flip % member.size()] = static_cast<char>(member[flip % member.size()] ^ 0x20);
        out += member;
    }
    const std::uint8_t tail = in.byte();
    if ((tail & 3) != 0)
        out.push_back('\0');
    if (tail & 4)
        out += in.bytes(in.byte());
    return out;
}

std::string zipFromFields(FieldReader& in) {
    std::string out, central;
    std::vector<std::uint64_t> starts;
    std::uint64_t originals = 0;
    const std::size_t count = 1 + in.byte() % kMostMembers;
    std::size_t written = 0;
    for (std::size_t k = 0; k < count && !in.empty(); ++k, ++written) {
        const std::string name = nameField(in);
        const bool deflated = (in.byte() & 1) != 0;
        std::string data = in.bytes(in.byte());
        const auto crc = static_cast<std::uint32_t>(
            ::crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
        const std::uint64_t sound = data.size();
        if (deflated) {
            uLongf n = ::compressBound(static_cast<uLong>(data.size()));
            std::string packed(n, '\0');
            ::compress(reinterpret_cast<Bytef*>(packed.data()), &n,
                       reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()));
            data = packed.substr(2, n > 6 ? n - 6 : 0); // raw deflate: no zlib header or sum
        }
        const bool wide = (in.byte() & 1) != 0;
        const std::uint64_t at = out.size();
        starts.push_back(at);
        const std::uint64_t target = starts[in.byte() % starts.size()];
        std::string zip64;
        const std::uint64_t dataAt = at + 30 + name.size() + (wide ? 28 : 0);
        std::uint64_t compressed = sizeField(in, data.size(), 0 - (dataAt - target));
        std::uint64_t original = sizeField(in, sound, 0 - originals);
        std::uint64_t offset = sizeField(in, at, target);
        if (wide) {
            put16(zip64, 0x0001);
            put16(zip64, 24);
            put64(zip64, original);
            put64(zip64, compressed);
            put64(zip64, offset);
        }
        originals += original;
        const auto field32 = [&](std::uint64_t v) { return wide ? 0xFFFFFFFFu : v & 0xFFFFFFFF; };
        // From the version needed to the extra field's length, local header and directory
        // entry alike.
        std::string common;
        put16(common, wide ? 45 : 20);
        put16(common, 0);
        put16(common, deflated ? 8 : 0);
        put32(common, 0x5B6A6000);
        put32(common, crc);
        put32(common, field32(compressed));
        put32(common, field32(original));
        put16(common, name.size());
        put16(common, zip64.size());
        put32(out, 0x04034b50);
        out += common + name + zip64 + data;
        put32(central, 0x02014b50);
        put16(central, 0x0314);
        central += common;
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put32(central, static_cast<std::uint64_t>(0100644) << 16);
        put32(central, field32(offset));
        central += name + zip64;
    }
    const std::uint64_t directoryAt = out.size();
    out += central;
    const std::uint8_t tail = in.byte();
    if (tail & 1) {
        const std::uint64_t recordAt = out.size();
        put32(out, 0x06064b50);
        put64(out, 44);
        put16(out, 45);
        put16(out, 45);
        put32(out, 0);
        put32(out, 0);
        put64(out, written);
        put64(out, written);
        put64(out, central.size());
        put64(out, tail & 2 ? in.number(8) : directoryAt);
        put32(out, 0x07064b50);
        put32(out, 0);
        put64(out, recordAt);
        put32(out, 1);
    }
    put32(out, 0x06054b50);
    put32(out, 0);
    put16(out, tail & 1 ? 0xFFFF : written);
    put16(out, tail & 1 ? 0xFFFF : written);
    put32(out, tail & 1 ? 0xFFFFFFFF : central.size());
    put32(out, tail & 1 ? 0xFFFFFFFF : directoryAt);
    put16(out, 0);
    return out;
}

} // namespace vadok::archiver::fuzz
