#include "lzhhuffmantable.h"

#include <algorithm>
#include <cstring>

namespace vadok::archiver {

namespace {
constexpr std::uint32_t kInvalidEntry = LzhHuffmanTable::kInvalid << 30;

constexpr std::uint32_t linkEntry(std::uint32_t start, std::uint32_t width) {
    return LzhHuffmanTable::kLink << 30 | start << 8 | width;
}

std::uint32_t valueOf(const std::uint32_t* values, unsigned sym) {
    return values ? values[sym] : sym << 8;
}

// span entries of value from at; span is a power of two. Every block of every member builds
// its three tables, most codes filling a few entries each: four to a store where they can,
// not one by one.
inline void fillSpan(std::uint32_t* at, std::uint32_t span, std::uint32_t value) {
    if (span == 1) {
        *at = value;
        return;
    }
    if (span == 2) {
        const std::uint64_t pair = value * 0x100000001ull;
        std::memcpy(at, &pair, sizeof pair);
        return;
    }
    using Four = std::uint32_t __attribute__((vector_size(16)));
    const Four four = {value, value, value, value};
    if (span == 4) {
        std::memcpy(at, &four, sizeof four);
        return;
    }
    for (std::uint32_t i = 0; i < span; i += 8) {
        std::memcpy(at + i, &four, sizeof four);
        std::memcpy(at + i + 4, &four, sizeof four);
    }
}
} // namespace

bool LzhHuffmanTable::build(const std::uint8_t* lengths, unsigned n) {
    unsigned counts[kMaxLength + 1] = {};
    for (unsigned i = 0; i < n; ++i) {
        if (lengths[i] > kMaxLength)
            return false;
        ++counts[lengths[i]];
    }
    return build(lengths, n, counts);
}

bool LzhHuffmanTable::build(const std::uint8_t* lengths, unsigned n, const unsigned* counts,
                            const std::uint32_t* values) {
    // First code of each length, in a 16-bit code space; more codes than fit is damage.
    std::uint32_t next[kMaxLength + 2] = {};
    std::uint32_t code = 0;
    unsigned longest = 0;
    for (unsigned len = 1; len <= kMaxLength; ++len) {
        next[len] = code;
        code += counts[len] << (kMaxLength - len);
        if (counts[len] > 0)
            longest = len;
    }
    if (code > (1u << kMaxLength))
        return false;
    m_complete = code == (1u << kMaxLength);

    const unsigned primary = m_primary;
    const unsigned width = longest > primary ? longest - primary : 0;
    // A complete code writes every slot: those of the short codes, and above them the links
    // to the longer codes' tables, which must not be taken for links of an earlier table.
    // A block's tables are built for every member, so only a code with gaps is cleared whole.
    if (code == (1u << kMaxLength)) {
        m_entries.resize(std::size_t{1} << primary);
        std::fill(m_entries.begin() + (next[primary + 1] >> (kMaxLength - primary)),
                  m_entries.end(), kInvalidEntry);
    } else {
        m_entries.assign(std::size_t{1} << primary, kInvalidEntry);
    }
    for (unsigned sym = 0; sym < n; ++sym) {
        const unsigned len = lengths[sym];
        if (len == 0)
            continue;
        const std::uint32_t c16 = next[len];
        next[len] += 1u << (kMaxLength - len);
        if (len <= primary) {
            const std::uint32_t first = c16 >> (kMaxLength - primary);
            const std::uint32_t span = 1u << (primary - len);
            fillSpan(m_entries.data() + first, span, valueOf(values, sym) + len);
            continue;
        }
        const std::uint32_t prefix = c16 >> (kMaxLength - primary);
        std::uint32_t link = m_entries[prefix];
        if ((link >> 30) != kLink) {
            link = linkEntry(static_cast<std::uint32_t>(m_entries.size()), width);
            m_entries[prefix] = link;
            m_entries.resize(m_entries.size() + (std::size_t{1} << width), kInvalidEntry);
        }
        const std::uint32_t below = (c16 >> (kMaxLength - primary - width)) & ((1u << width) - 1);
        const std::uint32_t span = 1u << (primary + width - len);
        fillSpan(m_entries.data() + ((link >> 8) & 0x3fffff) + below, span,
                 valueOf(values, sym) + len);
    }
    return true;
}

void LzhHuffmanTable::buildSingle(unsigned symbol, unsigned limit, const std::uint32_t* values) {
    m_entries.assign(std::size_t{1} << m_primary,
                     symbol < limit ? valueOf(values, symbol) : kInvalidEntry);
}

} // namespace vadok::archiver
