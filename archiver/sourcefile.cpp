#include "sourcefile.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace vadok::archiver {

namespace {

constexpr int kFileFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// Where openat2 is missing (old kernels, container filters), one folder at a time.
int openPartByPart(int root, const std::string& path) {
    int dir = root;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const std::string part = path.substr(start, slash == std::string::npos ? slash : slash - start);
        const bool last = slash == std::string::npos;
        const int next = ::openat(dir, part.c_str(),
                                  last ? kFileFlags : O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir != root)
            ::close(dir);
        if (last || next < 0)
            return next;
        dir = next;
        start = slash + 1;
    }
}

} // namespace

SourceFolder::SourceFolder(const std::string& folder) : m_path(folder) {
    while (m_path.size() > 1 && m_path.back() == '/')
        m_path.pop_back();
    m_fd = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

SourceFolder::~SourceFolder() {
    if (m_fd >= 0)
        ::close(m_fd);
}

int SourceFolder::openFile(const std::string& path) const {
    open_how how{};
    how.flags = kFileFlags;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
    int fd = static_cast<int>(::syscall(SYS_openat2, m_fd, path.c_str(), &how, sizeof how));
    if (fd < 0 && (errno == ENOSYS || errno == EPERM))
        fd = openPartByPart(m_fd, path);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SourceFolder::readFile(const std::string& path,
                            const std::function<void(const std::uint8_t*, std::size_t)>& sink) const {
    const int fd = openFile(path);
    if (fd < 0)
        return false;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    thread_local std::vector<std::uint8_t> buf(256 * 1024);
    bool ok = true;
    while (true) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        sink(buf.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ok;
}

} // namespace vadok::archiver
