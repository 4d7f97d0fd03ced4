#include "archivelock.h"

#include "base/codes.h"
#include "openbeneath.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace vadok::archiver {

namespace {

constexpr auto kRetry = std::chrono::milliseconds(20);
constexpr std::size_t kLongestRecord = 4096;

std::string folderPartOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string namePartOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Opened for writing when it can be (a store records its temporary in it), else for reading
// (a reader in a folder it may not write).
int openLockFile(const std::string& path, bool mayCreate) {
    // Not blocking: whatever stands at the lock file's name, a FIFO included, must not hang
    // a store.
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), O_RDWR | kFlags | (mayCreate ? O_CREAT : 0), 0644);
    if (fd < 0 && !mayCreate && errno != ENOENT)
        fd = ::open(path.c_str(), O_RDONLY | kFlags);
    return regularFileOrClose(fd);
}

std::string recordIn(int fd, const std::string& prefix) {
    if (fd < 0)
        return {};
    std::string text(kLongestRecord, '\0');
    const ssize_t n = ::pread(fd, text.data(), text.size(), 0);
    if (n <= 0)
        return {};
    text.resize(static_cast<std::size_t>(n));
    const std::size_t end = text.find('\n');
    if (end == std::string::npos)
        return {}; // cut short while written: nothing sure to remove
    text.resize(end);
    // Whatever else stands in the file (written by hand, or by something else), it never
    // names a file that is not a temporary of this archive.
    if (text.size() <= prefix.size() || text.compare(0, prefix.size(), prefix) != 0 ||
        text.find('/') != std::string::npos || text.find('\0') != std::string::npos ||
        text == prefix + "lock")
        return {};
    return text;
}

} // namespace

ArchiveLock::~ArchiveLock() { release(); }

ArchiveLock::ArchiveLock(ArchiveLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_prefix(std::move(other.m_prefix)) {}

ArchiveLock& ArchiveLock::operator=(ArchiveLock&& other) noexcept {
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
        m_prefix = std::move(other.m_prefix);
    }
    return *this;
}

void ArchiveLock::release() {
    if (m_fd >= 0)
        ::close(m_fd); // drops the flock
    m_fd = -1;
}

std::string ArchiveLock::lockPathOf(const std::string& archivePath) {
    return folderPartOf(archivePath) + "." + namePartOf(archivePath) + ".lock";
}

std::string ArchiveLock::temporaryPrefixOf(const std::string& archivePath) {
    return "." + namePartOf(archivePath) + ".";
}

int ArchiveLock::take(const std::string& archivePath, Kind kind, const Wait& wait) {
    release();
    m_prefix = temporaryPrefixOf(archivePath);
    const std::string path = lockPathOf(archivePath);
    const bool exclusive = kind == Kind::Exclusive;
    int fd = -1;
    if (exclusive) {
        fd = openLockFile(path, true);
        if (fd < 0)
            return ArchiverCannotCreate;
    } else {
        // A reader of an archive that is not there has nothing to wait for, and leaves no
        // lock file behind.
        struct stat st {};
        fd = openLockFile(path, false);
        if (fd < 0 && ::stat(archivePath.c_str(), &st) == 0)
            fd = openLockFile(path, true);
        if (fd < 0)
            return ArchiverOk;
    }
    const auto until = std::chrono::steady_clock::now() + wait.limit;
    while (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            // A file system without locks: a reader goes on as it did before there were any.
            ::close(fd);
            return exclusive ? ArchiverCannotCreate : ArchiverOk;
        }
        if (std::chrono::steady_clock::now() >= until || (wait.waiting && !wait.waiting())) {
            ::close(fd);
            return ArchiverLocked;
        }
        std::this_thread::sleep_for(kRetry);
    }
    m_fd = fd;
    return ArchiverOk;
}

std::string ArchiveLock::recordedTemporary() const { return recordIn(m_fd, m_prefix); }

std::string ArchiveLock::recordedTemporaryOf(const std::string& archivePath) {
    const int fd = ::open(lockPathOf(archivePath).c_str(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat st {};
    const std::string name =
        ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? recordIn(fd, temporaryPrefixOf(archivePath))
                                                      : std::string();
    ::close(fd);
    return name;
}

bool ArchiveLock::recordTemporary(const std::string& name) {
    if (m_fd < 0)
        return false;
    const std::string text = name + "\n";
    return ::ftruncate(m_fd, 0) == 0 &&
           ::pwrite(m_fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

void ArchiveLock::clearRecord() {
    if (m_fd >= 0)
        (void)::ftruncate(m_fd, 0);
}

} // namespace vadok::archiver
