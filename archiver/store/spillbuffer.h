#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vadok::archiver {

// Holds one member's compressed data while it waits for its turn in the archive: in memory
// up to a limit, beyond it in an unnamed temporary file in the given folder (the archive's
// own, so it lands on the same disk). Keeps memory bounded for any member size.
class SpillBuffer {
public:
    SpillBuffer(std::string folder, std::size_t memoryLimit);
    ~SpillBuffer();
    SpillBuffer(const SpillBuffer&) = delete;
    SpillBuffer& operator=(const SpillBuffer&) = delete;

    bool append(const std::uint8_t* data, std::size_t size);
    std::uint64_t size() const { return m_size; }
    // Reads up to size bytes at offset; returns how many (0 at the end or on error).
    std::size_t readAt(std::uint64_t offset, std::uint8_t* dest, std::size_t size) const;
    void clear();
    bool failed() const { return m_failed; }

private:
    bool flushTail();
    // Appends to the file, after what it holds.
    bool writeToFile(const std::uint8_t* data, std::size_t size);

    std::string m_folder;
    std::size_t m_memoryLimit;
    std::vector<std::uint8_t> m_memory;
    int m_fd = -1;
    std::uint64_t m_fileSize = 0; // what the file holds, after m_memory
    // Once the file is in use, small appends gather here: the encoder hands over a piece per
    // block with single bytes between, each a write of its own otherwise.
    std::vector<std::uint8_t> m_tail;
    std::uint64_t m_size = 0;
    bool m_failed = false;
};

} // namespace vadok::archiver
