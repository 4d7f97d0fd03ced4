#include "lzhdecoder.h"

#include "larcdecoder.h"
#include "lzhblockdecoder.h"
#include "lzhdynamicdecoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vadok::archiver {

namespace {

DecodeStatus copyStored(const DataSource& in, std::uint64_t originalSize, const DecodedSink& out,
                        std::string& error, DecodeMode mode) {
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::uint64_t>(originalSize, 256 * 1024)));
    std::uint64_t left = originalSize;
    while (left > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, buf.size()));
        const std::size_t got = in(buf.data(), want);
        if (got == 0) {
            error = "the data ends early";
            return DecodeStatus::Damaged;
        }
        if (!out(buf.data(), got)) {
            error = "the output refused the data";
            return DecodeStatus::Refused;
        }
        left -= got;
    }
    std::uint8_t more = 0;
    if (mode == DecodeMode::Strict && in(&more, 1) != 0) {
        error = "data follows the member's end";
        return DecodeStatus::Damaged;
    }
    return DecodeStatus::Ok;
}

// Position table sizes: NP is one more than the bits of the largest distance, and its count
// field is 4 bits wide up to -lh5-, 5 bits beyond. -lh4- shares -lh5-'s tables (its encoders
// only use the first 4 KiB); -lhx- reaches 512 KiB back.
constexpr LzhBlockParams kLh5{14, 4}, kLh6{16, 5}, kLh7{17, 5}, kLhx{20, 5};

// A member's data: the bytes at hand, then the source.
struct MemberData {
    std::span<const std::uint8_t> ahead;
    const DataSource& rest;
};

// The member's data as one source, for the decoders that only pull.
template <typename Decode>
DecodeStatus pulled(const MemberData& in, Decode decode) {
    if (in.ahead.empty())
        return decode(in.rest);
    std::size_t at = 0;
    const DataSource source = [&](std::uint8_t* dest, std::size_t size) {
        if (at == in.ahead.size())
            return in.rest(dest, size);
        const std::size_t n = std::min(size, in.ahead.size() - at);
        std::memcpy(dest, in.ahead.data() + at, n);
        at += n;
        return n;
    };
    return decode(source);
}

DecodeStatus stored(const MemberData& in, std::uint64_t originalSize, const DecodedSink& out,
                    std::string& error, DecodeMode mode) {
    return pulled(in, [&](const DataSource& source) {
        return copyStored(source, originalSize, out, error, mode);
    });
}

template <const LzhBlockParams& params>
DecodeStatus decodeBlocks(const MemberData& in, std::uint64_t originalSize, const DecodedSink& out,
                          std::string& error, DecodeMode mode) {
    return decodeLzhBlocks(params, in.ahead, in.rest, originalSize, out, error, mode);
}

using Decoder = DecodeStatus (*)(const MemberData& in, std::uint64_t originalSize,
                                 const DecodedSink& out, std::string& error, DecodeMode mode);

template <DecodeStatus (*decode)(const DataSource&, std::uint64_t, const DecodedSink&, std::string&)>
DecodeStatus lenientOnly(const MemberData& in, std::uint64_t originalSize, const DecodedSink& out,
                         std::string& error, DecodeMode) {
    return pulled(in, [&](const DataSource& source) {
        return decode(source, originalSize, out, error);
    });
}

// Every method our decoders read, by the three letters between its dashes. What our own
// store writes comes first: it is nearly every member read, and each is looked up twice.
constexpr struct {
    std::string_view method;
    Decoder decode;
} kMethods[] = {
    {"lh7", decodeBlocks<kLh7>}, {"lh0", stored},             {"lh6", decodeBlocks<kLh6>},
    {"lh5", decodeBlocks<kLh5>}, {"lh4", decodeBlocks<kLh5>}, {"lhx", decodeBlocks<kLhx>},
    {"lh1", lenientOnly<decodeLzhDynamic>}, {"lz4", stored}, {"lzs", lenientOnly<decodeLzs>},
    {"lz5", lenientOnly<decodeLz5>},
};

Decoder decoderOf(std::string_view method) {
    for (const auto& m : kMethods)
        if (m.method == method)
            return m.decode;
    return nullptr;
}

} // namespace

bool ownDecodableMethod(std::string_view method) {
    return decoderOf(method) != nullptr;
}

DecodeStatus decodeLzhData(std::string_view method, const DataSource& in, std::uint64_t originalSize,
                           const DecodedSink& out, std::string& error, DecodeMode mode) {
    return decodeLzhData(method, {}, in, originalSize, out, error, mode);
}

DecodeStatus decodeLzhData(std::string_view method, std::span<const std::uint8_t> ahead,
                           const DataSource& rest, std::uint64_t originalSize,
                           const DecodedSink& out, std::string& error, DecodeMode mode) {
    if (const Decoder decode = decoderOf(method))
        return decode({ahead, rest}, originalSize, out, error, mode);
    error = "no decoder for -" + std::string(method) + "-";
    return DecodeStatus::UnsupportedMethod;
}

} // namespace vadok::archiver
