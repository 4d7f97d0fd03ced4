#include "crc32.h"

#include <zlib.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VADOK_CRC32_FOLDING 1
#endif

namespace vadok::archiver {

namespace {

// Short pieces, the tails of long ones, and processors without the instruction.
std::uint32_t zlibCrc(std::uint32_t crc, const std::uint8_t* p, std::size_t size) {
    return static_cast<std::uint32_t>(::crc32_z(crc, p, size));
}

#ifdef VADOK_CRC32_FOLDING

// Folding by carry-less multiplication: the data is taken 16 bytes at a time as a polynomial
// and multiplied down by x^k mod P, k the distance it is carried forward, so that four lanes
// run independently until the end; the last 128 bits are reduced to 32 by Barrett's method.
// The constants are x^k mod P for the distances used, in the reflected bit order of the CRC.
constexpr long long kFold512Low = 0x154442bd4;  // x^(4*128+32) mod P
constexpr long long kFold512High = 0x1c6e41596; // x^(4*128-32) mod P
constexpr long long kFold128Low = 0x1751997d0;  // x^(128+32) mod P
constexpr long long kFold128High = 0x0ccaa009e; // x^(128-32) mod P
constexpr long long kFold64 = 0x163cd6124;      // x^64 mod P
constexpr long long kPolynomial = 0x1db710641;  // P, reflected
constexpr long long kBarrettMu = 0x1f7011641;   // x^64 / P, reflected

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i x, __m128i k, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

inline __m128i load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The inner (not inverted) CRC register after size bytes, size a multiple of 16 and >= 64.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t foldBlocks(std::uint32_t reg,
                                                                   const std::uint8_t* p,
                                                                   std::size_t size) {
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x1 = load(p + 16);
    __m128i x2 = load(p + 32);
    __m128i x3 = load(p + 48);
    p += 64;
    size -= 64;
    const __m128i k512 = _mm_set_epi64x(kFold512High, kFold512Low);
    while (size >= 64) {
        x0 = fold(x0, k512, load(p));
        x1 = fold(x1, k512, load(p + 16));
        x2 = fold(x2, k512, load(p + 32));
        x3 = fold(x3, k512, load(p + 48));
        p += 64;
        size -= 64;
    }
    const __m128i k128 = _mm_set_epi64x(kFold128High, kFold128Low);
    __m128i x = fold(x0, k128, x1);
    x = fold(x, k128, x2);
    x = fold(x, k128, x3);
    for (; size >= 16; size -= 16, p += 16)
        x = fold(x, k128, load(p));
    // 128 bits to 64, appending the 32 zero bits a CRC implies.
    x = _mm_xor_si128(_mm_clmulepi64_si128(x, k128, 0x10), _mm_srli_si128(x, 8));
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), _mm_set_epi64x(0, kFold64), 0x00),
                      _mm_srli_si128(x, 4));
    // Barrett: 64 bits to the 32 of the remainder.
    const __m128i barrett = _mm_set_epi64x(kBarrettMu, kPolynomial);
    __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10), low32);
    t = _mm_clmulepi64_si128(t, barrett, 0x00);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

bool canFold() {
    static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return can;
}

#endif

} // namespace

std::uint32_t crc32Update(std::uint32_t crc, const void* data, std::size_t size) {
    auto p = static_cast<const std::uint8_t*>(data);
#ifdef VADOK_CRC32_FOLDING
    if (size >= 64 && canFold()) {
        const std::size_t blocks = size & ~static_cast<std::size_t>(15);
        crc = ~foldBlocks(~crc, p, blocks);
        p += blocks;
        size -= blocks;
    }
#endif
    return size == 0 ? crc : zlibCrc(crc, p, size);
}

} // namespace vadok::archiver
