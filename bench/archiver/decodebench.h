#pragma once

#include <filesystem>

namespace vadok::bench {

// Prints decoding speed per LZH method: ours beside libarchive's (-lh5-, -lh7-) and lhasa's
// (`lhasa t`) on the same archives. Works in `work`, which must exist.
void printDecodingFigures(const std::filesystem::path& work);

} // namespace vadok::bench
