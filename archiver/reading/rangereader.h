#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vadok::archiver {

// Reads bytes [begin, end) of a file open as fd, in large pieces, forwards: the members of
// one range of an archive, headers looked at in place and data pulled through.
// A thread reads one range after another: the buffer of its last reader is handed to the
// next, not allocated and cleared again for each.
class RangeReader {
public:
    // What one read from the file takes at the least; a peek of up to this many bytes never
    // makes the buffer grow.
    static constexpr std::size_t kPiece = 256 * 1024;

    RangeReader(int fd, std::uint64_t begin, std::uint64_t end);
    ~RangeReader();
    RangeReader(const RangeReader&) = delete;
    RangeReader& operator=(const RangeReader&) = delete;

    std::uint64_t position() const { return m_at; }
    // Moves forwards to `at` (within the range).
    void skipTo(std::uint64_t at);
    // At least min(want, bytes left in the range) bytes from the position on, without moving;
    // got says how many. nullptr when the file cannot be read. Valid until the next call.
    const std::uint8_t* peek(std::size_t want, std::size_t& got);
    // Copies up to size bytes from the position on and moves past them; 0 at the end of the
    // range or when the file cannot be read (failed() tells which).
    std::size_t read(std::uint8_t* dest, std::size_t size);
    bool failed() const { return m_failed; }

private:
    bool fill(std::size_t want);

    int m_fd;
    std::uint64_t m_at;
    std::uint64_t m_end;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_capacity = 0;
    std::uint64_t m_bufferStart = 0; // file offset of m_buffer[0]
    std::size_t m_bufferUsed = 0;
    bool m_failed = false;
};

} // namespace vadok::archiver
