#pragma once

#include <cstdint>
#include <vector>

namespace vadok::archiver {

// Code lengths for the given symbol frequencies, none longer than maxLength. Symbols with
// frequency 0 get length 0. With fewer than two used symbols every length is 0: LZH writes
// such a table in its single-value form instead.
std::vector<std::uint8_t> huffmanLengths(const std::vector<std::uint32_t>& freq,
                                         unsigned maxLength);

// Canonical codes for the lengths: shorter codes first, equal lengths in symbol order, the
// same assignment LZH decoders rebuild from the lengths alone.
std::vector<std::uint16_t> canonicalCodes(const std::vector<std::uint8_t>& lengths);

} // namespace vadok::archiver
