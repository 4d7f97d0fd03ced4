#pragma once

#include <cstdint>
#include <vector>

namespace vadok::archiver {

// Collects bits most significant first, as LZH's Huffman streams are laid out. The caller
// drains whole bytes from bytes(); finish() writes the last partial byte, zero-filled,
// and never a padding byte after it (libarchive rejects a member whose data runs longer).
class BitWriter {
public:
    void put(unsigned count, std::uint32_t value) {
        // count <= 24; whole bytes leave four at a time, which keeps the accumulator within
        // 64 bits and the per-code cost low (every literal and match passes through here).
        m_acc = (m_acc << count) | (value & ((1u << count) - 1u));
        m_bits += count;
        if (m_bits >= 32) {
            m_bits -= 32;
            const auto word = static_cast<std::uint32_t>(m_acc >> m_bits);
            const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(word >> 24),
                                           static_cast<std::uint8_t>(word >> 16),
                                           static_cast<std::uint8_t>(word >> 8),
                                           static_cast<std::uint8_t>(word)};
            m_out.insert(m_out.end(), bytes, bytes + 4);
            m_acc &= (std::uint64_t{1} << m_bits) - 1u;
        }
    }
    void finish() {
        while (m_bits >= 8) {
            m_bits -= 8;
            m_out.push_back(static_cast<std::uint8_t>(m_acc >> m_bits));
        }
        if (m_bits > 0)
            m_out.push_back(static_cast<std::uint8_t>(m_acc << (8 - m_bits)));
        m_bits = 0;
        m_acc = 0;
    }
    // Whole bytes written so far; up to 31 bits may still wait in the accumulator.
    std::vector<std::uint8_t>& bytes() { return m_out; }

private:
    std::uint64_t m_acc = 0;
    unsigned m_bits = 0;
    std::vector<std::uint8_t> m_out;
};

} // namespace vadok::archiver
