#pragma once

#include <cstdint>
#include <vector>

namespace vadok::archiver {

// Collects bits most significant first, as LZH's Huffman streams are laid out. The caller
// drains whole bytes with takeBytes(); finish() writes the last partial byte, zero-filled,
// and never a padding byte after it (libarchive rejects a member whose data runs longer).
class BitWriter {
public:
    void put(unsigned count, std::uint32_t value) {
        // count <= 24 keeps the accumulator within 32 bits.
        m_acc = (m_acc << count) | (value & ((1u << count) - 1u));
        m_bits += count;
        while (m_bits >= 8) {
            m_bits -= 8;
            m_out.push_back(static_cast<std::uint8_t>(m_acc >> m_bits));
        }
        m_acc &= (1u << m_bits) - 1u;
    }
    void finish() {
        if (m_bits > 0)
            m_out.push_back(static_cast<std::uint8_t>(m_acc << (8 - m_bits)));
        m_bits = 0;
        m_acc = 0;
    }
    std::vector<std::uint8_t>& bytes() { return m_out; }

private:
    std::uint32_t m_acc = 0;
    unsigned m_bits = 0;
    std::vector<std::uint8_t> m_out;
};

} // namespace vadok::archiver
