#include "huffman.h"

#include <algorithm>
#include <numeric>

namespace vadok::archiver {

std::vector<std::uint8_t> huffmanLengths(const std::vector<std::uint32_t>& freq,
                                         unsigned maxLength) {
    const std::size_t n = freq.size();
    std::vector<std::uint8_t> lengths(n, 0);
    std::vector<std::uint32_t> used;
    for (std::uint32_t s = 0; s < n; ++s)
        if (freq[s] > 0)
            used.push_back(s);
    if (used.size() < 2)
        return lengths;

    // Symbols sorted by rising frequency; ties by symbol so output is reproducible.
    std::stable_sort(used.begin(), used.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return freq[a] < freq[b]; });
    const std::size_t m = used.size();

    // Two-queue Huffman construction: leaves in one sorted queue, merged nodes in another
    // that fills in rising order by construction. parent[] links every node upward.
    std::vector<std::uint64_t> weight(2 * m - 1);
    std::vector<std::int32_t> parent(2 * m - 1, -1);
    for (std::size_t i = 0; i < m; ++i)
        weight[i] = freq[used[i]];
    std::size_t leaf = 0, inner = m, next = m;
    auto takeSmallest = [&]() -> std::size_t {
        if (leaf < m && (inner >= next || weight[leaf] <= weight[inner]))
            return leaf++;
        return inner++;
    };
    while (next < 2 * m - 1) {
        std::size_t a = takeSmallest();
        std::size_t b = takeSmallest();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<std::int32_t>(next);
        ++next;
    }
    std::vector<std::uint32_t> depth(2 * m - 1, 0);
    for (std::size_t i = 2 * m - 1; i-- > 0;)
        if (parent[i] >= 0)
            depth[i] = depth[parent[i]] + 1;

    // Count leaves per depth, then push overlong leaves up while keeping the code complete
    // (the usual JPEG-style adjustment): a pair at the deepest level becomes one leaf one
    // level up plus two leaves below a shortened leaf elsewhere.
    unsigned maxDepth = 0;
    for (std::size_t i = 0; i < m; ++i)
        maxDepth = std::max(maxDepth, depth[i]);
    std::vector<std::uint32_t> count(std::max(maxDepth, maxLength) + 2, 0);
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
            lengths[used[--k]] = static_cast<std::uint8_t>(d);
    return lengths;
}

std::vector<std::uint16_t> canonicalCodes(const std::vector<std::uint8_t>& lengths) {
    std::uint32_t count[18] = {};
    for (auto l : lengths)
        ++count[l];
    count[0] = 0;
    std::uint32_t start[18] = {};
    for (int l = 1; l <= 16; ++l)
        start[l + 1] = (start[l] + count[l]) << 1;
    std::vector<std::uint16_t> codes(lengths.size(), 0);
    for (std::size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s])
            codes[s] = static_cast<std::uint16_t>(start[lengths[s]]++);
    return codes;
}

} // namespace vadok::archiver
