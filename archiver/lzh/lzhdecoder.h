#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace vadok::archiver {

// Pulls the next piece of a member's compressed data into dest; returns 0 at its end.
using DataSource = std::function<std::size_t(std::uint8_t* dest, std::size_t size)>;

// Takes each decoded piece of a member; returning false stops the decoding as a failure.
using DecodedSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

enum class DecodeStatus {
    Ok,
    UnsupportedMethod, // a method this decoder does not know
    Damaged,           // the data ends early or holds a code no encoder writes
    Refused,           // the sink returned false
};

// How decodeLzhData takes streams that lhasa reads but no encoder writes. Strict refuses them
// as libarchive does, for a check of our own output that must not be more lenient than the
// readers of the archive: an incomplete or over-subscribed code table, the one-code form of
// the T and C tables (libarchive reads only the P table's), a run of zero lengths past a
// table's count, a block of no codes, a last code that runs past originalSize, and data left
// over after it (a last partial byte aside). The stored and static-Huffman methods read
// strictly; the older ones as ever.
enum class DecodeMode { Lenient, Strict };

// Whether decodeLzhData decodes members of the method named by the three letters between
// the dashes ("lh1", "lzs", ...).
bool ownDecodableMethod(std::string_view method);

// Decodes the data of one member packed with `method` into exactly originalSize bytes,
// handed to `out` in pieces in order. The member's CRC is the caller's to check; compressed
// bytes left over once originalSize bytes are out are ignored (encoders pad their last
// byte, some a little more). On any status but Ok, error says why.
DecodeStatus decodeLzhData(std::string_view method, const DataSource& in,
                           std::uint64_t originalSize, const DecodedSink& out, std::string& error,
                           DecodeMode mode = DecodeMode::Lenient);

// The same, where the first bytes of the data are at hand already: `ahead`, read in place
// while the decoding lasts (the caller keeps them), then what `rest` gives.
DecodeStatus decodeLzhData(std::string_view method, std::span<const std::uint8_t> ahead,
                           const DataSource& rest, std::uint64_t originalSize,
                           const DecodedSink& out, std::string& error,
                           DecodeMode mode = DecodeMode::Lenient);

} // namespace vadok::archiver
