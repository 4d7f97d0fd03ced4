#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vadok::archiver {

// Pulls the next piece of a member's compressed data into dest; returns 0 at its end.
using DataSource = std::function<std::size_t(std::uint8_t* dest, std::size_t size)>;

// Takes each decoded piece of a member; returning false stops the decoding as a failure.
using DecodedSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

// Decodes one member, given its header (see encodeDataCheckHeader) and data, with libarchive (an
// independent decoder) and checks that it yields originalSize bytes whose CRC-16 is crc. The
// decoded bytes go to sink when there is one. On failure, error says why.
bool verifyMemberData(const std::vector<std::uint8_t>& header, const DataSource& data,
                      std::uint64_t originalSize, std::uint16_t crc, std::string& error,
                      const DecodedSink& sink = {});

} // namespace vadok::archiver
