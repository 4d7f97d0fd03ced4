#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace glimtake {

inline constexpr const char* kOutputName = "_temp.ico";

// Extracts the icon of target into outputFolder/_temp.ico. Returns whether a file was
// written; the program itself never reports it.
bool extractIconToFolder(const std::filesystem::path& target,
                         const std::filesystem::path& outputFolder);

// Where the icon goes for a glimtake at self: beside it, unless it was installed under /usr,
// where it cannot write; there it goes to the working folder, which the launcher sets to its
// own data folder.
std::filesystem::path outputFolderFor(const std::filesystem::path& self,
                                      const std::filesystem::path& workingFolder);

// Writes bytes to path in one piece: a reader polling for path never sees it half-written.
bool writeFileAtomically(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

} // namespace glimtake
