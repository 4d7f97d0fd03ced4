#include "outputfile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok::archiver {

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
// Written data is handed to the disk in steps of this size while the archive is still being
// written, so that the final sync has little left to wait for.
constexpr std::uint64_t kWritebackStep = 4 << 20;

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The writer's pid when name is "<prefix><pid>.XXXXXX" (mkstemp's six characters).
std::optional<pid_t> writerOf(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() + 7 || name.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    const std::size_t dot = name.size() - 7;
    if (name[dot] != '.' ||
        !std::all_of(name.begin() + static_cast<long>(dot) + 1, name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
        return std::nullopt;
    const std::string digits = name.substr(prefix.size(), dot - prefix.size());
    if (digits.empty() || digits.size() > 9 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return static_cast<pid_t>(std::stol(digits));
}

void removeDeadTemporaries(const std::string& folder, const std::string& prefix) {
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        const auto pid = writerOf(name, prefix);
        if (!pid || ::kill(*pid, 0) == 0 || errno != ESRCH)
            continue;
        const std::string path = folder + "/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(d);
}
} // namespace

OutputFile::~OutputFile() {
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
}

bool OutputFile::create(const std::string& finalPath) {
    m_finalPath = finalPath;
    const std::size_t slash = finalPath.rfind('/');
    const std::string base = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
    const std::string prefix = "." + base + ".";
    removeDeadTemporaries(folderOf(finalPath), prefix);
    std::string pattern = folderOf(finalPath) + "/" + prefix + std::to_string(::getpid()) + ".XXXXXX";
    m_fd = ::mkstemp(pattern.data());
    if (m_fd < 0)
        return false;
    m_tempPath = pattern;
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    // mkstemp makes the file 0600; an archive is an ordinary file of the user.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(m_fd, 0666 & ~mask);
    m_buffer.reserve(kBufferSize);
    return true;
}

bool OutputFile::flush() {
    std::size_t done = 0;
    while (done < m_buffer.size()) {
        const ssize_t w = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        done += static_cast<std::size_t>(w);
    }
    m_buffer.clear();
    startWriteback();
    return true;
}

void OutputFile::startWriteback() {
    const std::uint64_t onDisk = m_written - m_buffer.size();
    if (onDisk - m_writebackStarted < kWritebackStep)
        return;
    // Only starts the writing; commit() still waits for all of it.
    ::sync_file_range(m_fd, static_cast<off_t>(m_writebackStarted),
                      static_cast<off_t>(onDisk - m_writebackStarted), SYNC_FILE_RANGE_WRITE);
    m_writebackStarted = onDisk;
}

bool OutputFile::write(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    m_synced = false;
    if (m_buffer.size() + size > kBufferSize && !flush())
        return false;
    if (size >= kBufferSize) {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t w = ::write(m_fd, p + done, size - done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += static_cast<std::size_t>(w);
            m_written += static_cast<std::uint64_t>(w);
        }
        startWriteback();
        return true;
    }
    m_buffer.insert(m_buffer.end(), p, p + size);
    m_written += size;
    return true;
}

bool OutputFile::copyFrom(int fd, std::uint64_t offset, std::uint64_t size) {
    m_synced = false;
    if (!flush())
        return false;
    auto in = static_cast<off_t>(offset);
    while (size > 0) {
        const ssize_t n =
            ::copy_file_range(fd, &in, m_fd, nullptr, static_cast<std::size_t>(size), 0);
        if (n > 0) {
            size -= static_cast<std::uint64_t>(n);
            m_written += static_cast<std::uint64_t>(n);
            startWriteback();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            return false;
        // Kernels or file systems without copy_file_range: plain reads and writes.
        std::vector<std::uint8_t> chunk(1 << 20);
        while (size > 0) {
            const ssize_t r =
                ::pread(fd, chunk.data(),
                        static_cast<std::size_t>(std::min<std::uint64_t>(size, chunk.size())), in);
            if (r <= 0)
                return false;
            if (!write(chunk.data(), static_cast<std::size_t>(r)))
                return false;
            in += r;
            size -= static_cast<std::uint64_t>(r);
        }
        return flush();
    }
    return true;
}

bool OutputFile::sync() {
    if (!flush() || ::fsync(m_fd) != 0)
        return false;
    m_synced = true;
    return true;
}

bool OutputFile::commit() {
    if (!m_synced && !sync())
        return false;
    // Renamed while still open and locked, so that it never looks like a dead leftover.
    if (::rename(m_tempPath.c_str(), m_finalPath.c_str()) != 0)
        return false;
    m_committed = true;
    ::fstat(m_fd, &m_committedFile);
    ::close(m_fd); // the data is on disk already
    m_fd = -1;
    const int dir = ::open(folderOf(m_finalPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace vadok::archiver
