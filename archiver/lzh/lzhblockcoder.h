#pragma once

#include "bitwriter.h"
#include "lzhmethod.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace vadok::archiver {

// The Huffman side of the -lh5-/-lh6-/-lh7- encoder: takes literals and matches, chooses
// where blocks end and writes each block with its tables.
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
//
// Codes are weighed a segment at a time: a segment joins the block before it when coding
// both with one set of tables costs fewer bits than two blocks, tables included (estimated
// from the symbols' entropy). Uniform
// data so gets long blocks that pay for their tables once, and a change in the data (code
// after text, a picture after code) starts a block of its own.
class LzhBlockCoder {
public:
    using Sink = std::function<void(const std::uint8_t* data, std::size_t size)>;

    static constexpr unsigned kMinMatch = 3;
    static constexpr unsigned kMaxMatch = 256;
    static constexpr unsigned kLiteralCodes = 256 + kMaxMatch - kMinMatch + 1; // NC = 510
    static constexpr unsigned kTableCodes = 19;                                // NT
    static constexpr unsigned kMostPositionCodes = 17;                         // NP of -lh7-

    explicit LzhBlockCoder(const LzhMethodParams& params);
    // Starts a member whose bytes go to sink.
    void reset(Sink sink);
    void literal(std::uint8_t c) {
        m_codes[m_count++] = c;
        ++m_cFreq[c];
        if (m_count - m_blockCodes == kSegmentCodes)
            endSegment();
    }
    // length kMinMatch..kMaxMatch, distance 1..window
    void match(unsigned length, std::size_t distance) {
        const auto code = static_cast<std::uint16_t>(256 + length - kMinMatch);
        const auto position = static_cast<std::uint16_t>(distance - 1);
        m_codes[m_count++] = code;
        m_positions[m_positionCount++] = position;
        ++m_cFreq[code];
        ++m_pFreq[std::bit_width(position)];
        if (m_count - m_blockCodes == kSegmentCodes)
            endSegment();
    }
    // Writes what is pending and the last partial byte; returns the filling bits of that byte.
    unsigned finish();

private:
    // The code lengths of one block's tables.
    struct Tables {
        std::array<std::uint8_t, kLiteralCodes> cLen;
        std::array<std::uint8_t, kTableCodes> tLen;
        std::array<std::uint8_t, kMostPositionCodes> pLen;
        int pSingle = -1; // the one position symbol used, or -1 (none) or -2 (several)
    };
    // Plans the block for the frequencies, which must count at least one code.
    void plan(const std::uint32_t* cFreq, const std::uint32_t* pFreq, Tables& t) const;

    static constexpr std::size_t kSegmentCodes = 1024;
    // The count field has 16 bits.
    static constexpr std::size_t kMaxBlockCodes = 65535 / kSegmentCodes * kSegmentCodes;

    // Last: the member's end, after which no segment comes to join the block.
    void endSegment(bool last = false);
    // What a block of the frequencies would take, in bits, near enough to choose where
    // blocks end at a fraction of the cost of planning them.
    double estimate(const std::uint32_t* cFreq, const std::uint32_t* pFreq) const;
    void writeBlock();
    void writeTableLengths(const std::uint8_t* lengths, std::size_t size, unsigned countBits,
                           int skipAfter);
    void drain();

    LzhMethodParams m_params;
    Sink m_sink;
    // The pending block's codes [0, m_blockCodes), then the segment's up to m_count; the
    // positions of their matches likewise.
    std::vector<std::uint16_t> m_codes;
    std::vector<std::uint16_t> m_positions;
    std::size_t m_count = 0;
    std::size_t m_positionCount = 0;
    std::size_t m_blockCodes = 0;
    std::size_t m_blockPositions = 0;
    // Frequencies of the segment and of the pending block.
    std::array<std::uint32_t, kLiteralCodes> m_cFreq{};
    std::array<std::uint32_t, kMostPositionCodes> m_pFreq{};
    std::array<std::uint32_t, kLiteralCodes> m_blockCFreq{};
    std::array<std::uint32_t, kMostPositionCodes> m_blockPFreq{};
    double m_blockEstimate = 0;
    BitWriter m_bits;
};

} // namespace vadok::archiver
