#include "lzhblockcoder.h"

#include "huffman.h"

#include <algorithm>
#include <bit>

namespace vadok::archiver {

namespace {

constexpr unsigned kMaxCodeLength = 16;

unsigned bitLength(std::uint32_t v) {
    return v == 0 ? 0 : 32 - std::countl_zero(v);
}

template <typename Visit>
void walkCLengths(const std::uint8_t* cLen, std::size_t n, Visit visit) {
    // visit(tSymbol, extraBits, extraValue) for each run code of the C-table lengths.
    std::size_t i = 0;
    while (i < n) {
        const unsigned k = cLen[i++];
        if (k != 0) {
            visit(k + 2, 0u, 0u);
            continue;
        }
        unsigned count = 1;
        while (i < n && cLen[i] == 0) {
            ++i;
            ++count;
        }
        if (count <= 2) {
            for (unsigned c = 0; c < count; ++c)
                visit(0u, 0u, 0u);
        } else if (count <= 18) {
            visit(1u, 4u, count - 3);
        } else if (count == 19) {
            visit(0u, 0u, 0u);
            visit(1u, 4u, 15u);
        } else {
            visit(2u, 9u, count - 20);
        }
    }
}

std::size_t trimmed(const std::uint8_t* lengths, std::size_t n) {
    while (n > 0 && lengths[n - 1] == 0)
        --n;
    return n;
}

int singleSymbol(const std::uint32_t* freq, std::size_t n) {
    int found = -1;
    for (std::size_t s = 0; s < n; ++s) {
        if (freq[s] == 0)
            continue;
        if (found >= 0)
            return -2;
        found = static_cast<int>(s);
    }
    return found;
}

} // namespace

LzhBlockCoder::LzhBlockCoder(const LzhMethodParams& params)
    : m_params(params), m_codes(kMaxBlockCodes + kSegmentCodes),
      m_positions(kMaxBlockCodes + kSegmentCodes) {}

void LzhBlockCoder::reset(Sink sink) {
    m_sink = std::move(sink);
    m_count = m_positionCount = m_blockCodes = m_blockPositions = 0;
    m_cFreq.fill(0);
    m_pFreq.fill(0);
    m_blockCFreq.fill(0);
    m_blockPFreq.fill(0);
    m_bits.reset();
}

unsigned LzhBlockCoder::finish() {
    if (m_count > m_blockCodes)
        endSegment(true);
    if (m_blockCodes > 0)
        writeBlock();
    const unsigned filling = m_bits.finish();
    drain();
    return filling;
}

void LzhBlockCoder::plan(const std::uint32_t* cFreq, const std::uint32_t* pFreq,
                         Tables& t) const {
    // libarchive mis-decodes the single-value form of the literal table, so a block with one
    // distinct symbol gets a full table with an unused second symbol; it costs a few bits.
    const int cSingle = singleSymbol(cFreq, kLiteralCodes);
    if (cSingle >= 0) {
        std::array<std::uint32_t, kLiteralCodes> padded;
        std::copy(cFreq, cFreq + kLiteralCodes, padded.begin());
        padded[cSingle == 0 ? 1 : 0] = 1;
        huffmanLengths(padded.data(), kLiteralCodes, kMaxCodeLength, t.cLen.data());
    } else {
        huffmanLengths(cFreq, kLiteralCodes, kMaxCodeLength, t.cLen.data());
    }
    std::array<std::uint32_t, kTableCodes> tFreq{};
    const std::size_t cCount = trimmed(t.cLen.data(), kLiteralCodes);
    walkCLengths(t.cLen.data(), cCount, [&](unsigned sym, unsigned, unsigned) { ++tFreq[sym]; });
    const int tSingle = singleSymbol(tFreq.data(), kTableCodes);
    if (tSingle >= 0)
        tFreq[tSingle == 0 ? 1 : 0] = 1;
    huffmanLengths(tFreq.data(), kTableCodes, kMaxCodeLength, t.tLen.data());

    const unsigned np = m_params.positionCodes;
    t.pSingle = singleSymbol(pFreq, np);
    if (t.pSingle == -2) {
        huffmanLengths(pFreq, np, kMaxCodeLength, t.pLen.data());
    } else {
        std::fill(t.pLen.begin(), t.pLen.end(), std::uint8_t{0});
    }
}

void LzhBlockCoder::endSegment(bool last) {
    const std::size_t segmentPositions = m_positionCount - m_blockPositions;
    // A member's last segment with no block before it is its last block as it stands: nothing
    // weighs it, and most members of an application folder are that small.
    const double alone =
        last && m_blockCodes == 0 ? 0 : estimate(m_cFreq.data(), m_pFreq.data());
    bool joins = false;
    if (m_blockCodes > 0 && m_count <= kMaxBlockCodes) {
        std::array<std::uint32_t, kLiteralCodes> cBoth;
        std::array<std::uint32_t, kMostPositionCodes> pBoth;
        for (unsigned s = 0; s < kLiteralCodes; ++s)
            cBoth[s] = m_blockCFreq[s] + m_cFreq[s];
        for (unsigned s = 0; s < kMostPositionCodes; ++s)
            pBoth[s] = m_blockPFreq[s] + m_pFreq[s];
        const double both = estimate(cBoth.data(), pBoth.data());
        joins = both <= m_blockEstimate + alone;
        if (joins) {
            m_blockCFreq = cBoth;
            m_blockPFreq = pBoth;
            m_blockEstimate = both;
        }
    }
    if (!joins) {
        if (m_blockCodes > 0)
            writeBlock();
        // The segment, moved to the front by writeBlock, is the pending block now.
        m_blockCFreq = m_cFreq;
        m_blockPFreq = m_pFreq;
        m_blockEstimate = alone;
    }
    m_blockCodes = m_count;
    m_blockPositions = m_blockPositions + segmentPositions;
    m_cFreq.fill(0);
    m_pFreq.fill(0);
}

namespace {

// log2(x) for x >= 1 within about 0.01, from the float's exponent and a quadratic in its
// mantissa: the estimate below takes it for every symbol of three tables per segment.
constexpr float approxLog2(float x) {
    auto bits = std::bit_cast<std::uint32_t>(x);
    const auto exponent = static_cast<float>(static_cast<int>(bits >> 23) - 127);
    bits = (bits & 0x7FFFFFu) | 0x3F800000u;
    const auto m = std::bit_cast<float>(bits);
    return exponent + (-0.34484843f * m + 2.02466578f) * m - 0.67487759f;
}

constexpr float fLog2F(std::uint32_t f) {
    const auto x = static_cast<float>(f);
    return f == 0 ? 0.0f : x * approxLog2(x);
}

// f log2 f for the counts a segment of codes can reach, worked out by the compiler: a block's
// counts go higher and are rare enough to work out as they come.
constexpr std::uint32_t kTabulated = 1025;
constexpr auto kFLog2F = [] {
    std::array<float, kTabulated> table{};
    for (std::uint32_t f = 0; f < kTabulated; ++f)
        table[f] = fLog2F(f);
    return table;
}();

// Bits of the symbols by their entropy, n log n - sum f log f, and how many are used. Unused
// symbols add nothing, without a branch that mispredicts on every other one.
double entropyBits(const std::uint32_t* freq, std::size_t n, unsigned& used) {
    // The longest match lengths seldom occur: the table's top is mostly unused.
    while (n > 0 && freq[n - 1] == 0)
        --n;
    std::uint64_t total = 0;
    double sum = 0;
    unsigned count = 0;
    for (std::size_t s = 0; s < n; ++s) {
        const std::uint32_t f = freq[s];
        sum += f < kTabulated ? kFLog2F[f] : fLog2F(f);
        total += f;
        count += f != 0;
    }
    used = count;
    return total > 0 ? static_cast<double>(total) * approxLog2(static_cast<float>(total)) - sum : 0;
}

} // namespace

double LzhBlockCoder::estimate(const std::uint32_t* cFreq, const std::uint32_t* pFreq) const {
    // The tables cost about three bits per literal/length symbol used, four per position
    // symbol and a fixed part: the figures that chose blocks as well as planning them all
    // did on the archiver bench's corpus.
    unsigned cUsed = 0;
    unsigned pUsed = 0;
    const double bits = entropyBits(cFreq, kLiteralCodes, cUsed) +
                        entropyBits(pFreq, m_params.positionCodes, pUsed);
    return bits + 3.0 * cUsed + 4.0 * pUsed + 100.0;
}

void LzhBlockCoder::writeTableLengths(const std::uint8_t* lengths, std::size_t size,
                                      unsigned countBits, int skipAfter) {
    const std::size_t n = trimmed(lengths, size);
    m_bits.put(countBits, static_cast<std::uint32_t>(n));
    std::size_t i = 0;
    while (i < n) {
        const unsigned k = lengths[i++];
        if (k <= 6)
            m_bits.put(3, k);
        else
            m_bits.put(k - 3, (1u << (k - 3)) - 2);
        if (static_cast<int>(i) == skipAfter) {
            while (i < 6 && i < n && lengths[i] == 0)
                ++i;
            m_bits.put(2, static_cast<std::uint32_t>(i - 3));
        }
    }
}

void LzhBlockCoder::writeBlock() {
    Tables t;
    plan(m_blockCFreq.data(), m_blockPFreq.data(), t);
    m_bits.put(16, static_cast<std::uint32_t>(m_blockCodes));
    writeTableLengths(t.tLen.data(), kTableCodes, 5, 3);
    std::array<std::uint16_t, kTableCodes> tCode;
    canonicalCodes(t.tLen.data(), kTableCodes, tCode.data());
    const std::size_t cCount = trimmed(t.cLen.data(), kLiteralCodes);
    m_bits.put(9, static_cast<std::uint32_t>(cCount));
    walkCLengths(t.cLen.data(), cCount, [&](unsigned sym, unsigned extraBits, unsigned extra) {
        m_bits.put(t.tLen[sym], tCode[sym]);
        if (extraBits)
            m_bits.put(extraBits, extra);
    });
    // Symbols past the table's count have no code and never occur in the block.
    std::array<std::uint16_t, kLiteralCodes> cCode;
    canonicalCodes(t.cLen.data(), cCount, cCode.data());

    const unsigned np = m_params.positionCodes;
    if (t.pSingle == -2) {
        writeTableLengths(t.pLen.data(), np, m_params.positionBits, -1);
    } else {
        m_bits.put(m_params.positionBits, 0);
        m_bits.put(m_params.positionBits, static_cast<std::uint32_t>(std::max(t.pSingle, 0)));
    }
    std::array<std::uint16_t, kMostPositionCodes> pCode;
    canonicalCodes(t.pLen.data(), np, pCode.data());

    // Each code's length and bits in one word, and for each position symbol b what turns a
    // position p of that bit length into its code and the bits below its top one, in one
    // addition: (code << (b - 1)) + p - 2^(b - 1). One load per code, where the loop (every
    // literal and match passes through it) took one for each part.
    std::array<std::uint32_t, kLiteralCodes> cWord;
    for (std::size_t c = 0; c < cCount; ++c)
        cWord[c] = std::uint32_t{cCode[c]} << 8 | t.cLen[c];
    std::array<std::uint32_t, kMostPositionCodes> pBase;
    std::array<std::uint8_t, kMostPositionCodes> pBits;
    for (unsigned b = 0; b < np; ++b) {
        const unsigned extra = b > 1 ? b - 1 : 0;
        pBits[b] = static_cast<std::uint8_t>(t.pLen[b] + extra);
        pBase[b] = (std::uint32_t{pCode[b]} << extra) - (b > 0 ? 1u << extra : 0u);
    }

    // A code takes at most 16 bits, a position's code and bits 31 more.
    m_bits.reserve(m_blockCodes * 6);
    {
        BitWriter::Run run(m_bits);
        const std::uint16_t* position = m_positions.data();
        const std::uint16_t* const codes = m_codes.data();
        const std::size_t count = m_blockCodes;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint16_t c = codes[i];
            run.put(cWord[c] & 0xFF, cWord[c] >> 8);
            if (c >= 256) {
                const std::uint16_t p = *position++;
                const unsigned b = bitLength(p);
                run.put(pBits[b], pBase[b] + p);
            }
        }
    }
    // The segment after the block moves to the front.
    std::copy(m_codes.begin() + static_cast<std::ptrdiff_t>(m_blockCodes),
              m_codes.begin() + static_cast<std::ptrdiff_t>(m_count), m_codes.begin());
    std::copy(m_positions.begin() + static_cast<std::ptrdiff_t>(m_blockPositions),
              m_positions.begin() + static_cast<std::ptrdiff_t>(m_positionCount),
              m_positions.begin());
    m_count -= m_blockCodes;
    m_positionCount -= m_blockPositions;
    m_blockCodes = 0;
    m_blockPositions = 0;
    drain();
}

void LzhBlockCoder::drain() {
    if (m_bits.size() > 0) {
        m_sink(m_bits.data(), m_bits.size());
        m_bits.clear();
    }
}

} // namespace vadok::archiver
