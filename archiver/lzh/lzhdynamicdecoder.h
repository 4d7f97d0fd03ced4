#pragma once

#include "lzhdecoder.h"

namespace vadok::archiver {

// -lh1-: LZSS over a 4 KiB window with adaptive Huffman codes for literals and lengths.
DecodeStatus decodeLzhDynamic(const DataSource& in, std::uint64_t originalSize,
                              const DecodedSink& out, std::string& error);

} // namespace vadok::archiver
