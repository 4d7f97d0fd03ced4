#pragma once

#include "lzhdecoder.h"

namespace vadok::archiver {

// LArc's methods: -lzs- (2 KiB window) and -lz5- (4 KiB window).
DecodeStatus decodeLzs(const DataSource& in, std::uint64_t originalSize, const DecodedSink& out,
                       std::string& error);
DecodeStatus decodeLz5(const DataSource& in, std::uint64_t originalSize, const DecodedSink& out,
                       std::string& error);

} // namespace vadok::archiver
