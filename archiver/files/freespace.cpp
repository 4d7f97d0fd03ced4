#include "freespace.h"

#include <limits>

namespace vadok::archiver {

std::optional<std::uint64_t> freeSpaceFor(std::filesystem::path path) {
    struct statvfs fs {};
    while (::statvfs(path.empty() ? "." : path.c_str(), &fs) != 0) {
        if (path.empty() || path == path.root_path())
            return std::nullopt;
        path = path.parent_path();
    }
    return freeBytesOf(fs);
}

std::optional<std::uint64_t> freeBytesOf(const struct statvfs& fs) {
    if (fs.f_blocks == 0)
        return std::nullopt;
    // Some FUSE file systems report made-up counts; a product that wrapped round would show
    // a huge file system as nearly full.
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(static_cast<std::uint64_t>(fs.f_bavail),
                               static_cast<std::uint64_t>(fs.f_frsize), &bytes))
        return std::numeric_limits<std::uint64_t>::max();
    return bytes;
}

} // namespace vadok::archiver
