#include "outputfile.h"

#include "archivelock.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <system_error>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vadok::archiver {

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
// Written data is synced in steps of at least this size while the archive is still being
// written. Only a sync empties the disk's own cache, and that takes as long as the data it
// holds: started early, it runs beside the writing. (Starting the writing alone, with
// sync_file_range, left the final sync as long and slowed the writes that followed.)
constexpr std::uint64_t kSyncStep = 4 << 20;

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Six characters as mkstemp would pick them, picked here because the name is recorded before
// the file exists.
std::string randomSuffix() {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 rng{std::random_device{}()};
    std::string suffix(6, 'x');
    for (auto& c : suffix)
        c = kChars[rng() % (sizeof kChars - 1)];
    return suffix;
}

} // namespace

OutputFile::~OutputFile() {
    stopSyncing();
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_tempPath.empty())
        ::unlink(m_tempPath.c_str());
    if (m_lock)
        m_lock->clearRecord();
}

bool OutputFile::create(const std::string& finalPath, ArchiveLock& lock,
                        OutputSyncing syncing) {
    m_syncing = std::move(syncing);
    m_finalPath = finalPath;
    const std::string folder = folderOf(finalPath);
    if (const std::string stale = lock.recordedTemporary(); !stale.empty()) {
        struct stat st {};
        const std::string path = folder + "/" + stale;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(path.c_str());
        lock.clearRecord();
    }
    const std::string stem =
        folder + "/" + ArchiveLock::temporaryPrefixOf(finalPath) + std::to_string(::getpid()) + ".";
    // A name that is taken (by a user's file) is never opened; another is tried.
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        const std::string name = stem + randomSuffix();
        if (!lock.recordTemporary(name.substr(folder.size() + 1)))
            return false;
        m_lock = &lock;
        m_fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            m_tempPath = name;
        else if (errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        lock.clearRecord();
        return false;
    }
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
    handOnToSync();
    return true;
}

void OutputFile::handOnToSync() {
    const std::uint64_t written = m_written - m_buffer.size();
    if (written - m_handedOn < kSyncStep)
        return;
    m_handedOn = written;
    if (!std::exchange(m_syncerTried, true)) {
        try {
            auto work = [this] { syncWhileWriting(); };
            m_syncer = startThread(m_syncing.start, work);
        } catch (const std::system_error&) {
        }
    }
    if (!m_syncer.joinable())
        return; // sync() does it all
    {
        std::lock_guard lock(m_syncMutex);
        m_toSync = written;
    }
    m_syncWake.notify_one();
}

void OutputFile::syncWhileWriting() {
    std::unique_lock lock(m_syncMutex);
    std::uint64_t synced = 0;
    while (true) {
        // A sync that took long finds more to do: the steps grow with the disk's delay.
        m_syncWake.wait(lock, [&] { return m_stopSyncing || m_toSync > synced; });
        if (m_stopSyncing)
            return;
        const std::uint64_t upTo = m_toSync;
        lock.unlock();
        const int r = m_syncing.syncData ? m_syncing.syncData(m_fd) : ::fdatasync(m_fd);
        if (r == 0 && m_syncing.synced)
            m_syncing.synced(upTo);
        lock.lock();
        if (r != 0) {
            m_syncFailed = true;
            return;
        }
        synced = upTo;
    }
}

void OutputFile::stopSyncing() {
    if (!m_syncer.joinable())
        return;
    {
        std::lock_guard lock(m_syncMutex);
        m_stopSyncing = true;
    }
    m_syncWake.notify_one();
    m_syncer.join();
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
        handOnToSync();
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
            handOnToSync();
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
    if (!flush())
        return false;
    // The error of a sync on the other thread is reported to it alone.
    stopSyncing();
    if (m_syncFailed || ::fsync(m_fd) != 0)
        return false;
    m_synced = true;
    return true;
}

bool OutputFile::commit() {
    if (!m_synced && !sync())
        return false;
    if (::rename(m_tempPath.c_str(), m_finalPath.c_str()) != 0)
        return false;
    m_committed = true;
    m_lock->clearRecord();
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
