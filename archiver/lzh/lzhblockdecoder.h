#pragma once

#include "lzhdecoder.h"

namespace vadok::archiver {

// The static-Huffman block family: -lh4- to -lh7- and -lhx-. They differ only in how far
// back a match may reach: positionCodes (NP) symbols in the position table, at most 20
// (-lhx-), whose count field is positionBits wide.
struct LzhBlockParams {
    unsigned positionCodes;
    unsigned positionBits;
};

// `ahead`: the first bytes of the data, read in place before `in` is asked for more.
DecodeStatus decodeLzhBlocks(const LzhBlockParams& params, std::span<const std::uint8_t> ahead,
                             const DataSource& in, std::uint64_t originalSize,
                             const DecodedSink& out, std::string& error,
                             DecodeMode mode = DecodeMode::Lenient);

// For tests: decoders begun from now on take the loop every x86-64 processor runs, not the
// one this processor runs faster, so that both are seen to decode alike.
void decodeBlocksAsAnyProcessor(bool on);

} // namespace vadok::archiver
