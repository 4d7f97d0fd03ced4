#include "lzhencoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vadok::archiver {

namespace {

constexpr unsigned kMaxMatch = LzhBlockCoder::kMaxMatch;
constexpr unsigned kMinMatch = LzhBlockCoder::kMinMatch;
constexpr std::size_t kMinLookahead = kMaxMatch + kMinMatch + 1;
// Twice as many chain heads as -lh7-'s window has positions: with as many, collisions took a
// share of each search that in binaries went to real candidates, for a larger archive at more
// work.
constexpr unsigned kHashBits = 17;
constexpr unsigned kHash3Bits = 16;
// Stamps stay below this; past it the tables are cleared once and the base starts again.
constexpr std::size_t kLargestBase = 0xC0000000;

// Search effort, chosen by measuring ratio against time on an application folder (the
// archiver bench's corpus): a chain is followed a quarter as far once a match of kGoodLength
// is in hand. A 3-byte match very far away costs more bits than three literals, hence kTooFar.
// Longer chains bought little: blocks chosen by cost and matches weighed by their distance
// (worthMore) gained more, for less time.
constexpr unsigned kGoodLength = 16;
constexpr unsigned kMaxLazy = 32;
constexpr unsigned kNiceLength = 128;
constexpr unsigned kMaxChain = 24;
constexpr std::size_t kTooFar = 16384;

// Whether a match gaining `longer` bytes over another, at a distance of farBits more bits
// (negative: nearer), is the better one. A byte of input costs about four bits of output,
// so a longer match far away can cost more than the bytes it adds save; the larger `slack`,
// the more the other match must gain.
bool worthMore(int longer, int farBits, int slack) {
    return 4 * longer - farBits > slack;
}

int bitWidth(std::size_t distance) {
    return static_cast<int>(std::bit_width(distance));
}

} // namespace

LzhEncoder::LzhEncoder(LzhMethod method, Sink sink)
    : m_params(methodParams(method)), m_wsize(std::size_t{1} << m_params.dictionaryBits),
      m_window(3 * m_wsize + 16, 0), m_head(std::size_t{1} << kHashBits, 0), m_prev(m_wsize, 0),
      m_head3(std::size_t{1} << kHash3Bits, 0), m_blocks(m_params) {
    m_blocks.reset(std::move(sink));
}

void LzhEncoder::reset(Sink sink) {
    m_blocks.reset(std::move(sink));
    // Every position of this member lies below the new base, so its chain entries read as
    // empty from now on: the tables are never cleared between members.
    advanceBase(m_strstart + m_lookahead + 1);
    m_strstart = 0;
    m_lookahead = 0;
    m_history = 0;
    m_prevLength = kMinMatch - 1;
    m_prevMatch = 0;
    m_matchAvailable = false;
}

void LzhEncoder::reset(Sink sink, const std::uint8_t* history, std::size_t size) {
    reset(std::move(sink));
    m_history = std::min(size, m_wsize);
    write(history + (size - m_history), m_history);
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

unsigned LzhEncoder::finish() {
    process(true);
    if (m_matchAvailable) {
        m_blocks.literal(m_window[m_strstart - 1]);
        m_matchAvailable = false;
    }
    return m_blocks.finish();
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

// Enters pos into the tables and gives the latest earlier positions of its hashes. Flushing
// is the member's end, where fewer than four bytes may follow pos: hashing what lies beyond
// would make the output depend on earlier members.
template <bool Flushing>
LzhEncoder::Candidates LzhEncoder::insert(std::size_t pos, std::size_t end) {
    const std::uint32_t stamp = stampOf(pos);
    const std::uint32_t v = load32(m_window.data() + pos);
    Candidates c;
    if (Flushing && pos + kMinMatch > end)
        return c;
    const std::uint32_t h3 = ((v & 0xFFFFFF) * 506832829u) >> (32 - kHash3Bits);
    c.three = m_head3[h3];
    m_head3[h3] = stamp;
    if (!Flushing || pos + 4 <= end) {
        const std::uint32_t h4 = (v * 2654435761u) >> (32 - kHashBits);
        c.four = m_head[h4];
        m_prev[pos & (m_wsize - 1)] = c.four;
        m_head[h4] = stamp;
    }
    return c;
}

unsigned LzhEncoder::longestMatch(const Candidates& candidates, unsigned best, unsigned maxLen,
                                  std::size_t& matchPos) {
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
    const std::uint32_t* prev = m_prev.data();
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
            // Candidates come nearest first; a farther one must be worth its distance.
            if (len > best &&
                (found == 0 || worthMore(static_cast<int>(len - best),
                                         bitWidth(m_strstart - at) - bitWidth(m_strstart - matchPos),
                                         -3))) {
                best = found = len;
                matchPos = at;
                if (len >= kNiceLength || len >= maxLen)
                    break;
                scanEnd = load16(scan + best - 1);
            }
        }
        cur = prev[at & mask];
    }
    return found;
}

void LzhEncoder::process(bool flushing) {
    if (flushing)
        run<true>();
    else
        run<false>();
}

template <bool Flushing>
void LzhEncoder::run() {
    // Lazy matching: a match found at one position is emitted only when the next position
    // does not offer a longer one. Short of the member's end, at least kMinLookahead bytes
    // follow every position looked at, so a match never needs its length cut to the input.
    while (m_history > 0 && (Flushing ? m_lookahead > 0 : m_lookahead >= kMinLookahead)) {
        insert<Flushing>(m_strstart, m_strstart + m_lookahead);
        ++m_strstart;
        --m_lookahead;
        --m_history;
    }
    while (Flushing ? m_lookahead > 0 : m_lookahead >= kMinLookahead) {
        const std::size_t end = m_strstart + m_lookahead;
        const Candidates candidates = insert<Flushing>(m_strstart, end);
        const unsigned prevLength = m_prevLength;
        unsigned matchLength = kMinMatch - 1;
        std::size_t matchPos = 0;
        if ((candidates.three | candidates.four) != 0 && prevLength < kMaxLazy) {
            const unsigned maxLen =
                Flushing ? static_cast<unsigned>(std::min<std::size_t>(kMaxMatch, m_lookahead))
                         : kMaxMatch;
            if (prevLength < maxLen) {
                const unsigned len = longestMatch(candidates, prevLength, maxLen, matchPos);
                if (len >= kMinMatch && !(len == kMinMatch && m_strstart - matchPos > kTooFar))
                    matchLength = len;
            }
        }
        // The match a byte later wins only when it is worth more than the one at hand.
        const bool later =
            matchLength >= kMinMatch && matchLength >= prevLength &&
            (prevLength < kMinMatch ||
             worthMore(static_cast<int>(matchLength - prevLength),
                       bitWidth(m_strstart - matchPos) - bitWidth(m_strstart - 1 - m_prevMatch), 2));
        if (prevLength >= kMinMatch && !later) {
            m_blocks.match(prevLength, m_strstart - 1 - m_prevMatch);
            // The match covers m_strstart - 1 .. next - 1; m_strstart is already in the
            // chains, the positions after it go in now.
            const std::size_t next = m_strstart + prevLength - 1;
            for (std::size_t q = m_strstart + 1; q < next; ++q)
                insert<Flushing>(q, end);
            m_lookahead -= prevLength - 1;
            m_strstart = next;
            m_matchAvailable = false;
            m_prevLength = kMinMatch - 1;
            continue;
        }
        if (m_matchAvailable)
            m_blocks.literal(m_window[m_strstart - 1]);
        m_matchAvailable = true;
        m_prevLength = matchLength;
        m_prevMatch = matchPos;
        ++m_strstart;
        --m_lookahead;
    }
}

} // namespace vadok::archiver
