#include "sourcefile.h"

#include "openbeneath.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vadok::archiver {

namespace {

constexpr int kFileFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

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
    const int fd = openBeneath(m_fd, path, kFileFlags);
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
