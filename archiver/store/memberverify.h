#pragma once

#include "lzh/lzhdecoder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vadok::archiver {

// Decodes one member, given its header (see encodeDataCheckHeader) and data, with libarchive (a
// decoder independent of our encoder) where libarchive knows the method, else with our own
// decoders, and checks that it yields originalSize bytes whose CRC-16 is crc. The
// decoded bytes go to sink when there is one. On failure, error says why.
bool verifyMemberData(const std::vector<std::uint8_t>& header, const DataSource& data,
                      std::uint64_t originalSize, std::uint16_t crc, std::string& error,
                      const DecodedSink& sink = {});

} // namespace vadok::archiver
