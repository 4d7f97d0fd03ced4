#include "outputfile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok::archiver {

namespace {
constexpr std::size_t kBufferSize = 1 << 20;

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
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
    std::string pattern = folderOf(finalPath) + "/." + base + ".XXXXXX";
    m_fd = ::mkstemp(pattern.data());
    if (m_fd < 0)
        return false;
    m_tempPath = pattern;
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
    return true;
}

bool OutputFile::write(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    m_written += size;
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
        }
        return true;
    }
    m_buffer.insert(m_buffer.end(), p, p + size);
    return true;
}

bool OutputFile::copyFrom(int fd, std::uint64_t offset, std::uint64_t size) {
    if (!flush())
        return false;
    auto in = static_cast<off_t>(offset);
    while (size > 0) {
        const ssize_t n =
            ::copy_file_range(fd, &in, m_fd, nullptr, static_cast<std::size_t>(size), 0);
        if (n > 0) {
            size -= static_cast<std::uint64_t>(n);
            m_written += static_cast<std::uint64_t>(n);
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

bool OutputFile::commit() {
    if (!flush() || ::fsync(m_fd) != 0)
        return false;
    if (::close(m_fd) != 0) {
        m_fd = -1;
        return false;
    }
    m_fd = -1;
    if (::rename(m_tempPath.c_str(), m_finalPath.c_str()) != 0)
        return false;
    m_committed = true;
    const int dir = ::open(folderOf(m_finalPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace vadok::archiver
