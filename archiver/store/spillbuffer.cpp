#include "spillbuffer.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vadok::archiver {

SpillBuffer::SpillBuffer(std::string folder, std::size_t memoryLimit)
    : m_folder(std::move(folder)), m_memoryLimit(memoryLimit) {}

SpillBuffer::~SpillBuffer() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void SpillBuffer::clear() {
    m_memory.clear();
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
    const std::uint64_t fileBase = m_memory.size();
    std::size_t done = 0;
    while (done < size) {
        const ssize_t w =
            ::pwrite(m_fd, data + done, size - done, static_cast<off_t>(m_size - fileBase + done));
        if (w <= 0) {
            m_failed = true;
            return false;
        }
        done += static_cast<std::size_t>(w);
    }
    m_size += size;
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
    const ssize_t r = ::pread(m_fd, dest, size, static_cast<off_t>(offset - m_memory.size()));
    return r > 0 ? static_cast<std::size_t>(r) : 0;
}

} // namespace vadok::archiver
