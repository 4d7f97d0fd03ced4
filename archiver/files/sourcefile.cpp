#include "sourcefile.h"

#include "openbeneath.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace vadok::archiver {

namespace {

constexpr int kFileFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
constexpr std::size_t kReadSize = 256 * 1024;

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// One per thread, left as allocated: reads of small files touch only the pages they fill,
// where a cleared buffer cost every thread a fault for each of its pages.
std::uint8_t* readBuffer() {
    thread_local const std::unique_ptr<std::uint8_t[]> buffer =
        std::make_unique_for_overwrite<std::uint8_t[]>(kReadSize);
    return buffer.get();
}

} // namespace

SourceFile::SourceFile(const SourceFolder& folder, const std::string& path)
    : m_folder(folder), m_path(path) {
    m_fd = folder.openFile(path, m_opened);
}

SourceFile::~SourceFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SourceFile::is(const ExpectedFile& expected) const {
    return static_cast<std::uint64_t>(m_opened.st_size) == expected.size &&
           m_opened.st_mtim.tv_sec == expected.mtime &&
           static_cast<std::uint32_t>(m_opened.st_mtim.tv_nsec) == expected.mtimeNsec;
}

long SourceFile::read(std::uint8_t* dest, std::size_t size) {
    while (true) {
        const ssize_t n = ::read(m_fd, dest, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0) {
            m_read += static_cast<std::uint64_t>(n);
            if (m_folder.hooks().afterRead)
                m_folder.hooks().afterRead(m_path, m_read);
        }
        return n;
    }
}

bool SourceFile::unchangedSinceOpened() const {
    struct stat now {};
    return ::fstat(m_fd, &now) == 0 && now.st_size == m_opened.st_size &&
           sameTime(now.st_mtim, m_opened.st_mtim) && sameTime(now.st_ctim, m_opened.st_ctim);
}

SourceFolder::SourceFolder(const std::string& folder, SourceReadHooks hooks)
    : m_path(folder), m_hooks(std::move(hooks)) {
    while (m_path.size() > 1 && m_path.back() == '/')
        m_path.pop_back();
    m_fd = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

SourceFolder::~SourceFolder() {
    if (m_fd >= 0)
        ::close(m_fd);
}

int SourceFolder::openFile(const std::string& path, struct stat& opened) const {
    if (m_hooks.beforeOpen)
        m_hooks.beforeOpen(path);
    const int fd = openBeneath(m_fd, path, kFileFlags);
    if (fd < 0)
        return -1;
    // One status serves both: that it is a regular file, and what it was when opened.
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        return -1;
    }
    // A file that one read takes whole gains nothing from a wider read-ahead, and most of an
    // application's files are such: a system call less for each.
    if (static_cast<std::uint64_t>(opened.st_size) > kReadSize)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

bool SourceFolder::readFile(const std::string& path,
                            const std::function<void(const std::uint8_t*, std::size_t)>& sink) const {
    SourceFile file(*this, path);
    if (!file.isOpen())
        return false;
    std::uint8_t* const buf = readBuffer();
    while (true) {
        const long n = file.read(buf, kReadSize);
        if (n <= 0)
            return n == 0;
        sink(buf, static_cast<std::size_t>(n));
    }
}

SourceRead SourceFolder::readFile(
    const std::string& path, const ExpectedFile& expected,
    const std::function<void(const std::uint8_t*, std::size_t)>& sink) const {
    SourceFile file(*this, path);
    if (!file.isOpen())
        return SourceRead::CannotRead;
    if (!file.is(expected))
        return SourceRead::Changed;
    std::uint8_t* const buf = readBuffer();
    while (true) {
        const long n = file.read(buf, kReadSize);
        if (n < 0)
            return SourceRead::CannotRead;
        if (n == 0)
            break;
        // A file that keeps growing is not read to its end.
        if (file.bytesRead() > expected.size)
            return SourceRead::Changed;
        sink(buf, static_cast<std::size_t>(n));
    }
    if (file.bytesRead() != expected.size || !file.unchangedSinceOpened())
        return SourceRead::Changed;
    return SourceRead::Ok;
}

} // namespace vadok::archiver
