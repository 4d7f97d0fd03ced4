#pragma once

#include <cstdint>
#include <filesystem>

namespace vadok::bench {

// An LZH archive of count empty files (level-2 headers, a thousand per folder, names like
// d012/f0123456): what costs memory per member rather than per byte when expanded.
void writeEmptyMembersArchive(const std::filesystem::path& archive, std::uint64_t count);

} // namespace vadok::bench
