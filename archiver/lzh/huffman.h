#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vadok::archiver {

// The most symbols a table of ours has (the literal/length table's 510).
constexpr std::size_t kMostHuffmanSymbols = 512;

// Code lengths for the given symbol frequencies, none longer than maxLength. Symbols with
// frequency 0 get length 0. With fewer than two used symbols every length is 0: LZH writes
// such a table in its single-value form instead.
std::vector<std::uint8_t> huffmanLengths(const std::vector<std::uint32_t>& freq,
                                         unsigned maxLength);
// The same into lengths[0..n), without allocating: the encoder builds tables for every
// candidate block it weighs. n <= kMostHuffmanSymbols.
void huffmanLengths(const std::uint32_t* freq, std::size_t n, unsigned maxLength,
                    std::uint8_t* lengths);

// Canonical codes for the lengths: shorter codes first, equal lengths in symbol order, the
// same assignment LZH decoders rebuild from the lengths alone.
std::vector<std::uint16_t> canonicalCodes(const std::vector<std::uint8_t>& lengths);
void canonicalCodes(const std::uint8_t* lengths, std::size_t n, std::uint16_t* codes);

} // namespace vadok::archiver
