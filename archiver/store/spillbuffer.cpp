#include "spillbuffer.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vadok::archiver {

namespace {
constexpr std::size_t kTailSize = 64 * 1024;
} // namespace

SpillBuffer::SpillBuffer(std::string folder, std::size_t memoryLimit)
    : m_folder(std::move(folder)), m_memoryLimit(memoryLimit) {}

SpillBuffer::~SpillBuffer() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void SpillBuffer::clear() {
    m_memory.clear();
    m_tail.clear();
    m_fileSize = 0;
    m_size = 0;
    m_failed = false;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool SpillBuffer::append(const std::uint8_t* data, std::size_t size) {
    if (m_failed)
        return false;
    if (m_fd < 0 && m_memory.size() + size <= m_memoryLimit) {
        m_memory.insert(m_memory.end(), data, data + size);
        m_size += size;
        return true;
    }
    if (m_fd < 0) {
        m_fd =
            ::open(m_folder.empty() ? "." : m_folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            // File systems without O_TMPFILE: a named file, removed at once.
            std::string pattern =
                (m_folder.empty() ? std::string(".") : m_folder) + "/.vadok-spill-XXXXXX";
            m_fd = ::mkstemp(pattern.data());
            if (m_fd >= 0)
                ::unlink(pattern.c_str());
        }
        if (m_fd < 0) {
            m_failed = true;
            return false;
        }
    }
    if (m_tail.size() + size > kTailSize && !flushTail())
        return false;
    m_size += size;
    if (size < kTailSize) {
        if (m_tail.capacity() < kTailSize)
            m_tail.reserve(kTailSize);
        m_tail.insert(m_tail.end(), data, data + size);
        return true;
    }
    return writeToFile(data, size);
}

bool SpillBuffer::flushTail() {
    if (!writeToFile(m_tail.data(), m_tail.size()))
        return false;
    m_tail.clear();
    return true;
}

bool SpillBuffer::writeToFile(const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t w =
            ::pwrite(m_fd, data + done, size - done, static_cast<off_t>(m_fileSize + done));
        if (w <= 0) {
            m_failed = true;
            return false;
        }
        done += static_cast<std::size_t>(w);
    }
    m_fileSize += size;
    return true;
}

std::size_t SpillBuffer::readAt(std::uint64_t offset, std::uint8_t* dest, std::size_t size) const {
    if (offset >= m_size)
        return 0;
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_size - offset));
    if (offset < m_memory.size()) {
        const std::size_t n =
            std::min<std::size_t>(size, m_memory.size() - static_cast<std::size_t>(offset));
        std::memcpy(dest, m_memory.data() + offset, n);
        return n;
    }
    const std::uint64_t inFile = offset - m_memory.size();
    if (inFile >= m_fileSize) {
        const std::size_t at = static_cast<std::size_t>(inFile - m_fileSize);
        std::memcpy(dest, m_tail.data() + at, size);
        return size;
    }
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_fileSize - inFile));
    const ssize_t r = ::pread(m_fd, dest, size, static_cast<off_t>(inFile));
    return r > 0 ? static_cast<std::size_t>(r) : 0;
}

} // namespace vadok::archiver
