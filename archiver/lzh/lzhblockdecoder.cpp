// Decoder of the static-Huffman block family (-lh4- .. -lh7-, -lhx-). The data is a run of
// blocks, each: a 16-bit count of codes, three code-length tables (the T table that codes
// the C table's lengths, the C table of 510 literal/length symbols, the P table of match
// position bit lengths; see lzhencoder.h for their layout) and then the codes. A C symbol
// below 256 is a literal, 256 + k a match of k + 3 bytes; a match is followed by a P symbol
// b and, for b > 1, b - 1 more bits: the match starts (1 << (b - 1)) + bits + 1 bytes back
// (b = 0 and 1 reach 1 and 2 bytes back). Before the first byte the window holds spaces.

#include "lzhblockdecoder.h"

#include "lzhbitreader.h"
#include "lzhhuffmantable.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>

namespace vadok::archiver {

namespace {

constexpr unsigned kCodes = 510;     // NC
constexpr unsigned kTempCodes = 20;  // NT is 19; lhasa accepts one more, whose length is 17
constexpr unsigned kThreshold = 3;
constexpr std::size_t kChunk = 1024 * 1024;

// The decoding tables a thread keeps between members, as it keeps its output buffer: most
// members of an application are small, and allocating and clearing three tables for each
// cost a tenth of decoding them. Every block builds all three before it reads a code.
struct BlockTables {
    LzhHuffmanTable code{10};
    LzhHuffmanTable position{8};
    LzhHuffmanTable temp{8};
    bool inUse = false;

    static BlockTables& take(std::unique_ptr<BlockTables>& own) {
        static thread_local BlockTables kept;
        if (!kept.inUse) {
            kept.inUse = true;
            return kept;
        }
        own = std::make_unique<BlockTables>();
        return *own;
    }
};

// Copies a match of len bytes that starts dist + 1 bytes back; the buffer has slack for the
// eight-byte steps to run past it.
[[gnu::always_inline]] inline void copyMatch(std::uint8_t* buf, std::size_t pos, std::size_t dist,
                                             unsigned len) {
    const std::uint8_t* src = buf + pos - dist - 1;
    std::uint8_t* dst = buf + pos;
    if (dist >= 15) {
        // sixteen at a time; the last may run past the match, into the slack
        for (unsigned i = 0; i < len; i += 16)
            std::memcpy(dst + i, src + i, 16);
    } else if (dist >= 7) {
        for (unsigned i = 0; i < len; i += 8)
            std::memcpy(dst + i, src + i, 8);
    } else {
        for (unsigned i = 0; i < len; ++i)
            dst[i] = src[i];
    }
}

enum class FastEnd { Done, Invalid, NearInputEnd };

// What the hot loop works on, copied out of the decoder and back: stores to the output
// bytes may alias any member, locals they cannot.
struct FastState {
    std::uint8_t* buf;
    std::size_t pos;
    std::size_t stop;
    std::uint64_t bits;
    unsigned count;
    std::size_t ip;
    std::size_t ifast; // the last input position with 8 bytes at hand
    const std::uint8_t* input;
    const std::uint32_t* codes;
    const std::uint32_t* positions;
    unsigned left;
};

// No symbol writes more than the longest match.
constexpr std::size_t kLongestSymbol = kCodes - 1 - 256 + kThreshold;

// Code entries below this are literals (symbol << 8 | length).
constexpr std::uint32_t kFirstMatch = 256 << 8;

// The widest position table (-lhx-) and its longest extra bits.
constexpr unsigned kMostPositionCodes = 20;
constexpr unsigned kMostExtraBits = kMostPositionCodes - 2;

// The bits a whole match may take: its code, its position's code and the extra bits. A
// refill leaves at least 56.
constexpr unsigned kMatchBits = 2 * LzhHuffmanTable::kMaxLength + kMostExtraBits;
static_assert(kMatchBits <= 56);

// A position entry carries where the match starts less its extra bits, how many extra
// bits follow, and their count added to the code's length, so that one shift takes both:
// base << 11 | extra << 6 | (extra + code length). P symbol b > 1 has b - 1 extra bits
// above a base of 1 << (b - 1); 0 and 1 have none.
constexpr std::array<std::uint32_t, kMostPositionCodes> positionValues() {
    std::array<std::uint32_t, kMostPositionCodes> v{};
    for (std::uint32_t b = 0; b < kMostPositionCodes; ++b) {
        const std::uint32_t extra = b > 1 ? b - 1 : 0;
        const std::uint32_t base = b > 1 ? 1u << extra : b;
        v[b] = base << 11 | extra << 6 | extra;
    }
    return v;
}
constexpr std::array<std::uint32_t, kMostPositionCodes> kPositionValues = positionValues();
static_assert(kPositionValues.back() <= LzhHuffmanTable::kMaxValue);

// How far back, less one, the match of position entry p starts, read from the top of bits
// before the entry's bits are taken.
[[gnu::always_inline]] inline std::size_t distanceOf(std::uint32_t p, std::uint64_t bits) {
    const unsigned total = p & 63;
    const unsigned extra = (p >> 6) & 31;
    // The extra bits end `total` bits down. Where there are no bits at all (the one code of
    // a single-code table, position 0 or 1), the shift by 64 becomes one by 0 and the mask
    // takes nothing.
    const std::uint64_t top = bits >> ((64 - total) & 63);
    return (p >> 11) + static_cast<std::size_t>(top & ((std::uint64_t{1} << extra) - 1));
}

// The entry of a code longer than the first table takes, from the link e found there;
// false for a code the table does not hold.
template <unsigned primaryBits>
[[gnu::always_inline]] inline bool followLink(const std::uint32_t* table, std::uint64_t bits,
                                              std::uint32_t& e) {
    if ((e >> 30) != LzhHuffmanTable::kLink)
        return false;
    e = table[((e >> 8) & 0x3fffff) + ((bits << primaryBits) >> (64 - (e & 0xff)))];
    return e < LzhHuffmanTable::kNotSymbol;
}

// Tops the bit buffer up unless it holds need bits; false where the input at hand is too
// short for the fast refill. Where the caller knows the input lasts (symbolsInputLasts),
// the input is not looked at.
template <bool checkInput>
[[gnu::always_inline]] inline bool haveBits(const FastState& s, unsigned need, std::uint64_t& bits,
                                            unsigned& count, std::size_t& ip) {
    // count is kept modulo 256 (see decodeSymbol)
    if (static_cast<std::uint8_t>(count) < need) {
        if (checkInput && ip > s.ifast) [[unlikely]]
            return false;
        count = static_cast<std::uint8_t>(count);
        LzhBitReader::refillFast(bits, count, s.input, ip);
    }
    return true;
}

// How many symbols surely find 8 input bytes at each refill: no symbol takes more than
// kMatchBits, and a refill comes only when fewer are left, so each refill of the k-th
// symbol from here loads at most (k + 1) * kMatchBits bits past the ones left now.
[[gnu::always_inline]] inline std::size_t symbolsInputLasts(const FastState& s, std::size_t ip,
                                                            unsigned count) {
    return ip <= s.ifast ? ((s.ifast - ip) * 8 + count) / kMatchBits : 0;
}

// Decodes one symbol: false, with end set, where the fast loop must stop before it.
template <bool checkInput>
[[gnu::always_inline]] inline bool decodeSymbol(const FastState& s, std::size_t& pos,
                                                std::uint64_t& bits, unsigned& count,
                                                std::size_t& ip, FastEnd& end) {
    // Enough bits for a code here, for a whole match below: a refill leaves at least 56, so
    // runs of literals share one. A refill only adds bits below those looked at.
    if (!haveBits<checkInput>(s, LzhHuffmanTable::kMaxLength, bits, count, ip)) {
        end = FastEnd::NearInputEnd;
        return false;
    }
    std::uint32_t e = s.codes[bits >> (64 - 10)];
    // Literals first: one comparison tells them from matches, links and gaps alike.
    if (e >= kFirstMatch) [[unlikely]] {
        if (e >= LzhHuffmanTable::kNotSymbol && !followLink<10>(s.codes, bits, e)) {
            end = FastEnd::Invalid;
            return false;
        }
    }
    // A code's entry is its length modulo 256 and no more than 16: the bits are shifted by
    // it masked to six bits, which the shift does by itself, and the count, kept modulo 256
    // (never below 0, so its low byte is exact), takes the whole entry off.
    if (e < kFirstMatch) {
        bits <<= e & 63;
        count -= e;
        s.buf[pos++] = static_cast<std::uint8_t>(e >> 8);
        return true;
    }
    if constexpr (checkInput) {
        // Near the input's end the match must be taken whole or not at all.
        if (!haveBits<true>(s, kMatchBits, bits, count, ip)) {
            end = FastEnd::NearInputEnd;
            return false;
        }
        bits <<= e & 63;
        count -= e;
    } else {
        // The code's own bits are at hand already: a refill is needed only where fewer than
        // its position's are left after it, which spares most matches one.
        bits <<= e & 63;
        count -= e;
        haveBits<false>(s, kMatchBits - LzhHuffmanTable::kMaxLength, bits, count, ip);
    }
    const unsigned len = (e >> 8) - 256 + kThreshold;
    std::uint32_t p = s.positions[bits >> (64 - 8)];
    if (p >= LzhHuffmanTable::kNotSymbol && !followLink<8>(s.positions, bits, p)) [[unlikely]] {
        end = FastEnd::Invalid;
        return false;
    }
    const std::size_t dist = distanceOf(p, bits);
    bits <<= p & 63;
    count -= p & 63;
    copyMatch(s.buf, pos, dist, len);
    pos += len;
    return true;
}

// Decodes symbols of the current block up to stop while 8 input bytes are at hand.
[[gnu::always_inline]] inline FastEnd decodeSymbols(FastState& state) {
    // A copy the output's stores cannot alias: its fields stay in registers.
    const FastState s = state;
    std::size_t pos = s.pos;
    std::uint64_t bits = s.bits;
    unsigned count = s.count;
    std::size_t ip = s.ip;
    unsigned left = s.left;
    FastEnd end = FastEnd::Done;
    // A symbol begun before fastStop surely ends before stop, so another may follow it
    // unchecked: pairs of symbols take one check of the output between them.
    const std::size_t fastStop = s.stop > kLongestSymbol ? s.stop - kLongestSymbol : 0;
    while (pos < s.stop && left > 0) {
        // As many symbols as the block holds and the input at hand surely lasts for,
        // counted down instead of checked each.
        const auto n = static_cast<unsigned>(
            std::min<std::size_t>(left, symbolsInputLasts(s, ip, static_cast<std::uint8_t>(count))));
        if (n == 0) {
            if (!decodeSymbol<true>(s, pos, bits, count, ip, end))
                break;
            --left;
            continue;
        }
        unsigned i = 0;
        bool stopped = false;
        while (i + 2 <= n && pos < fastStop) {
            if (!decodeSymbol<false>(s, pos, bits, count, ip, end)) {
                stopped = true;
                break;
            }
            ++i;
            if (!decodeSymbol<false>(s, pos, bits, count, ip, end)) {
                stopped = true;
                break;
            }
            ++i;
        }
        // the last symbols before stop, one check each
        while (!stopped && i < n && pos < s.stop) {
            if (!decodeSymbol<false>(s, pos, bits, count, ip, end)) {
                stopped = true;
                break;
            }
            ++i;
        }
        left -= i;
        if (stopped)
            break;
    }
    state.pos = pos;
    state.bits = bits;
    state.count = static_cast<std::uint8_t>(count);
    state.ip = ip;
    state.left = left;
    return end;
}

using SymbolLoop = FastEnd (*)(FastState&);

FastEnd decodeSymbolsAnywhere(FastState& s) {
    return decodeSymbols(s);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// The same loop where shifts by a register need not go through CL and take no extra moves
// (BMI2): nearly every step of the loop shifts the bit buffer by a table's count.
__attribute__((target("bmi2"))) FastEnd decodeSymbolsBmi2(FastState& s) {
    return decodeSymbols(s);
}
#endif

std::atomic<bool> g_anyProcessorLoop{false};

SymbolLoop symbolLoop() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool bmi2 = __builtin_cpu_supports("bmi2");
    if (bmi2 && !g_anyProcessorLoop.load(std::memory_order_relaxed))
        return decodeSymbolsBmi2;
#endif
    return decodeSymbolsAnywhere;
}

class BlockDecoder {
public:
    BlockDecoder(const LzhBlockParams& params, std::span<const std::uint8_t> ahead,
                 const DataSource& in, std::uint64_t size, const DecodedSink& out,
                 DecodeMode mode)
        : m_params(params), m_strict(mode == DecodeMode::Strict), m_in(in, ahead),
          m_out(std::size_t{1} << (params.positionCodes - 1), kChunk, size, out),
          m_tables(BlockTables::take(m_ownTables)) {
        m_out.fillHistory(' ');
    }
    ~BlockDecoder() {
        if (!m_ownTables)
            m_tables.inUse = false;
    }
    BlockDecoder(const BlockDecoder&) = delete;
    BlockDecoder& operator=(const BlockDecoder&) = delete;

    DecodeStatus run(std::string& error);

private:
    bool readLength(unsigned& len);
    bool readTempTable();
    bool readCodeTable();
    bool readPositionTable();
    bool startBlock(std::string& error);
    // counts: of each length, as the reader counted them while reading the lengths (every
    // block builds three tables, and a second pass over the lengths cost as much as the first)
    bool build(LzhHuffmanTable& table, const std::uint8_t* lengths, unsigned n,
               const unsigned* counts, const std::uint32_t* values = nullptr) const {
        return table.build(lengths, n, counts, values) && (!m_strict || table.complete());
    }
    // Whether the data ends where the member does, as strict reading requires.
    bool endsExactly(std::string& error);
    FastEnd decodeFast(std::size_t& pos, std::size_t stop);
    bool decodeOneCarefully(std::size_t& pos, std::string& error);
    DecodeStatus fail(std::string& error, const char* why) {
        error = why;
        return DecodeStatus::Damaged;
    }

    LzhBlockParams m_params;
    bool m_strict;
    LzhBitReader m_in;
    LzhOutput m_out;
    std::unique_ptr<BlockTables> m_ownTables;
    BlockTables& m_tables;
    LzhHuffmanTable& m_code = m_tables.code;
    LzhHuffmanTable& m_position = m_tables.position;
    LzhHuffmanTable& m_temp = m_tables.temp;
    unsigned m_blockLeft = 0;
    SymbolLoop m_loop = symbolLoop();
};

// 3 bits, and when they are 7, one more for each 1 bit up to a 0.
bool BlockDecoder::readLength(unsigned& len) {
    len = m_in.get(3);
    if (len == 7) {
        while (m_in.get(1) == 1) {
            if (++len > LzhHuffmanTable::kMaxLength)
                return false;
        }
    }
    return true;
}

bool BlockDecoder::readTempTable() {
    const unsigned n = m_in.get(5);
    // libarchive refuses the one-code form of the T and C tables (the P table's it reads).
    if (n == 0 && m_strict)
        return false;
    if (n == 0) {
        m_temp.buildSingle(m_in.get(5), kTempCodes);
        return true;
    }
    if (n > kTempCodes - (m_strict ? 1 : 0))
        return false;
    std::uint8_t lengths[kTempCodes] = {};
    unsigned counts[LzhHuffmanTable::kMaxLength + 1] = {};
    for (unsigned i = 0; i < n;) {
        unsigned len = 0;
        if (!readLength(len))
            return false;
        ++counts[len];
        lengths[i++] = static_cast<std::uint8_t>(len);
        if (i == 3) {
            // a count of further zero lengths follows the third (lhasa stops a run at n)
            const unsigned skip = m_in.get(2);
            if (m_strict && i + skip > n)
                return false;
            i = std::min(i + skip, n);
        }
    }
    return build(m_temp, lengths, n, counts);
}

bool BlockDecoder::readCodeTable() {
    const unsigned n = m_in.get(9);
    if (n == 0 && m_strict)
        return false;
    if (n == 0) {
        m_code.buildSingle(m_in.get(9), kCodes);
        return true;
    }
    if (n > kCodes)
        return false;
    std::uint8_t lengths[kCodes] = {};
    unsigned counts[LzhHuffmanTable::kMaxLength + 1] = {};
    for (unsigned i = 0; i < n;) {
        // a T code takes at most 16 bits; most take a few, so one refill serves several
        if (m_in.count < LzhHuffmanTable::kMaxLength)
            m_in.refill();
        unsigned used = 0;
        const int c = m_temp.decode(m_in.bits, used);
        if (c < 0)
            return false;
        m_in.bits <<= used;
        m_in.count -= used;
        if (c > 2) {
            // T's twentieth symbol, which lhasa reads, stands for a length of 17
            if (c - 2 > static_cast<int>(LzhHuffmanTable::kMaxLength))
                return false;
            ++counts[c - 2];
            lengths[i++] = static_cast<std::uint8_t>(c - 2);
            continue;
        }
        // a run of zero lengths; one that runs past n ends there, as in lhasa
        i += c == 0 ? 1 : c == 1 ? m_in.get(4) + 3 : m_in.get(9) + 20;
        if (m_strict && i > n)
            return false;
    }
    return build(m_code, lengths, n, counts);
}

bool BlockDecoder::readPositionTable() {
    const unsigned np = m_params.positionCodes;
    const unsigned n = m_in.get(m_params.positionBits);
    if (n == 0) {
        m_position.buildSingle(m_in.get(m_params.positionBits), np, kPositionValues.data());
        return true;
    }
    if (n > np)
        return false;
    std::uint8_t lengths[kMostPositionCodes] = {};
    unsigned counts[LzhHuffmanTable::kMaxLength + 1] = {};
    for (unsigned i = 0; i < n; ++i) {
        unsigned len = 0;
        if (!readLength(len))
            return false;
        ++counts[len];
        lengths[i] = static_cast<std::uint8_t>(len);
    }
    return build(m_position, lengths, n, counts, kPositionValues.data());
}

bool BlockDecoder::startBlock(std::string& error) {
    // A block of no codes is never written; lhasa reads on to the next block, and so do we.
    do {
        m_blockLeft = m_in.get(16);
        if (!readTempTable() || !readCodeTable() || !readPositionTable()) {
            error = m_in.overran() ? "the data ends inside a block header" : "a code table is invalid";
            return false;
        }
        if (m_in.overran()) {
            error = "the data ends inside a block header";
            return false;
        }
        if (m_strict && m_blockLeft == 0) {
            error = "a block holds no codes";
            return false;
        }
    } while (m_blockLeft == 0);
    return true;
}

// The decoder's side of the loop: its reader and tables in, the state back out.
FastEnd BlockDecoder::decodeFast(std::size_t& pos, std::size_t stop) {
    FastState s{};
    s.buf = m_out.data();
    s.pos = pos;
    s.stop = stop;
    s.bits = m_in.bits;
    s.count = m_in.count;
    s.ip = m_in.pos;
    s.ifast = m_in.end >= 8 ? m_in.end - 8 : 0;
    s.input = m_in.input();
    s.codes = m_code.entries();
    s.positions = m_position.entries();
    s.left = m_blockLeft;
    const FastEnd end = m_loop(s);
    m_in.bits = s.bits;
    m_in.count = s.count;
    m_in.pos = s.ip;
    m_blockLeft = s.left;
    pos = s.pos;
    return end;
}

// Near the end of the buffered input: one symbol with the careful reader.
bool BlockDecoder::decodeOneCarefully(std::size_t& pos, std::string& error) {
    std::uint8_t* const buf = m_out.data();
    m_in.refill();
    unsigned used = 0;
    const int sym = m_code.decode(m_in.bits, used);
    if (sym < 0) {
        error = "a code is not in its table";
        return false;
    }
    m_in.bits <<= used;
    m_in.count -= used;
    --m_blockLeft;
    if (sym < 256) {
        buf[pos++] = static_cast<std::uint8_t>(sym);
    } else {
        // a refill leaves at least 56 bits, more than a position code and its extra bits take
        m_in.refill();
        const std::uint32_t p = m_position.lookUp(m_in.bits);
        if (p >= LzhHuffmanTable::kNotSymbol) {
            error = "a code is not in its table";
            return false;
        }
        const std::size_t dist = distanceOf(p, m_in.bits);
        m_in.bits <<= p & 63;
        m_in.count -= p & 63;
        const unsigned len = static_cast<unsigned>(sym) - 256 + kThreshold;
        for (unsigned i = 0; i < len; ++i, ++pos)
            buf[pos] = buf[pos - dist - 1];
    }
    if (m_in.overran()) {
        m_out.pos = pos;
        error = "the data ends early";
        return false;
    }
    return true;
}

DecodeStatus BlockDecoder::run(std::string& error) {
    while (!m_out.done()) {
        const std::size_t stop = m_out.stop();
        std::size_t pos = m_out.pos;
        while (pos < stop) {
            if (m_blockLeft == 0) {
                m_out.pos = pos;
                if (!startBlock(error))
                    return DecodeStatus::Damaged;
            }
            const FastEnd end = decodeFast(pos, stop);
            if (end == FastEnd::Invalid) {
                m_out.pos = pos;
                return fail(error, "a code is not in its table");
            }
            if (end == FastEnd::NearInputEnd && pos < stop && m_blockLeft > 0 &&
                !decodeOneCarefully(pos, error))
                return DecodeStatus::Damaged;
        }
        m_out.pos = pos;
        if (m_in.overran())
            return fail(error, "the data ends early");
        // Past the end of a chunk a match runs on into the next; past the member's, it is damage.
        const bool past = pos > stop;
        if (!m_out.flush()) {
            error = "the output refused the data";
            return DecodeStatus::Refused;
        }
        if (m_strict && past && m_out.done())
            return fail(error, "the last code runs past the member's end");
    }
    if (m_strict && !endsExactly(error))
        return DecodeStatus::Damaged;
    return DecodeStatus::Ok;
}

bool BlockDecoder::endsExactly(std::string& error) {
    if (m_blockLeft > 0) {
        error = "a block holds codes past the member's end";
        return false;
    }
    if (m_in.bitsLeft() >= 8) {
        error = "data follows the member's last code";
        return false;
    }
    return true;
}

} // namespace

void decodeBlocksAsAnyProcessor(bool on) { g_anyProcessorLoop = on; }

DecodeStatus decodeLzhBlocks(const LzhBlockParams& params, std::span<const std::uint8_t> ahead,
                             const DataSource& in, std::uint64_t originalSize,
                             const DecodedSink& out, std::string& error, DecodeMode mode) {
    // The position tables and their entries are sized for -lhx-'s window at most.
    if (params.positionCodes > kMostPositionCodes) {
        error = "no method reaches that far back";
        return DecodeStatus::UnsupportedMethod;
    }
    BlockDecoder decoder(params, ahead, in, originalSize, out, mode);
    return decoder.run(error);
}

} // namespace vadok::archiver
