#pragma once

#include "bitwriter.h"
#include "lzhmethod.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace vadok::archiver {

// Streaming LZSS + static Huffman encoder producing the data part of an -lh5-/-lh6-/-lh7-
// member. Input arrives in pieces through write(); compressed bytes leave through the sink
// after each block, so memory stays bounded by the window and one block of tokens.
//
// Block layout (all fields most significant bit first):
//   16 bits   number of codes in the block
//   T table   lengths of the 19-symbol table that codes the C-table lengths (TBIT = 5):
//             count n, then each length as 3 bits (0..6) or 111 followed by (len-7) ones and
//             a zero; after the third length a 2-bit count of zero lengths to skip.
//             n = 0 means a single symbol, given in the next 5 bits.
//   C table   count n (9 bits) and the lengths of the 510 literal/length symbols, coded with
//             the T table: 0 = one zero length, 1 + 4 bits = 3..18 zeros, 2 + 9 bits = 20..531
//             zeros, k + 2 = length k. n = 0 means a single symbol, given in the next 9 bits.
//   P table   like the T table with PBIT-wide count and no skip field; its symbols are the
//             bit lengths of match distances.
//   codes     symbols 0..255 are literals; 256 + (len - 3) a match of len 3..256, followed by
//             the P code of bitlen(distance - 1) and that value's bits below the top one.
class LzhEncoder {
public:
    using Sink = std::function<void(const std::uint8_t* data, std::size_t size)>;

    LzhEncoder(LzhMethod method, Sink sink);
    // Starts a new member with the same method, reusing the tables.
    void reset(Sink sink);
    void write(const std::uint8_t* data, std::size_t size);
    // Compresses what is left and writes the last partial byte. No write() after it.
    void finish();

private:
    void process(bool flushing);
    void slide();
    // The most recent earlier positions that share three and four bytes with a position.
    struct Candidates {
        std::uint32_t three = 0;
        std::uint32_t four = 0;
    };
    // Enters pos (with at least three bytes before end) into the tables.
    Candidates insert(std::size_t pos, std::size_t end);
    unsigned longestMatch(const Candidates& candidates, std::size_t& matchPos);
    void advanceBase(std::size_t by);
    std::uint32_t stampOf(std::size_t pos) const { return m_base + static_cast<std::uint32_t>(pos); }
    void emitLiteral(std::uint8_t c);
    void emitMatch(unsigned length, std::size_t distance);
    void sendBlock();
    void writeTableLengths(const std::vector<std::uint8_t>& lengths, unsigned countBits,
                           int skipAfter);
    void writeCLengths(const std::vector<std::uint8_t>& cLen, const std::vector<std::uint8_t>& tLen,
                       const std::vector<std::uint16_t>& tCode);
    void drain();

    LzhMethodParams m_params;
    Sink m_sink;
    std::size_t m_wsize;
    std::vector<std::uint8_t> m_window;
    // Hash chains (by four bytes) hold stamps, a window position plus m_base; stamps below m_base (0 among
    // them) are empty. Moving the base on slides and between members leaves the tables as
    // they are, where clearing them cost more than compressing a small member.
    std::vector<std::uint32_t> m_head;
    std::vector<std::uint32_t> m_prev;
    std::vector<std::uint32_t> m_head3; // by a hash of three bytes: the latest stamp only
    std::uint32_t m_base = 1;
    std::size_t m_strstart = 0;
    std::size_t m_lookahead = 0;

    unsigned m_prevLength = 2;
    std::size_t m_prevMatch = 0;
    bool m_matchAvailable = false;

    std::vector<std::uint16_t> m_codes;
    std::vector<std::uint16_t> m_positions;
    std::vector<std::uint32_t> m_cFreq;
    std::vector<std::uint32_t> m_pFreq;
    BitWriter m_bits;
};

} // namespace vadok::archiver
