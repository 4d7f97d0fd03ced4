// -lh1- (LHarc 1.x): LZSS over a 4 KiB window that starts full of spaces. Each step is an
// adaptive Huffman code over 314 symbols: 0..255 literals, 256 + k a match of k + 3 bytes.
// The tree starts with every symbol at frequency 1 and, after each symbol, counts it and
// swaps nodes to keep frequencies ordered; when the root's count reaches 0x8000 all counts
// are halved and the tree rebuilt. A match is followed by its position (distance - 1, 12
// bits): the top 6 bits in a fixed prefix code of 3 to 8 bits, the low 6 bits plain.

#include "lzhdynamicdecoder.h"

#include "lzhbitreader.h"

#include <cstring>

namespace vadok::archiver {

namespace {

constexpr unsigned kWindow = 4096;
constexpr unsigned kSymbols = 314;             // 256 literals, lengths 3..60
constexpr unsigned kNodes = 2 * kSymbols - 1;  // T
constexpr unsigned kRoot = kNodes - 1;         // R
constexpr unsigned kMaxFreq = 0x8000;
constexpr std::size_t kChunk = 64 * 1024;

// The adaptive tree, kept as an array ordered by frequency: node i's children are son[i] and
// son[i] + 1 (a son >= kNodes is the leaf of symbol son - kNodes); parent[] maps back, with
// the leaves' parents at kNodes + symbol.
class AdaptiveTree {
public:
    AdaptiveTree() {
        for (unsigned i = 0; i < kSymbols; ++i) {
            m_freq[i] = 1;
            m_son[i] = static_cast<std::uint16_t>(i + kNodes);
            m_parent[i + kNodes] = static_cast<std::uint16_t>(i);
        }
        for (unsigned i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
            m_freq[j] = static_cast<std::uint16_t>(m_freq[i] + m_freq[i + 1]);
            m_son[j] = static_cast<std::uint16_t>(i);
            m_parent[i] = m_parent[i + 1] = static_cast<std::uint16_t>(j);
        }
        m_freq[kNodes] = 0xffff; // stops the search for a swap partner
        m_parent[kRoot] = 0;
    }

    unsigned root() const { return m_son[kRoot]; }
    unsigned son(unsigned node) const { return m_son[node]; }

    void update(unsigned symbol) {
        if (m_freq[kRoot] == kMaxFreq)
            rebuild();
        unsigned c = m_parent[symbol + kNodes];
        do {
            const unsigned k = ++m_freq[c];
            unsigned l = c + 1;
            if (k > m_freq[l]) {
                while (k > m_freq[++l]) {
                }
                --l;
                m_freq[c] = m_freq[l];
                m_freq[l] = static_cast<std::uint16_t>(k);
                const unsigned i = m_son[c];
                m_parent[i] = static_cast<std::uint16_t>(l);
                if (i < kNodes)
                    m_parent[i + 1] = static_cast<std::uint16_t>(l);
                const unsigned j = m_son[l];
                m_son[l] = static_cast<std::uint16_t>(i);
                m_parent[j] = static_cast<std::uint16_t>(c);
                if (j < kNodes)
                    m_parent[j + 1] = static_cast<std::uint16_t>(c);
                m_son[c] = static_cast<std::uint16_t>(j);
                c = l;
            }
            c = m_parent[c];
        } while (c != 0);
    }

private:
    void rebuild() {
        unsigned j = 0;
        for (unsigned i = 0; i < kNodes; ++i) {
            if (m_son[i] >= kNodes) {
                m_freq[j] = static_cast<std::uint16_t>((m_freq[i] + 1) / 2);
                m_son[j] = m_son[i];
                ++j;
            }
        }
        for (unsigned i = 0, n = kSymbols; n < kNodes; i += 2, ++n) {
            const unsigned f = m_freq[i] + m_freq[i + 1];
            unsigned k = n;
            while (k > 0 && f < m_freq[k - 1])
                --k;
            std::memmove(&m_freq[k + 1], &m_freq[k], (n - k) * sizeof m_freq[0]);
            std::memmove(&m_son[k + 1], &m_son[k], (n - k) * sizeof m_son[0]);
            m_freq[k] = static_cast<std::uint16_t>(f);
            m_son[k] = static_cast<std::uint16_t>(i);
        }
        for (unsigned i = 0; i < kNodes; ++i) {
            const unsigned k = m_son[i];
            m_parent[k] = static_cast<std::uint16_t>(i);
            if (k < kNodes)
                m_parent[k + 1] = static_cast<std::uint16_t>(i);
        }
    }

    std::uint16_t m_freq[kNodes + 1];
    std::uint16_t m_son[kNodes];
    std::uint16_t m_parent[kNodes + kSymbols];
};

// The fixed code of a position's top 6 bits: how many of each code length, from 3 bits up.
constexpr unsigned kPositionCodesPerLength[] = {1, 3, 8, 12, 24, 16};

struct PositionCode {
    std::uint8_t upper[256];  // by the next 8 bits: the top 6 bits of the position
    std::uint8_t length[256]; // and the length of their code
    PositionCode() {
        unsigned code = 0, upperBits = 0;
        for (unsigned l = 0; l < 6; ++l) {
            const unsigned len = l + 3;
            const unsigned span = 1u << (8 - len);
            for (unsigned n = 0; n < kPositionCodesPerLength[l]; ++n, ++upperBits) {
                for (unsigned i = 0; i < span; ++i) {
                    upper[code + i] = static_cast<std::uint8_t>(upperBits);
                    length[code + i] = static_cast<std::uint8_t>(len);
                }
                code += span;
            }
        }
    }
};

} // namespace

DecodeStatus decodeLzhDynamic(const DataSource& in, std::uint64_t originalSize,
                              const DecodedSink& out, std::string& error) {
    static const PositionCode positions;
    LzhBitReader bits(in);
    LzhOutput output(kWindow, kChunk, originalSize, out);
    std::memset(output.data(), ' ', kWindow);
    AdaptiveTree tree;
    std::uint8_t* const buf = output.data();
    while (!output.done()) {
        const std::size_t stop = output.stop();
        std::size_t pos = output.pos;
        while (pos < stop) {
            bits.refill();
            // A code is at most kSymbols - 1 bits long in a degenerate tree: read on past 56.
            unsigned node = tree.root();
            while (node < kNodes) {
                if (bits.count == 0)
                    bits.refill();
                node = tree.son(node + static_cast<unsigned>(bits.bits >> 63));
                bits.bits <<= 1;
                --bits.count;
            }
            const unsigned symbol = node - kNodes;
            tree.update(symbol);
            if (symbol < 256) {
                buf[pos++] = static_cast<std::uint8_t>(symbol);
                continue;
            }
            bits.refill();
            const unsigned next = static_cast<unsigned>(bits.bits >> 56);
            const unsigned len = positions.length[next];
            bits.bits <<= len;
            bits.count -= len;
            const std::size_t distance = std::size_t{positions.upper[next]} << 6 | bits.get(6);
            const unsigned length = symbol - 256 + 3;
            for (unsigned i = 0; i < length; ++i, ++pos)
                buf[pos] = buf[pos - distance - 1];
        }
        output.pos = pos;
        if (const DecodeStatus status = endChunk(bits, output, error); status != DecodeStatus::Ok)
            return status;
    }
    return DecodeStatus::Ok;
}

} // namespace vadok::archiver
