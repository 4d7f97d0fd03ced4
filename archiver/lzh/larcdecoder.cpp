// LArc's LZSS methods. Both address matches by their absolute position in a ring buffer
// whose write position starts a little before its end (17 bytes for -lzs-, 18 for -lz5-),
// so a match may reach bytes of the ring's initial contents.
//   -lzs-: bits, most significant first; 1 + 8 bits is a literal, 0 + 11 bits of position
//          + 4 bits of length is a match of length + 2 bytes. The ring starts as spaces.
//   -lz5-: bytes; a flag byte, then eight items, one per flag bit from the lowest: a set bit
//          is a literal byte, a clear one two bytes a, b: position a | (b & 0xf0) << 4, length
//          (b & 0x0f) + 3. The ring starts with runs and ramps of every byte value (below).
// We keep the output linear behind a history of one ring's size, so a ring position becomes
// a distance back from the current byte.

#include "larcdecoder.h"

#include "lzhbitreader.h"

#include <cstring>

namespace vadok::archiver {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

struct Ring {
    unsigned size;
    unsigned start; // the first write position
};

// The initial -lz5- ring: 13 copies of each byte value, the values rising, then falling,
// 128 zeros, 110 spaces and 18 zeros.
void fillLz5Ring(std::uint8_t* ring) {
    std::uint8_t* p = ring;
    for (unsigned v = 0; v < 256; ++v)
        p = static_cast<std::uint8_t*>(std::memset(p, static_cast<int>(v), 13)) + 13;
    for (unsigned v = 0; v < 256; ++v)
        *p++ = static_cast<std::uint8_t>(v);
    for (unsigned v = 0; v < 256; ++v)
        *p++ = static_cast<std::uint8_t>(255 - v);
    p = static_cast<std::uint8_t*>(std::memset(p, 0, 128)) + 128;
    p = static_cast<std::uint8_t*>(std::memset(p, ' ', 110)) + 110;
    std::memset(p, 0, 18);
}

// Decodes items with `item` (which writes at pos and returns false on a damaged item) until
// the member is complete.
template <typename Item>
DecodeStatus decodeRing(const Ring& ring, const std::uint8_t* initial, const DataSource& in,
                        std::uint64_t originalSize, const DecodedSink& out, std::string& error,
                        Item item) {
    LzhBitReader bits(in);
    LzhOutput output(ring.size, kChunk, originalSize, out);
    std::uint8_t* const buf = output.data();
    // buf[x] for x below the history holds ring[(x + start) % size]
    for (unsigned x = 0; x < ring.size; ++x)
        buf[x] = initial[(x + ring.start) % ring.size];
    std::uint64_t written = 0; // since the start: the ring position is (start + written) % size
    while (!output.done()) {
        const std::size_t stop = output.stop();
        std::size_t pos = output.pos;
        while (pos < stop) {
            const std::size_t before = pos;
            item(bits, buf, pos, static_cast<unsigned>((ring.start + written) % ring.size));
            written += pos - before;
        }
        output.pos = pos;
        if (const DecodeStatus status = endChunk(bits, output, error); status != DecodeStatus::Ok)
            return status;
    }
    return DecodeStatus::Ok;
}

// Copies `length` bytes from ring position `from` when the next byte goes to ring position
// `at`; the same position as `at` is the oldest byte, a whole ring back.
void copyFromRing(std::uint8_t* buf, std::size_t& pos, unsigned size, unsigned at, unsigned from,
                  unsigned length) {
    const std::size_t back = (at + size - from - 1) % size + 1;
    for (unsigned i = 0; i < length; ++i, ++pos)
        buf[pos] = buf[pos - back];
}

} // namespace

DecodeStatus decodeLzs(const DataSource& in, std::uint64_t originalSize, const DecodedSink& out,
                       std::string& error) {
    constexpr Ring ring{2048, 2048 - 17};
    std::uint8_t initial[2048];
    std::memset(initial, ' ', sizeof initial);
    return decodeRing(ring, initial, in, originalSize, out, error,
                      [](LzhBitReader& bits, std::uint8_t* buf, std::size_t& pos, unsigned at) {
                          bits.refill();
                          if (bits.get(1) == 1) {
                              buf[pos++] = static_cast<std::uint8_t>(bits.get(8));
                              return;
                          }
                          const unsigned from = bits.get(11);
                          const unsigned length = bits.get(4) + 2;
                          copyFromRing(buf, pos, ring.size, at, from, length);
                      });
}

DecodeStatus decodeLz5(const DataSource& in, std::uint64_t originalSize, const DecodedSink& out,
                       std::string& error) {
    constexpr Ring ring{4096, 4096 - 18};
    std::uint8_t initial[4096];
    fillLz5Ring(initial);
    // One flag byte governs eight items; the ring position moves between them, so each call
    // decodes a single item and keeps the flags for the next.
    unsigned flags = 0;
    unsigned flagsLeft = 0;
    return decodeRing(ring, initial, in, originalSize, out, error,
                      [&](LzhBitReader& bits, std::uint8_t* buf, std::size_t& pos, unsigned at) {
                          if (flagsLeft == 0) {
                              flags = bits.get(8);
                              flagsLeft = 8;
                          }
                          const bool literal = (flags & 1) != 0;
                          flags >>= 1;
                          --flagsLeft;
                          if (literal) {
                              buf[pos++] = static_cast<std::uint8_t>(bits.get(8));
                              return;
                          }
                          const unsigned a = bits.get(8);
                          const unsigned b = bits.get(8);
                          copyFromRing(buf, pos, ring.size, at, a | (b & 0xf0) << 4, (b & 0x0f) + 3);
                      });
}

} // namespace vadok::archiver
