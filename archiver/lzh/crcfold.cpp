#include "crcfold.h"

#ifdef VADOK_CRC_FOLDING

#include <immintrin.h>

namespace vadok::archiver {

namespace {

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i x, __m128i k, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

inline __m128i load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

} // namespace

bool canFoldCrc() {
    static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return can;
}

__attribute__((target("pclmul,sse4.1"))) std::uint32_t
foldCrcBlocks(std::uint32_t reg, const std::uint8_t* p, std::size_t size, const CrcFoldConstants& k) {
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x1 = load(p + 16);
    __m128i x2 = load(p + 32);
    __m128i x3 = load(p + 48);
    p += 64;
    size -= 64;
    const __m128i k512 = _mm_set_epi64x(k.fold512High, k.fold512Low);
    while (size >= 64) {
        x0 = fold(x0, k512, load(p));
        x1 = fold(x1, k512, load(p + 16));
        x2 = fold(x2, k512, load(p + 32));
        x3 = fold(x3, k512, load(p + 48));
        p += 64;
        size -= 64;
    }
    const __m128i k128 = _mm_set_epi64x(k.fold128High, k.fold128Low);
    __m128i x = fold(x0, k128, x1);
    x = fold(x, k128, x2);
    x = fold(x, k128, x3);
    for (; size >= 16; size -= 16, p += 16)
        x = fold(x, k128, load(p));
    // 128 bits to 64, appending the 32 zero bits a CRC implies.
    x = _mm_xor_si128(_mm_clmulepi64_si128(x, k128, 0x10), _mm_srli_si128(x, 8));
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    x = _mm_xor_si128(
        _mm_clmulepi64_si128(_mm_and_si128(x, low32), _mm_set_epi64x(0, k.fold64), 0x00),
        _mm_srli_si128(x, 4));
    // Barrett: 64 bits to the 32 of the remainder.
    const __m128i barrett = _mm_set_epi64x(k.barrettMu, k.polynomial);
    __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), barrett, 0x10), low32);
    t = _mm_clmulepi64_si128(t, barrett, 0x00);
    return static_cast<std::uint32_t>(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

} // namespace vadok::archiver

#endif
