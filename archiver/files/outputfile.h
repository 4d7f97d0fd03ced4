#pragma once

#include "base/alongside.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace vadok::archiver {

class ArchiveLock;

// How an OutputFile makes its data durable while it is still being written. A store gives
// it the store's own thread start; tests set the rest.
struct OutputSyncing {
    // Starts the thread that syncs. One that throws std::system_error leaves all the
    // syncing to the end.
    ThreadStart start;
    // Syncs the file's data (empty: fdatasync), on that thread; 0 or -1 as fdatasync.
    std::function<int(int fd)> syncData;
    // Told on that thread how many bytes from the start a sync made durable.
    std::function<void(std::uint64_t bytes)> synced;
};

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
    bool create(const std::string& finalPath, ArchiveLock& lock, OutputSyncing syncing = {});
    bool write(const void* data, std::size_t size);
    // Copies size bytes at offset of the open file descriptor fd.
    bool copyFrom(int fd, std::uint64_t offset, std::uint64_t size);
    // Flushes and waits until everything written is on disk; false as well when a sync made
    // while writing failed (a later sync of the same file need not report it again).
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
    void syncWhileWriting();
    void handOnToSync();
    void stopSyncing();

    int m_fd = -1;
    ArchiveLock* m_lock = nullptr;
    std::string m_finalPath;
    std::string m_tempPath;
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_written = 0;
    bool m_synced = false;
    // Data is synced on a thread of its own while the writing goes on, so that the sync
    // before the rename finds little left to wait for.
    OutputSyncing m_syncing;
    std::thread m_syncer;
    bool m_syncerTried = false;
    std::uint64_t m_handedOn = 0; // what was last handed to it
    std::mutex m_syncMutex;
    std::condition_variable m_syncWake;
    std::uint64_t m_toSync = 0;   // guarded: what it may sync
    bool m_stopSyncing = false;   // guarded
    bool m_syncFailed = false;    // guarded
    bool m_committed = false;
    struct stat m_committedFile {};
};

} // namespace vadok::archiver
