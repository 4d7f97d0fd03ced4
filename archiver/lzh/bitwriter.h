#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vadok::archiver {

// Collects bits most significant first, as LZH's Huffman streams are laid out. The caller
// takes whole bytes from data()/size() and clear()s them; finish() writes the last partial
// byte, zero-filled, and never a padding byte after it (libarchive rejects a member whose
// data runs longer).
class BitWriter {
public:
    void put(unsigned count, std::uint32_t value) {
        if (m_bits + count >= 32 && m_size + 4 > m_out.size())
            grow();
        putReserved(count, value & static_cast<std::uint32_t>((std::uint64_t{1} << count) - 1u));
    }
    // Makes room for `bytes` more bytes, which putReserved may then write unchecked.
    void reserve(std::size_t bytes) {
        while (m_size + bytes + 4 > m_out.size())
            grow();
    }
    // put() without the checks, for the codes of a block: value has no bits above count, and
    // reserve() made room.
    void putReserved(unsigned count, std::uint32_t value) { Run(*this).put(count, value); }
    // putReserved() for a block's codes with the writer's state in locals until the run ends:
    // the words it stores are bytes, which may alias anything, and made the compiler reload
    // the state from the writer after each.
    class Run {
    public:
        explicit Run(BitWriter& writer)
            : m_writer(writer), m_acc(writer.m_acc), m_bits(writer.m_bits),
              m_out(writer.m_out.data() + writer.m_size), m_begin(m_out - writer.m_size) {}
        ~Run() {
            m_writer.m_acc = m_acc;
            m_writer.m_bits = m_bits;
            m_writer.m_size = static_cast<std::size_t>(m_out - m_begin);
        }
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;

        void put(unsigned count, std::uint32_t value) {
            // count <= 32; whole bytes leave four at a time, which keeps the accumulator
            // within 64 bits and the per-code cost low (every literal and match passes here).
            // The bits above m_bits stay: each later code shifts them further up, out of every
            // word and byte taken below them.
            m_acc = (m_acc << count) | value;
            m_bits += count;
            if (m_bits >= 32) {
                m_bits -= 32;
                const auto word = __builtin_bswap32(static_cast<std::uint32_t>(m_acc >> m_bits));
                std::memcpy(m_out, &word, 4);
                m_out += 4;
            }
        }

    private:
        BitWriter& m_writer;
        std::uint64_t m_acc;
        unsigned m_bits;
        std::uint8_t* m_out;
        std::uint8_t* m_begin;
    };

    // Returns how many bits of the last byte are filling (0..7), which a stream joined after
    // this one overwrites.
    unsigned finish() {
        if (m_size + 4 > m_out.size())
            grow();
        while (m_bits >= 8) {
            m_bits -= 8;
            m_out[m_size++] = static_cast<std::uint8_t>(m_acc >> m_bits);
        }
        const unsigned filling = m_bits > 0 ? 8 - m_bits : 0;
        if (m_bits > 0)
            m_out[m_size++] = static_cast<std::uint8_t>(m_acc << (8 - m_bits));
        m_bits = 0;
        m_acc = 0;
        return filling;
    }
    // Whole bytes written so far; up to 31 bits may still wait in the accumulator.
    const std::uint8_t* data() const { return m_out.data(); }
    std::size_t size() const { return m_size; }
    // Forgets the whole bytes, keeping the buffer for the next ones.
    void clear() { m_size = 0; }
    // Back to empty, bits waiting included: a new member.
    void reset() {
        m_size = 0;
        m_bits = 0;
        m_acc = 0;
    }

private:
    void grow() { m_out.resize(m_out.empty() ? 4096 : 2 * m_out.size()); }

    std::uint64_t m_acc = 0;
    unsigned m_bits = 0;
    std::vector<std::uint8_t> m_out; // filled up to m_size
    std::size_t m_size = 0;
};

} // namespace vadok::archiver
