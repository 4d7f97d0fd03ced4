#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VADOK_CRC_FOLDING 1
#endif

namespace vadok::archiver {

// Folding by carry-less multiplication for reflected CRCs of up to 32 bits: the data is taken
// 16 bytes at a time as a polynomial and multiplied down by x^k mod P, k the distance it is
// carried forward, so that four lanes run independently until the end; the last 128 bits are
// reduced to 32 by Barrett's method. A CRC of w < 32 bits is the CRC of P * x^(32-w): its
// register is the same number, and the one computation serves both.
//
// The constants are x^k mod P for the distances used, in the reflected bit order of the CRC
// and shifted left by one; P and x^64 / P reflected over 33 bits.
struct CrcFoldConstants {
    long long fold512Low;  // x^(4*128+32) mod P
    long long fold512High; // x^(4*128-32) mod P
    long long fold128Low;  // x^(128+32) mod P
    long long fold128High; // x^(128-32) mod P
    long long fold64;      // x^64 mod P
    long long polynomial;
    long long barrettMu;
};

#ifdef VADOK_CRC_FOLDING
// Whether this processor has the instructions.
bool canFoldCrc();
// The inner (not inverted) CRC register after size bytes; size a multiple of 16 and >= 64.
std::uint32_t foldCrcBlocks(std::uint32_t reg, const std::uint8_t* p, std::size_t size,
                            const CrcFoldConstants& k);
#endif

} // namespace vadok::archiver
