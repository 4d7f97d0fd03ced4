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

// Search effort, chosen by measuring ratio against instructions on an application folder (the
// archiver bench's corpus): a chain is followed a quarter as far once a match of kGoodLength
// is in hand. A 3-byte match very far away costs more bits than three literals, hence kTooFar.
// Blocks chosen by cost and matches weighed by their distance (worthMore) gained more than
// longer chains. A match of kMaxLazy or more is taken without looking a byte further: the
// look cost more than the longer chains it pays for, which find better matches to begin with
// (from 24 positions and lazy up to 32: 0.03% smaller, 4% fewer instructions).
constexpr unsigned kGoodLength = 32;
constexpr unsigned kMaxLazy = 8;
constexpr unsigned kNiceLength = 128;
constexpr unsigned kMaxChain = 32;
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
[[gnu::always_inline]] inline unsigned
matchLength(const std::uint8_t* scan, const std::uint8_t* match, unsigned from, unsigned maxLen) {
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

namespace {

// The tables as run() works on them: copies in registers, where the encoder's members would
// be reloaded after every store into the tables (which the compiler must assume may alias
// them).
struct Finder {
    const std::uint8_t* window;
    std::uint32_t* head;
    std::uint32_t* head3;
    std::uint32_t* prev;
    std::size_t wsize;
    std::uint32_t base;

    // The most recent earlier positions that share three and four bytes with a position.
    struct Candidates {
        std::uint32_t three = 0;
        std::uint32_t four = 0;
    };

    static std::uint32_t hash3(std::uint32_t v) {
        return ((v & 0xFFFFFF) * 506832829u) >> (32 - kHash3Bits);
    }
    static std::uint32_t hash4(std::uint32_t v) { return (v * 2654435761u) >> (32 - kHashBits); }

    // Enters pos into the tables and gives the latest earlier positions of its hashes.
    // Flushing is the member's end, where fewer than four bytes may follow pos: hashing what
    // lies beyond would make the output depend on earlier members.
    template <bool Flushing>
    [[gnu::always_inline]] Candidates insert(std::size_t pos, std::size_t end) const {
        const std::uint32_t stamp = base + static_cast<std::uint32_t>(pos);
        const std::uint32_t v = load32(window + pos);
        Candidates c;
        if (Flushing && pos + kMinMatch > end)
            return c;
        const std::uint32_t h3 = hash3(v);
        c.three = head3[h3];
        head3[h3] = stamp;
        if (!Flushing || pos + 4 <= end) {
            const std::uint32_t h4 = hash4(v);
            c.four = head[h4];
            prev[pos & (wsize - 1)] = c.four;
            head[h4] = stamp;
        }
        return c;
    }

    // The longest match at pos longer than best, up to maxLen, or 0.
    [[gnu::always_inline]] unsigned longestMatch(std::size_t pos, const Candidates& candidates,
                                                 unsigned best, unsigned maxLen,
                                                 std::size_t& matchPos) const {
        // Stamps below the base belong to earlier members or slid out of the window.
        const std::uint32_t limit =
            base + static_cast<std::uint32_t>(pos >= wsize ? pos - wsize + 1 : 0);
        const std::uint8_t* scan = window + pos;
        unsigned found = 0;
        // The chains link positions that share four bytes; the nearest one sharing three is
        // kept apart, as a 3-byte match only pays off close by.
        if (best < kMinMatch && candidates.three >= limit) {
            const std::size_t at = candidates.three - base;
            if (pos - at <= kTooFar) {
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
        const std::size_t mask = wsize - 1;
        // Candidates are rejected on two byte pairs first: the pair ending at the current best
        // length (a longer match must agree there) and the first pair.
        const std::uint16_t scanStart = load16(scan);
        std::uint16_t scanEnd = load16(scan + best - 1);
        std::uint32_t cur = candidates.four;
        while (cur >= limit && chain-- > 0) {
            const std::size_t at = cur - base;
            const std::uint8_t* match = window + at;
            if (load16(match + best - 1) == scanEnd && load16(match) == scanStart) {
                const unsigned len = matchLength(scan, match, 2, maxLen);
                // Candidates come nearest first; a farther one must be worth its distance.
                if (len > best &&
                    (found == 0 || worthMore(static_cast<int>(len - best),
                                             bitWidth(pos - at) - bitWidth(pos - matchPos), -3))) {
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
};

} // namespace

void LzhEncoder::process(bool flushing) {
    if (flushing)
        run<true>();
    else
        run<false>();
}

template <bool Flushing>
void LzhEncoder::run() {
    const Finder finder{m_window.data(), m_head.data(), m_head3.data(), m_prev.data(),
                        m_wsize, m_base};
    std::size_t strstart = m_strstart;
    std::size_t lookahead = m_lookahead;
    std::size_t history = m_history;
    unsigned prevLength = m_prevLength;
    std::size_t prevMatch = m_prevMatch;
    bool matchAvailable = m_matchAvailable;
    // Lazy matching: a match found at one position is emitted only when the next position
    // does not offer a longer one. Short of the member's end, at least kMinLookahead bytes
    // follow every position looked at, so a match never needs its length cut to the input.
    while (history > 0 && (Flushing ? lookahead > 0 : lookahead >= kMinLookahead)) {
        finder.insert<Flushing>(strstart, strstart + lookahead);
        ++strstart;
        --lookahead;
        --history;
    }
    while (Flushing ? lookahead > 0 : lookahead >= kMinLookahead) {
        const std::size_t end = strstart + lookahead;
        const Finder::Candidates candidates = finder.insert<Flushing>(strstart, end);
        unsigned matchLength = kMinMatch - 1;
        std::size_t matchPos = 0;
        if ((candidates.three | candidates.four) != 0 && prevLength < kMaxLazy) {
            const unsigned maxLen =
                Flushing ? static_cast<unsigned>(std::min<std::size_t>(kMaxMatch, lookahead))
                         : kMaxMatch;
            if (prevLength < maxLen) {
                const unsigned len =
                    finder.longestMatch(strstart, candidates, prevLength, maxLen, matchPos);
                if (len >= kMinMatch && !(len == kMinMatch && strstart - matchPos > kTooFar))
                    matchLength = len;
            }
        }
        // The match a byte later wins only when it is worth more than the one at hand.
        const bool later =
            matchLength >= kMinMatch && matchLength >= prevLength &&
            (prevLength < kMinMatch ||
             worthMore(static_cast<int>(matchLength - prevLength),
                       bitWidth(strstart - matchPos) - bitWidth(strstart - 1 - prevMatch), 2));
        if (prevLength >= kMinMatch && !later) {
            m_blocks.match(prevLength, strstart - 1 - prevMatch);
            // The match covers strstart - 1 .. next - 1; strstart is already in the chains,
            // the positions after it go in now.
            const std::size_t next = strstart + prevLength - 1;
            for (std::size_t q = strstart + 1; q < next; ++q)
                finder.insert<Flushing>(q, end);
            lookahead -= prevLength - 1;
            strstart = next;
            matchAvailable = false;
            prevLength = kMinMatch - 1;
            continue;
        }
        if (matchAvailable)
            m_blocks.literal(finder.window[strstart - 1]);
        matchAvailable = true;
        prevLength = matchLength;
        prevMatch = matchPos;
        ++strstart;
        --lookahead;
    }
    m_strstart = strstart;
    m_lookahead = lookahead;
    m_history = history;
    m_prevLength = prevLength;
    m_prevMatch = prevMatch;
    m_matchAvailable = matchAvailable;
}

} // namespace vadok::archiver
