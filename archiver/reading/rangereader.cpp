#include "rangereader.h"

#include <algorithm>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace vadok::archiver {

namespace {
struct KeptBuffer {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t capacity = 0;
};
thread_local KeptBuffer kept;
} // namespace

RangeReader::RangeReader(int fd, std::uint64_t begin, std::uint64_t end)
    : m_fd(fd), m_at(begin), m_end(std::max(begin, end)), m_buffer(std::move(kept.bytes)),
      m_capacity(std::exchange(kept.capacity, 0)), m_bufferStart(begin) {}

RangeReader::~RangeReader() {
    if (m_capacity >= kept.capacity) {
        kept.bytes = std::move(m_buffer);
        kept.capacity = m_capacity;
    }
}

void RangeReader::skipTo(std::uint64_t at) { m_at = std::clamp(at, m_at, m_end); }

// Makes the buffer hold min(want, left) bytes from m_at on.
bool RangeReader::fill(std::size_t want) {
    want = static_cast<std::size_t>(std::min<std::uint64_t>(want, m_end - m_at));
    const std::uint64_t bufferEnd = m_bufferStart + m_bufferUsed;
    if (m_at >= m_bufferStart && m_at + want <= bufferEnd)
        return true;
    // Keep what is still ahead, then read on behind it.
    std::size_t ahead = 0;
    if (m_at >= m_bufferStart && m_at < bufferEnd) {
        ahead = static_cast<std::size_t>(bufferEnd - m_at);
        std::memmove(m_buffer.get(), m_buffer.get() + (m_at - m_bufferStart), ahead);
    }
    if (const std::size_t need = std::max(want, kPiece); m_capacity < need) {
        // Only bytes read into it are ever looked at: no clearing.
        auto larger = std::make_unique_for_overwrite<std::uint8_t[]>(need);
        if (ahead > 0)
            std::memcpy(larger.get(), m_buffer.get(), ahead);
        m_buffer = std::move(larger);
        m_capacity = need;
    }
    m_bufferStart = m_at;
    m_bufferUsed = ahead;
    const std::uint64_t left = m_end - m_at;
    while (m_bufferUsed < want) {
        const auto room = static_cast<std::size_t>(
            std::min<std::uint64_t>(m_capacity - m_bufferUsed, left - m_bufferUsed));
        const ssize_t n = ::pread(m_fd, m_buffer.get() + m_bufferUsed, room,
                                  static_cast<off_t>(m_at + m_bufferUsed));
        if (n <= 0) {
            m_failed = true;
            return false;
        }
        m_bufferUsed += static_cast<std::size_t>(n);
    }
    return true;
}

const std::uint8_t* RangeReader::peek(std::size_t want, std::size_t& got) {
    got = 0;
    if (!fill(want))
        return nullptr;
    got = static_cast<std::size_t>(m_bufferStart + m_bufferUsed - m_at);
    return m_buffer.get() + (m_at - m_bufferStart);
}

std::size_t RangeReader::read(std::uint8_t* dest, std::size_t size) {
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_end - m_at));
    if (size == 0)
        return 0;
    // Large reads go straight to the caller; small ones through the buffer.
    const std::uint64_t bufferEnd = m_bufferStart + m_bufferUsed;
    if (m_at >= m_bufferStart && m_at < bufferEnd) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size, bufferEnd - m_at));
        std::memcpy(dest, m_buffer.get() + (m_at - m_bufferStart), n);
        m_at += n;
        return n;
    }
    if (size >= kPiece) {
        const ssize_t n = ::pread(m_fd, dest, size, static_cast<off_t>(m_at));
        if (n <= 0) {
            m_failed = true;
            return 0;
        }
        m_at += static_cast<std::uint64_t>(n);
        return static_cast<std::size_t>(n);
    }
    std::size_t got = 0;
    const std::uint8_t* p = peek(std::min(size, kPiece), got);
    if (!p || got == 0)
        return 0;
    const std::size_t n = std::min(size, got);
    std::memcpy(dest, p, n);
    m_at += n;
    return n;
}

} // namespace vadok::archiver
