#include "huffman.h"

#include <algorithm>
#include <array>

namespace vadok::archiver {

void huffmanLengths(const std::uint32_t* freq, std::size_t n, unsigned maxLength,
                    std::uint8_t* lengths) {
    std::fill(lengths, lengths + n, std::uint8_t{0});
    // Symbols sorted by rising frequency, ties by symbol so output is reproducible: the key
    // carries the symbol in its low bits.
    std::array<std::uint64_t, kMostHuffmanSymbols> keys;
    std::size_t m = 0;
    for (std::size_t s = 0; s < n; ++s)
        if (freq[s] > 0)
            keys[m++] = (std::uint64_t{freq[s]} << 16) | s;
    if (m < 2)
        return;
    std::sort(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(m));

    // Two-queue Huffman construction: leaves in one sorted queue, merged nodes in another
    // that fills in rising order by construction. parent[] links every node upward.
    std::array<std::uint64_t, 2 * kMostHuffmanSymbols> weight;
    std::array<std::uint16_t, 2 * kMostHuffmanSymbols> parent;
    for (std::size_t i = 0; i < m; ++i)
        weight[i] = keys[i] >> 16;
    std::size_t leaf = 0, inner = m, next = m;
    auto takeSmallest = [&]() -> std::size_t {
        if (leaf < m && (inner >= next || weight[leaf] <= weight[inner]))
            return leaf++;
        return inner++;
    };
    while (next < 2 * m - 1) {
        const std::size_t a = takeSmallest();
        const std::size_t b = takeSmallest();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<std::uint16_t>(next);
        ++next;
    }
    // Parents come after their children, so one downward pass gives every depth (reusing
    // weight[], no longer needed).
    auto& depth = weight;
    depth[2 * m - 2] = 0;
    for (std::size_t i = 2 * m - 2; i-- > 0;)
        depth[i] = depth[parent[i]] + 1;

    // Count leaves per depth, then push overlong leaves up while keeping the code complete
    // (the usual JPEG-style adjustment): a pair at the deepest level becomes one leaf one
    // level up plus two leaves below a shortened leaf elsewhere.
    unsigned maxDepth = 0;
    for (std::size_t i = 0; i < m; ++i)
        maxDepth = std::max(maxDepth, static_cast<unsigned>(depth[i]));
    std::array<std::uint32_t, 2 * kMostHuffmanSymbols + 2> count;
    std::fill(count.begin(), count.begin() + std::max(maxDepth, maxLength) + 2, 0u);
    for (std::size_t i = 0; i < m; ++i)
        ++count[depth[i]];
    for (unsigned d = maxDepth; d > maxLength; --d) {
        while (count[d] > 0) {
            unsigned j = d - 2;
            while (count[j] == 0)
                --j;
            count[d] -= 2;
            count[d - 1] += 1;
            count[j + 1] += 2;
            count[j] -= 1;
        }
    }
    // Most frequent symbols get the shortest codes.
    std::size_t k = m;
    for (unsigned d = 1; d <= maxLength; ++d)
        for (std::uint32_t c = 0; c < count[d]; ++c)
            lengths[keys[--k] & 0xFFFF] = static_cast<std::uint8_t>(d);
}

std::vector<std::uint8_t> huffmanLengths(const std::vector<std::uint32_t>& freq,
                                         unsigned maxLength) {
    std::vector<std::uint8_t> lengths(freq.size());
    huffmanLengths(freq.data(), freq.size(), maxLength, lengths.data());
    return lengths;
}

void canonicalCodes(const std::uint8_t* lengths, std::size_t n, std::uint16_t* codes) {
    std::uint32_t count[18] = {};
    for (std::size_t s = 0; s < n; ++s)
        ++count[lengths[s]];
    count[0] = 0;
    std::uint32_t start[18] = {};
    for (int l = 1; l <= 16; ++l)
        start[l + 1] = (start[l] + count[l]) << 1;
    for (std::size_t s = 0; s < n; ++s)
        codes[s] = lengths[s] ? static_cast<std::uint16_t>(start[lengths[s]]++) : 0;
}

std::vector<std::uint16_t> canonicalCodes(const std::vector<std::uint8_t>& lengths) {
    std::vector<std::uint16_t> codes(lengths.size());
    canonicalCodes(lengths.data(), lengths.size(), codes.data());
    return codes;
}

} // namespace vadok::archiver
