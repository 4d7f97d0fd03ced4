#pragma once

#include "lzhdecoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>

namespace vadok::archiver {

// Most-significant-bit-first reader over a member's compressed data. The top `count` bits
// of `bits` are the next ones in the stream. Past the end of the data it reads zeros, as
// the LHA encoders' own readers do, and remembers whether any zero it handed out was such
// padding: overran() then tells the data ended early.
//
// The hot loops copy bits/count/pos into locals (stores to the output bytes may alias any
// member) and call refillFast while at least 8 input bytes are buffered.
class LzhBitReader {
public:
    // Reads `ahead` in place, then what the source gives. The buffer for the source's bytes
    // is taken only once they are needed (most members lie whole in their reader's buffer)
    // and left uninitialised: only bytes the source filled are ever loaded.
    explicit LzhBitReader(const DataSource& source, std::span<const std::uint8_t> ahead = {})
        : end(ahead.size()), m_source(source), m_data(ahead.data()) {}

    std::uint64_t bits = 0;
    unsigned count = 0;
    std::size_t pos = 0;
    std::size_t end = 0;

    const std::uint8_t* input() const { return m_data; }

    // Tops the buffer up to at least 56 valid bits. The eight bytes loaded may reach past the
    // bytes counted in; those low bits are ORed in again, identically, by the next refill.
    static void refillFast(std::uint64_t& b, unsigned& c, const std::uint8_t* in, std::size_t& p) {
        std::uint64_t v;
        std::memcpy(&v, in + p, 8);
        v = __builtin_bswap64(v);
        b |= v >> c;
        p += (63 - c) >> 3;
        c |= 56;
    }

    // Inlined where tables are read, a code at a time (a million calls over an application);
    // the rare slow path stays out of line.
    [[gnu::always_inline]] void refill() {
        if (end - pos >= 8)
            refillFast(bits, count, m_data, pos);
        else
            refillSlow();
    }

    // n in 1..32
    std::uint32_t get(unsigned n) {
        if (count < n)
            refill();
        const auto v = static_cast<std::uint32_t>(bits >> (64 - n));
        bits <<= n;
        count -= n;
        return v;
    }

    bool overran() const { return count < m_padBits; }

    // The bits of the data not read yet, counting what one more read of the source brings:
    // enough to tell a last partial byte from data left over.
    std::uint64_t bitsLeft() {
        if (pos == end && !m_eof) {
            takeOwnBuffer();
            end = m_source(m_own.get(), kChunk);
            m_eof = end == 0;
        }
        return (count > m_padBits ? count - m_padBits : 0) + 8 * (end - pos);
    }

private:
    static constexpr std::size_t kChunk = 64 * 1024;

    // Moves the bytes not read yet to the start of the own buffer, taking it first if the
    // reader is still in `ahead`: the source may overwrite where `ahead` lay.
    void takeOwnBuffer() {
        if (!m_own) {
            m_own.reset(new std::uint8_t[kChunk + 8]);
            if (end > pos)
                std::memcpy(m_own.get(), m_data + pos, end - pos);
            m_data = m_own.get();
        } else {
            std::memmove(m_own.get(), m_own.get() + pos, end - pos);
        }
        end -= pos;
        pos = 0;
    }

    [[gnu::noinline]] void refillSlow() {
        if (!m_eof) {
            takeOwnBuffer();
            while (end < kChunk && !m_eof) {
                const std::size_t got = m_source(m_own.get() + end, kChunk - end);
                if (got == 0)
                    m_eof = true;
                end += got;
            }
            if (end - pos >= 8) {
                refillFast(bits, count, m_data, pos);
                return;
            }
        }
        while (count <= 56) {
            std::uint64_t byte = 0;
            if (pos < end)
                byte = m_data[pos++];
            else
                m_padBits += 8;
            bits |= byte << (56 - count);
            count += 8;
        }
    }

    const DataSource& m_source;
    std::unique_ptr<std::uint8_t[]> m_own;
    const std::uint8_t* m_data; // `ahead`, or m_own once the source is read
    bool m_eof = false;
    std::uint64_t m_padBits = 0;
};

// A decoding buffer each thread keeps between members: most members of an application are
// small, and allocating a buffer and filling its history for each of them cost about as
// much as decoding them.
struct LzhOutputBuffer {
    static constexpr std::size_t kLargestKept = 4 << 20;
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t capacity = 0;
    std::size_t filled = 0; // the first `filled` bytes hold fillByte
    int fillByte = -1;
    bool inUse = false;

    static LzhOutputBuffer& ofThisThread() {
        static thread_local LzhOutputBuffer buffer;
        return buffer;
    }
};

// The decoded bytes of a member: `history` bytes of what came before (or the window's
// initial contents), then up to a chunk of new output. Decoders write at `pos` (a match may
// run up to kOverrun bytes past stop()) and call flush() once pos reaches stop(); flush hands
// the new bytes to the sink, never more than the member's size, and slides the history down.
class LzhOutput {
public:
    static constexpr std::size_t kOverrun = 512;

    // A small member gets a buffer of its own size: most members of an application are small,
    // and the chunk is there for the large ones. Only the history needs initial contents.
    LzhOutput(std::size_t history, std::size_t chunk, std::uint64_t size, const DecodedSink& sink)
        : m_history(history), m_chunk(static_cast<std::size_t>(std::min<std::uint64_t>(chunk, size))),
          m_left(size), m_sink(sink), pos(history) {
        const std::size_t need = history + m_chunk + kOverrun;
        LzhOutputBuffer& kept = LzhOutputBuffer::ofThisThread();
        if (kept.inUse || need > LzhOutputBuffer::kLargestKept) {
            m_own.reset(new std::uint8_t[need]);
            m_buf = m_own.get();
            return;
        }
        if (kept.capacity < need) {
            // Grown at once to what the largest member of this method needs: members come
            // in every size, and each larger buffer taken was faulted in page by page anew.
            // Pages never written cost nothing.
            const std::size_t full = history + chunk + kOverrun;
            const std::size_t take =
                full <= LzhOutputBuffer::kLargestKept ? std::max(need, full) : need;
            kept.bytes.reset(new std::uint8_t[take]);
            kept.capacity = take;
            kept.filled = 0;
        }
        kept.inUse = true;
        m_kept = &kept;
        m_keptFilled = kept.filled;
        m_keptFillByte = kept.fillByte;
        // Until fillHistory says otherwise, the decoder may write anything there.
        kept.filled = 0;
        m_buf = kept.bytes.get();
    }
    ~LzhOutput() {
        if (m_kept)
            m_kept->inUse = false;
    }
    LzhOutput(const LzhOutput&) = delete;
    LzhOutput& operator=(const LzhOutput&) = delete;

    std::uint8_t* data() { return m_buf; }
    std::size_t history() const { return m_history; }
    bool done() const { return m_left == 0; }

    // Fills the history with byte, unless the kept buffer holds it there already.
    void fillHistory(std::uint8_t byte) {
        if (!m_kept || m_keptFillByte != byte || m_keptFilled < m_history)
            std::memset(m_buf, byte, m_history);
        if (m_kept) {
            // Output goes after the history: the history stays as filled until flush slides.
            m_kept->filled = m_history;
            m_kept->fillByte = byte;
        }
    }

    std::size_t stop() const {
        return m_history + static_cast<std::size_t>(std::min<std::uint64_t>(m_chunk, m_left));
    }

    // false when the sink refused the bytes
    bool flush() {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(pos - m_history, m_left));
        if (n > 0 && !m_sink(m_buf + m_history, n))
            return false;
        m_left -= n;
        if (m_left > 0) {
            std::memmove(m_buf, m_buf + pos - m_history, m_history);
            pos = m_history;
            if (m_kept)
                m_kept->filled = 0;
        }
        return true;
    }

private:
    std::size_t m_history;
    std::size_t m_chunk;
    std::uint64_t m_left;
    const DecodedSink& m_sink;
    std::unique_ptr<std::uint8_t[]> m_own;
    LzhOutputBuffer* m_kept = nullptr;
    std::size_t m_keptFilled = 0;
    int m_keptFillByte = -1;
    std::uint8_t* m_buf = nullptr;

public:
    std::size_t pos;
};

// Ends a chunk of a decoder that reads its codes one by one: data that ran out before the
// chunk was full is damage, else the chunk goes to the sink.
inline DecodeStatus endChunk(const LzhBitReader& bits, LzhOutput& output, std::string& error) {
    if (bits.overran()) {
        error = "the data ends early";
        return DecodeStatus::Damaged;
    }
    if (!output.flush()) {
        error = "the output refused the data";
        return DecodeStatus::Refused;
    }
    return DecodeStatus::Ok;
}

} // namespace vadok::archiver
