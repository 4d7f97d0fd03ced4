#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <sys/statvfs.h>

namespace vadok::archiver {

// Free bytes for an unprivileged writer on the file system that will hold path (or its
// nearest existing folder, the working folder for a relative path none of whose folders
// exist yet); nullopt when that cannot be told.
std::optional<std::uint64_t> freeSpaceFor(std::filesystem::path path);

// What a file system's statvfs tells of its free bytes. Several FUSE file systems report no
// size at all (no blocks): nothing is known then, and a full disk shows as a failed write.
std::optional<std::uint64_t> freeBytesOf(const struct statvfs& fs);

} // namespace vadok::archiver
