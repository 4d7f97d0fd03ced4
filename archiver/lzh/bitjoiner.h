#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>

namespace vadok::archiver {

// Joins bit streams end to end into one: a stream's last byte may end in filling bits, and
// the next stream starts at the bit where the one before ended, as the parts of a member
// compressed apart must to decode as one run of blocks. Whole bytes go to the sink as soon as
// they are known.
class BitJoiner {
public:
    using Sink = std::function<void(const std::uint8_t* data, std::size_t size)>;

    explicit BitJoiner(Sink sink) : m_sink(std::move(sink)) {}

    // Bytes of the current stream, which may yet end in filling.
    void write(const std::uint8_t* data, std::size_t size) {
        if (size == 0)
            return;
        if (m_held)
            emit(&m_heldByte, 1);
        emit(data, size - 1);
        m_heldByte = data[size - 1];
        m_held = true;
    }
    // The current stream ended with `filling` (0..7) bits of filling in its last byte.
    void endStream(unsigned filling) {
        if (!m_held)
            return;
        m_held = false;
        const unsigned bits = 8 - filling;
        const auto top = static_cast<std::uint8_t>(m_heldByte & (0xFFu << filling));
        unsigned acc = (unsigned{m_carry} << 8) | (unsigned{top} << (8 - m_carryBits));
        unsigned count = m_carryBits + bits;
        if (count >= 8) {
            const auto whole = static_cast<std::uint8_t>(acc >> 8);
            m_sink(&whole, 1);
            acc <<= 8;
            count -= 8;
        }
        m_carry = static_cast<std::uint8_t>(acc >> 8);
        m_carryBits = count;
    }
    // Writes the last partial byte, zero-filled.
    void finish() {
        if (m_held) {
            emit(&m_heldByte, 1);
            m_held = false;
        }
        if (m_carryBits > 0)
            m_sink(&m_carry, 1);
        m_carry = 0;
        m_carryBits = 0;
    }

private:
    // Whole bytes at the current bit.
    void emit(const std::uint8_t* data, std::size_t size) {
        if (size == 0)
            return;
        if (m_carryBits == 0)
            return m_sink(data, size);
        while (size > 0) {
            const std::size_t n = std::min(size, m_shifted.size());
            shift(data, n);
            m_sink(m_shifted.data(), n);
            data += n;
            size -= n;
        }
    }
    void shift(const std::uint8_t* data, std::size_t size) {
        const unsigned low = 8 - m_carryBits;
        std::uint8_t* out = m_shifted.data();
        // Eight bytes at a time, as one big-endian word; the carry is the bits shifted out.
        std::uint64_t carry = std::uint64_t{m_carry} << 56;
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, data + i, 8);
            word = __builtin_bswap64(word);
            const std::uint64_t shifted = __builtin_bswap64(carry | (word >> m_carryBits));
            std::memcpy(out + i, &shifted, 8);
            carry = word << (64 - m_carryBits);
        }
        auto c = static_cast<std::uint8_t>(carry >> 56);
        for (; i < size; ++i) {
            out[i] = static_cast<std::uint8_t>(c | (data[i] >> m_carryBits));
            c = static_cast<std::uint8_t>(data[i] << low);
        }
        m_carry = c;
    }

    Sink m_sink;
    std::uint8_t m_carry = 0; // m_carryBits bits not yet written, from the top bit down
    unsigned m_carryBits = 0;
    std::uint8_t m_heldByte = 0;
    bool m_held = false;
    std::array<std::uint8_t, 4096> m_shifted;
};

} // namespace vadok::archiver
