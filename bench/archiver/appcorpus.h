#pragma once

// A folder that looks like an application: ELF programs and libraries from /usr/lib and
// /usr/bin, text, PNG images, and thousands of small files in nested folders. Built from
// this machine's own files, so the same machine builds the same corpus each time.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace vadok::bench {

// Fills folder with about targetBytes of such files.
void buildAppCorpus(const std::filesystem::path& folder, std::uint64_t targetBytes);

// The bytes of the regular files below root; their paths go to files when given.
std::uint64_t folderBytes(const std::filesystem::path& root,
                          std::vector<std::filesystem::path>* files = nullptr);

} // namespace vadok::bench
