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

    // entry: symbol << 16 | kind << 8 | bits; for kLink, symbol is the second table's start
    // and bits its width.
    static constexpr std::uint32_t kSymbol = 0, kLink = 1, kInvalid = 2;

    explicit LzhHuffmanTable(unsigned primaryBits) : m_primary(primaryBits) {}

    // false when a length exceeds 16 or the lengths oversubscribe the code space
    bool build(const std::uint8_t* lengths, unsigned n);
    // The same for lengths of at most 16 counted as they were read: counts[len] symbols
    // have length len (counts[0] is not looked at).
    bool build(const std::uint8_t* lengths, unsigned n, const unsigned* counts);
    // Whether the lengths of the last build() fill the code space exactly.
    bool complete() const { return m_complete; }
    // Every input decodes to `symbol` without consuming bits; symbols >= limit are invalid.
    void buildSingle(unsigned symbol, unsigned limit);

    unsigned primaryBits() const { return m_primary; }
    const std::uint32_t* entries() const { return m_entries.data(); }

    // Decodes from the top of `bits` (at least 16 valid bits). Returns the symbol, or -1 for
    // a code no table holds; `used` is the code's length.
    int decode(std::uint64_t bits, unsigned& used) const {
        std::uint32_t e = m_entries[bits >> (64 - m_primary)];
        if ((e & 0xff00) == (kLink << 8)) {
            const unsigned width = e & 0xff;
            e = m_entries[(e >> 16) + ((bits << m_primary) >> (64 - width))];
        }
        if ((e & 0xff00) != 0)
            return -1;
        used = e & 0xff;
        return static_cast<int>(e >> 16);
    }

private:
    unsigned m_primary;
    bool m_complete = false;
    std::vector<std::uint32_t> m_entries;
};

} // namespace vadok::archiver
