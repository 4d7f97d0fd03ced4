#include "openbeneath.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vadok::archiver {

namespace {

// Where openat2 is missing (old kernels, container filters), one folder at a time.
int openPartByPart(int root, const std::string& path, int flags, mode_t mode) {
    int dir = root;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const std::string part = path.substr(start, slash == std::string::npos ? slash : slash - start);
        const bool last = slash == std::string::npos;
        const int next = last ? ::openat(dir, part.c_str(), flags, mode)
                              : ::openat(dir, part.c_str(),
                                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int saved = errno;
        if (dir != root)
            ::close(dir);
        errno = saved;
        if (last || next < 0)
            return next;
        dir = next;
        start = slash + 1;
    }
}

} // namespace

int openBeneath(int root, const std::string& path, int flags, mode_t mode) {
    flags |= O_NOFOLLOW | O_CLOEXEC;
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.mode = (flags & O_CREAT) ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
    const int fd = static_cast<int>(::syscall(SYS_openat2, root, path.c_str(), &how, sizeof how));
    if (fd < 0 && (errno == ENOSYS || errno == EPERM))
        return openPartByPart(root, path, flags, mode);
    return fd;
}

int regularFileOrClose(int fd) {
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace vadok::archiver
