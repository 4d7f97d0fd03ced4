#pragma once

#include "lzh/lzhdecoder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vadok::archiver {

// Decodes one member, given its header (see encodeDataCheckHeader) and data, and checks that it
// yields originalSize bytes whose CRC-16 is crc. Our own decoders read the methods they know,
// strictly where libarchive reads the method too (a member that passes reads there as well);
// libarchive reads the rest. The decoded bytes go to sink when there is one. On failure,
// error says why.
bool verifyMemberData(const std::vector<std::uint8_t>& header, const DataSource& data,
                      std::uint64_t originalSize, std::uint16_t crc, std::string& error,
                      const DecodedSink& sink = {});

} // namespace vadok::archiver
