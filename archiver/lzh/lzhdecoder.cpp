#include "lzhdecoder.h"

#include "larcdecoder.h"
#include "lzhblockdecoder.h"
#include "lzhdynamicdecoder.h"

#include <algorithm>
#include <vector>

namespace vadok::archiver {

namespace {

DecodeStatus copyStored(const DataSource& in, std::uint64_t originalSize, const DecodedSink& out,
                        std::string& error) {
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
    return DecodeStatus::Ok;
}

// Position table sizes: NP is one more than the bits of the largest distance, and its count
// field is 4 bits wide up to -lh5-, 5 bits beyond. -lh4- shares -lh5-'s tables (its encoders
// only use the first 4 KiB); -lhx- reaches 512 KiB back.
const LzhBlockParams* blockParams(std::string_view method) {
    static constexpr LzhBlockParams lh5{14, 4}, lh6{16, 5}, lh7{17, 5}, lhx{20, 5};
    if (method == "lh4" || method == "lh5")
        return &lh5;
    if (method == "lh6")
        return &lh6;
    if (method == "lh7")
        return &lh7;
    if (method == "lhx")
        return &lhx;
    return nullptr;
}

bool stored(std::string_view method) { return method == "lh0" || method == "lz4"; }

} // namespace

bool ownDecodableMethod(std::string_view method) {
    return stored(method) || blockParams(method) != nullptr || method == "lh1" || method == "lzs" ||
           method == "lz5";
}

DecodeStatus decodeLzhData(std::string_view method, const DataSource& in, std::uint64_t originalSize,
                           const DecodedSink& out, std::string& error) {
    if (stored(method))
        return copyStored(in, originalSize, out, error);
    if (const LzhBlockParams* params = blockParams(method))
        return decodeLzhBlocks(*params, in, originalSize, out, error);
    if (method == "lh1")
        return decodeLzhDynamic(in, originalSize, out, error);
    if (method == "lzs")
        return decodeLzs(in, originalSize, out, error);
    if (method == "lz5")
        return decodeLz5(in, originalSize, out, error);
    error = "no decoder for -" + std::string(method) + "-";
    return DecodeStatus::UnsupportedMethod;
}

} // namespace vadok::archiver
