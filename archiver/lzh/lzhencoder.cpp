#include "lzhencoder.h"

#include "huffman.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vadok::archiver {

namespace {

constexpr unsigned kMaxMatch = 256;
constexpr unsigned kMinMatch = 3;
constexpr std::size_t kMinLookahead = kMaxMatch + kMinMatch + 1;
constexpr unsigned kLiteralCodes = 256 + kMaxMatch - kMinMatch + 1; // NC = 510
constexpr unsigned kTableCodes = 19;                                // NT
constexpr unsigned kMaxCodeLength = 16;
// Smaller blocks adapt their tables to the data better; measured on a mixed application
// folder, 8192 codes per block beat both 4096 and 32768.
constexpr std::size_t kBlockCodes = 8192;
constexpr unsigned kHashBits = 16;
constexpr unsigned kHash3Bits = 16;
// Stamps stay below this; past it the tables are cleared once and the base starts again.
constexpr std::size_t kLargestBase = 0xC0000000;

// Search effort, chosen by measuring ratio against time on an application folder (the
// archiver bench's corpus): a chain is followed a quarter as far once a match of kGoodLength
// is in hand. A 3-byte match very far away costs more bits than three literals, hence kTooFar.
constexpr unsigned kGoodLength = 16;
constexpr unsigned kMaxLazy = 32;
constexpr unsigned kNiceLength = 128;
constexpr unsigned kMaxChain = 128;
constexpr std::size_t kTooFar = 16384;

unsigned bitLength(std::uint32_t v) {
    return v == 0 ? 0 : 32 - std::countl_zero(v);
}

} // namespace

LzhEncoder::LzhEncoder(LzhMethod method, Sink sink)
    : m_params(methodParams(method)), m_sink(std::move(sink)),
      m_wsize(std::size_t{1} << m_params.dictionaryBits), m_window(3 * m_wsize + 16, 0),
      m_head(std::size_t{1} << kHashBits, 0), m_prev(m_wsize, 0),
      m_head3(std::size_t{1} << kHash3Bits, 0), m_cFreq(kLiteralCodes, 0),
      m_pFreq(m_params.positionCodes, 0) {
    m_codes.reserve(kBlockCodes);
    m_positions.reserve(kBlockCodes);
}

void LzhEncoder::reset(Sink sink) {
    m_sink = std::move(sink);
    // Every position of this member lies below the new base, so its chain entries read as
    // empty from now on: the tables are never cleared between members.
    advanceBase(m_strstart + m_lookahead + 1);
    m_strstart = 0;
    m_lookahead = 0;
    m_prevLength = kMinMatch - 1;
    m_prevMatch = 0;
    m_matchAvailable = false;
    m_codes.clear();
    m_positions.clear();
    std::fill(m_cFreq.begin(), m_cFreq.end(), 0);
    std::fill(m_pFreq.begin(), m_pFreq.end(), 0);
    m_bits = BitWriter();
}

void LzhEncoder::advanceBase(std::size_t by) {
    if (m_base + by > kLargestBase) {
        std::fill(m_head.begin(), m_head.end(), 0);
        std::fill(m_prev.begin(), m_prev.end(), 0);
        std::fill(m_head3.begin(), m_head3.end(), 0);
        m_base = 1;
        return;
    }
    m_base += static_cast<std::uint32_t>(by);
}

void LzhEncoder::write(const std::uint8_t* data, std::size_t size) {
    const std::size_t capacity = 3 * m_wsize;
    while (size > 0) {
        std::size_t end = m_strstart + m_lookahead;
        if (end == capacity) {
            slide();
            end = m_strstart + m_lookahead;
        }
        const std::size_t take = std::min(size, capacity - end);
        std::memcpy(m_window.data() + end, data, take);
        m_lookahead += take;
        data += take;
        size -= take;
        process(false);
    }
}

void LzhEncoder::finish() {
    process(true);
    if (m_matchAvailable) {
        emitLiteral(m_window[m_strstart - 1]);
        m_matchAvailable = false;
    }
    sendBlock();
    m_bits.finish();
    drain();
}

void LzhEncoder::slide() {
    // Keeps at least one window of history below m_strstart. Positions move down by a whole
    // window, so the chain slots (indexed by position modulo the window) stay valid and the
    // stored stamps stay as they are: only the base moves.
    const std::size_t end = m_strstart + m_lookahead;
    std::memmove(m_window.data(), m_window.data() + m_wsize, end - m_wsize);
    m_strstart -= m_wsize;
    m_prevMatch = m_prevMatch > m_wsize ? m_prevMatch - m_wsize : 0;
    advanceBase(m_wsize);
}

namespace {

std::uint16_t load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

std::uint32_t load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// How many bytes from scan and match agree, up to maxLen; at least `from` agree already.
unsigned matchLength(const std::uint8_t* scan, const std::uint8_t* match, unsigned from,
                     unsigned maxLen) {
    unsigned len = from;
    while (len + 8 <= maxLen) {
        std::uint64_t a, b;
        std::memcpy(&a, scan + len, 8);
        std::memcpy(&b, match + len, 8);
        if (a != b)
            return len + static_cast<unsigned>(std::countr_zero(a ^ b)) / 8;
        len += 8;
    }
    while (len < maxLen && scan[len] == match[len])
        ++len;
    return len;
}

} // namespace

LzhEncoder::Candidates LzhEncoder::insert(std::size_t pos, std::size_t end) {
    const std::uint32_t stamp = stampOf(pos);
    const std::uint32_t v = load32(m_window.data() + pos);
    const std::uint32_t h3 = ((v & 0xFFFFFF) * 506832829u) >> (32 - kHash3Bits);
    Candidates c;
    c.three = m_head3[h3];
    m_head3[h3] = stamp;
    // The last three bytes of a member have no fourth: hashing what lies beyond would make
    // the output depend on earlier members.
    if (pos + 4 <= end) {
        const std::uint32_t h4 = (v * 2654435761u) >> (32 - kHashBits);
        c.four = m_head[h4];
        m_prev[pos & (m_wsize - 1)] = c.four;
        m_head[h4] = stamp;
    }
    return c;
}

unsigned LzhEncoder::longestMatch(const Candidates& candidates, std::size_t& matchPos) {
    const unsigned maxLen = static_cast<unsigned>(std::min<std::size_t>(kMaxMatch, m_lookahead));
    unsigned best = m_prevLength;
    if (best >= maxLen)
        return 0;
    // Stamps below the base belong to earlier members or slid out of the window.
    const std::uint32_t limit =
        m_base + static_cast<std::uint32_t>(m_strstart >= m_wsize ? m_strstart - m_wsize + 1 : 0);
    const std::uint8_t* window = m_window.data();
    const std::uint8_t* scan = window + m_strstart;
    unsigned found = 0;
    // The chains link positions that share four bytes; the nearest one sharing three is
    // kept apart, as a 3-byte match only pays off close by.
    if (best < kMinMatch && candidates.three >= limit) {
        const std::size_t at = candidates.three - m_base;
        if (m_strstart - at <= kTooFar) {
            const unsigned len = matchLength(scan, window + at, 0, maxLen);
            if (len >= kMinMatch) {
                best = found = len;
                matchPos = at;
                if (len >= kNiceLength || len >= maxLen)
                    return found;
            }
        }
    }
    unsigned chain = best >= kGoodLength ? kMaxChain / 4 : kMaxChain;
    const std::size_t mask = m_wsize - 1;
    // Candidates are rejected on two byte pairs first: the pair ending at the current best
    // length (a longer match must agree there) and the first pair.
    const std::uint16_t scanStart = load16(scan);
    std::uint16_t scanEnd = load16(scan + best - 1);
    std::uint32_t cur = candidates.four;
    while (cur >= limit && chain-- > 0) {
        const std::size_t at = cur - m_base;
        const std::uint8_t* match = window + at;
        if (load16(match + best - 1) == scanEnd && load16(match) == scanStart) {
            const unsigned len = matchLength(scan, match, 2, maxLen);
            if (len > best) {
                best = found = len;
                matchPos = at;
                if (len >= kNiceLength || len >= maxLen)
                    break;
                scanEnd = load16(scan + best - 1);
            }
        }
        cur = m_prev[at & mask];
    }
    return found;
}

void LzhEncoder::process(bool flushing) {
    // Lazy matching: a match found at one position is emitted only when the next position
    // does not offer a longer one.
    while (true) {
        if (m_lookahead < kMinLookahead && !flushing)
            return;
        if (m_lookahead == 0)
            return;
        Candidates candidates;
        if (m_lookahead >= kMinMatch)
            candidates = insert(m_strstart, m_strstart + m_lookahead);
        const unsigned prevLength = m_prevLength;
        const std::size_t prevMatch = m_prevMatch;
        unsigned matchLength = kMinMatch - 1;
        std::size_t matchPos = 0;
        if ((candidates.three != 0 || candidates.four != 0) && prevLength < kMaxLazy) {
            const unsigned len = longestMatch(candidates, matchPos);
            if (len >= kMinMatch && !(len == kMinMatch && m_strstart - matchPos > kTooFar))
                matchLength = len;
        }
        if (prevLength >= kMinMatch && matchLength <= prevLength) {
            emitMatch(prevLength, m_strstart - 1 - prevMatch);
            // The match covers m_strstart - 1 .. next - 1; m_strstart is already in the
            // chains, the positions after it go in now.
            const std::size_t end = m_strstart + m_lookahead;
            const std::size_t next = m_strstart + prevLength - 1;
            for (std::size_t q = m_strstart + 1; q < next; ++q)
                if (q + kMinMatch <= end)
                    insert(q, end);
            m_lookahead -= prevLength - 1;
            m_strstart = next;
            m_matchAvailable = false;
            m_prevLength = kMinMatch - 1;
        } else if (m_matchAvailable) {
            emitLiteral(m_window[m_strstart - 1]);
            m_prevLength = matchLength;
            m_prevMatch = matchPos;
            ++m_strstart;
            --m_lookahead;
        } else {
            m_matchAvailable = true;
            m_prevLength = matchLength;
            m_prevMatch = matchPos;
            ++m_strstart;
            --m_lookahead;
        }
    }
}

void LzhEncoder::emitLiteral(std::uint8_t c) {
    m_codes.push_back(c);
    ++m_cFreq[c];
    if (m_codes.size() == kBlockCodes)
        sendBlock();
}

void LzhEncoder::emitMatch(unsigned length, std::size_t distance) {
    const auto code = static_cast<std::uint16_t>(256 + length - kMinMatch);
    const auto position = static_cast<std::uint16_t>(distance - 1);
    m_codes.push_back(code);
    m_positions.push_back(position);
    ++m_cFreq[code];
    ++m_pFreq[bitLength(position)];
    if (m_codes.size() == kBlockCodes)
        sendBlock();
}

void LzhEncoder::writeTableLengths(const std::vector<std::uint8_t>& lengths, unsigned countBits,
                                   int skipAfter) {
    std::size_t n = lengths.size();
    while (n > 0 && lengths[n - 1] == 0)
        --n;
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

namespace {

template <typename Visit>
void walkCLengths(const std::vector<std::uint8_t>& cLen, std::size_t n, Visit visit) {
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

std::size_t trimmed(const std::vector<std::uint8_t>& lengths) {
    std::size_t n = lengths.size();
    while (n > 0 && lengths[n - 1] == 0)
        --n;
    return n;
}

int singleSymbol(const std::vector<std::uint32_t>& freq) {
    int found = -1;
    for (std::size_t s = 0; s < freq.size(); ++s) {
        if (freq[s] == 0)
            continue;
        if (found >= 0)
            return -2;
        found = static_cast<int>(s);
    }
    return found;
}

} // namespace

void LzhEncoder::writeCLengths(const std::vector<std::uint8_t>& cLen,
                               const std::vector<std::uint8_t>& tLen,
                               const std::vector<std::uint16_t>& tCode) {
    const std::size_t n = trimmed(cLen);
    m_bits.put(9, static_cast<std::uint32_t>(n));
    walkCLengths(cLen, n, [&](unsigned sym, unsigned extraBits, unsigned extra) {
        m_bits.put(tLen[sym], tCode[sym]);
        if (extraBits)
            m_bits.put(extraBits, extra);
    });
}

void LzhEncoder::sendBlock() {
    if (m_codes.empty())
        return;
    m_bits.put(16, static_cast<std::uint32_t>(m_codes.size()));

    // libarchive mis-decodes the single-value form of the literal table, so a block with one
    // distinct symbol gets a full table with an unused second symbol; it costs a few bits.
    std::vector<std::uint32_t> cFreq = m_cFreq;
    const int cSingle = singleSymbol(cFreq);
    if (cSingle >= 0)
        cFreq[cSingle == 0 ? 1 : 0] = 1;
    const std::vector<std::uint8_t> cLen = huffmanLengths(cFreq, kMaxCodeLength);
    std::vector<std::uint32_t> tFreq(kTableCodes, 0);
    walkCLengths(cLen, trimmed(cLen), [&](unsigned sym, unsigned, unsigned) { ++tFreq[sym]; });
    const int tSingle = singleSymbol(tFreq);
    if (tSingle >= 0)
        tFreq[tSingle == 0 ? 1 : 0] = 1;
    const std::vector<std::uint8_t> tLen = huffmanLengths(tFreq, kMaxCodeLength);
    writeTableLengths(tLen, 5, 3);
    writeCLengths(cLen, tLen, canonicalCodes(tLen));
    const std::vector<std::uint16_t> cCode = canonicalCodes(cLen);

    std::vector<std::uint8_t> pLen(m_params.positionCodes, 0);
    const int pSingle = singleSymbol(m_pFreq);
    if (pSingle == -2) {
        pLen = huffmanLengths(m_pFreq, kMaxCodeLength);
        writeTableLengths(pLen, m_params.positionBits, -1);
    } else {
        m_bits.put(m_params.positionBits, 0);
        m_bits.put(m_params.positionBits, static_cast<std::uint32_t>(std::max(pSingle, 0)));
    }
    const std::vector<std::uint16_t> pCode = canonicalCodes(pLen);

    std::size_t j = 0;
    for (const std::uint16_t c : m_codes) {
        m_bits.put(cLen[c], cCode[c]);
        if (c >= 256) {
            const std::uint16_t p = m_positions[j++];
            const unsigned b = bitLength(p);
            m_bits.put(pLen[b], pCode[b]);
            if (b > 1)
                m_bits.put(b - 1, p);
        }
    }
    m_codes.clear();
    m_positions.clear();
    std::fill(m_cFreq.begin(), m_cFreq.end(), 0);
    std::fill(m_pFreq.begin(), m_pFreq.end(), 0);
    drain();
}

void LzhEncoder::drain() {
    auto& out = m_bits.bytes();
    if (!out.empty()) {
        m_sink(out.data(), out.size());
        out.clear();
    }
}

} // namespace vadok::archiver
