#pragma once

#include <string_view>

namespace vadok::archiver {

// The compressing methods we write. All three are LZSS with static Huffman blocks and
// differ only in the window (dictionary) size and the width of the position table header.
enum class LzhMethod { Lh5, Lh6, Lh7 };

struct LzhMethodParams {
    const char* id;          // the five bytes in the member header, e.g. "-lh7-"
    unsigned dictionaryBits; // window = 1 << dictionaryBits bytes
    unsigned positionCodes;  // NP: symbols of the position table
    unsigned positionBits;   // PBIT: width of the position table's count field
};

LzhMethodParams methodParams(LzhMethod method);

// Whether libarchive decodes members of the method named ("lh5", "lhd", ...): it is the
// independent check of what our encoder writes. What can be read at all is what our own
// decoders read (ownDecodableMethod, lzhdecoder.h).
bool libarchiveDecodes(std::string_view name);

} // namespace vadok::archiver
