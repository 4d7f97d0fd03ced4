#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace vadok::archiver {

class ArchiveLock;

// The temporary archive beside the real one: buffered writes, raw copies from another file,
// flush to disk and the final rename. Destroying it without commit() removes the file.
//
// A store killed outright leaves its temporary behind. Its name, ".<archive name>.<pid>.
// XXXXXX", proves nothing (a user may keep a file of that name beside the archive or in the
// folder being stored), so the store records the name in the archive's lock file before it
// creates the file, while it holds the lock exclusively (archivelock.h); create() removes
// exactly the temporary that record names, which only a store that died can have left.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Removes the temporary a killed store recorded in lock, then creates and records a
    // fresh one in the folder of finalPath. lock is held exclusively and outlives this.
    bool create(const std::string& finalPath, ArchiveLock& lock);
    bool write(const void* data, std::size_t size);
    // Copies size bytes at offset of the open file descriptor fd.
    bool copyFrom(int fd, std::uint64_t offset, std::uint64_t size);
    // Flushes and waits until everything written is on disk.
    bool sync();
    // Flushes, syncs (unless sync() did since the last write), renames over finalPath and
    // syncs the folder.
    bool commit();
    const std::string& temporaryPath() const { return m_tempPath; }
    // The archive as commit() left it.
    const struct stat& committedFile() const { return m_committedFile; }
    std::uint64_t written() const { return m_written; }
    bool flush();

private:
    void startWriteback();

    int m_fd = -1;
    ArchiveLock* m_lock = nullptr;
    std::string m_finalPath;
    std::string m_tempPath;
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_written = 0;
    std::uint64_t m_writebackStarted = 0; // bytes handed to the disk so far
    bool m_synced = false;
    bool m_committed = false;
    struct stat m_committedFile {};
};

} // namespace vadok::archiver
