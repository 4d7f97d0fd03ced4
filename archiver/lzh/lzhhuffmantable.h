#pragma once

#include <cstdint>
#include <vector>

namespace vadok::archiver {

// Decoding table for a canonical Huffman code read most significant bit first, as LHA's
// static-Huffman methods assign it (shorter codes first, equal lengths by symbol). Codes up
// to primaryBits long resolve in one lookup; longer ones (up to 16 bits) go through a second
// table per prefix. Slots no code reaches (an incomplete table) decode as invalid.
class LzhHuffmanTable {
public:
    static constexpr unsigned kMaxLength = 16;

    // entry: kind << 30 | value, where value is the symbol's (symbol << 8 unless the build
    // was given values) plus the code's length. Kinds sit on top so that one comparison tells
    // a symbol from a link or a gap, and another a small symbol from a large one. For kLink,
    // the value is the second table's start << 8 | its width.
    static constexpr std::uint32_t kSymbol = 0, kLink = 1, kInvalid = 2;
    static constexpr std::uint32_t kNotSymbol = kLink << 30;
    static constexpr unsigned kMaxValue = (1u << 30) - 1 - kMaxLength;

    explicit LzhHuffmanTable(unsigned primaryBits) : m_primary(primaryBits) {}

    // false when a length exceeds 16 or the lengths oversubscribe the code space
    bool build(const std::uint8_t* lengths, unsigned n);
    // The same for lengths of at most 16 counted as they were read: counts[len] symbols
    // have length len (counts[0] is not looked at). values, when given, holds each symbol's
    // entry less its code length, which is added to it: at most kMaxValue, with room in its
    // low six bits for 16 more.
    bool build(const std::uint8_t* lengths, unsigned n, const unsigned* counts,
               const std::uint32_t* values = nullptr);
    // Whether the lengths of the last build() fill the code space exactly.
    bool complete() const { return m_complete; }
    // Every input decodes to `symbol` without consuming bits; symbols >= limit are invalid.
    void buildSingle(unsigned symbol, unsigned limit, const std::uint32_t* values = nullptr);

    unsigned primaryBits() const { return m_primary; }
    const std::uint32_t* entries() const { return m_entries.data(); }

    // The entry of the code at the top of `bits` (at least 16 valid bits), through the
    // second table where there is one; kNotSymbol or above for a code no table holds.
    std::uint32_t lookUp(std::uint64_t bits) const {
        std::uint32_t e = m_entries[bits >> (64 - m_primary)];
        if ((e >> 30) == kLink) {
            const unsigned width = e & 0xff;
            e = m_entries[((e >> 8) & 0x3fffff) + ((bits << m_primary) >> (64 - width))];
        }
        return e;
    }

    // For a table built without values: the symbol at the top of `bits`, or -1 for a code
    // no table holds; `used` is the code's length.
    int decode(std::uint64_t bits, unsigned& used) const {
        const std::uint32_t e = lookUp(bits);
        if (e >= kNotSymbol)
            return -1;
        used = e & 0xff;
        return static_cast<int>(e >> 8);
    }

private:
    unsigned m_primary;
    bool m_complete = false;
    std::vector<std::uint32_t> m_entries;
};

} // namespace vadok::archiver
