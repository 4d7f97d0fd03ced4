#pragma once

#include <cstdint>
#include <limits>
#include <optional>

namespace vadok::archiver {

// Sums of the sizes and offsets an archive declares. Any of them may lie anywhere up to 2^64
// (LZH's 0x42 and ZIP's zip64 fields hold 64 bits), so no such sum may wrap round: an offset
// that wraps leads a walk back to a header it has read, a total that wraps passes a check it
// should fail. Offsets are added checked; totals saturate.

// a + b, or nullopt when it does not fit in 64 bits.
inline std::optional<std::uint64_t> checkedSum(std::uint64_t a, std::uint64_t b) {
    std::uint64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return std::nullopt;
    return sum;
}

// a + b, or the largest value when it does not fit.
inline std::uint64_t saturatingSum(std::uint64_t a, std::uint64_t b) {
    return checkedSum(a, b).value_or(std::numeric_limits<std::uint64_t>::max());
}

// The most bytes a file can hold (off_t), and so a file system: totals above it are no sizes.
inline constexpr std::uint64_t kLargestFileSize =
    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

} // namespace vadok::archiver
