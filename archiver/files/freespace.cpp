#include "freespace.h"

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
    return static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
}

} // namespace vadok::archiver
