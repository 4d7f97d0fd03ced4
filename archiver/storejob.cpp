#include "storejob.h"

#include "archivelock.h"
#include "archiver.h"
#include "folderscan.h"
#include "lzhheaderreader.h"
#include "lzhheaderwriter.h"
#include "memberpool.h"
#include "outputfile.h"
#include "sourcefile.h"
#include "storeplan.h"
#include "syncstamp.h"

#include <algorithm>
#include <fcntl.h>
#include <future>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace vadok::archiver {

namespace {

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Closes the old archive when the store ends. Once the new archive has replaced it, that
// close is the last reference to the old file and frees its blocks, which can take a while
// (file systems mounted to discard freed blocks wait for the disk): it then runs aside while
// the store's own data is freed.
class OldArchiveCloser {
public:
    explicit OldArchiveCloser(int fd) : m_fd(fd) {}
    ~OldArchiveCloser() {
        if (m_closing.joinable())
            m_closing.join();
        else if (m_fd >= 0)
            ::close(m_fd);
    }
    OldArchiveCloser(const OldArchiveCloser&) = delete;
    OldArchiveCloser& operator=(const OldArchiveCloser&) = delete;
    void closeAside() {
        if (m_fd < 0)
            return;
        try {
            m_closing = std::thread([fd = m_fd] { ::close(fd); });
        } catch (const std::system_error&) {
            // No thread to be had: the destructor closes it.
        }
    }

private:
    int m_fd;
    std::thread m_closing;
};

} // namespace

StoreResult storeFolder(const std::string& archivePath, const std::string& folder,
                        const StoreOptions& options) {
    StoreResult result;
    auto failWith = [&](int code, std::string error) {
        result.code = code;
        result.error = std::move(error);
        return result;
    };

    // Held until the new archive has replaced the old one: a store that read the old archive
    // while another replaced it would replace that one's work with its own.
    ArchiveLock lock;
    ArchiveLock::Wait wait;
    wait.limit = options.lockWait;
    bool toldWaiting = false;
    wait.waiting = [&] {
        if (!std::exchange(toldWaiting, true) && options.warning)
            options.warning("waiting for another store or an expansion of " + archivePath);
        if (options.progress)
            options.progress({}, 0, 0);
        return true;
    };
    if (const int code = lock.take(archivePath, ArchiveLock::Kind::Exclusive, wait);
        code != ArchiverOk)
        return failWith(code, code == ArchiverLocked
                                  ? "another store or an expansion kept " + archivePath
                                  : "cannot create the lock file beside " + archivePath);

    // Taken before the scan: whatever changes from here on shows at the next store.
    const SyncMoment scanned = syncMomentNow();
    const std::optional<SyncMoment> synced = readSyncStamp(folder, archivePath);
    // The old archive is opened once, so that what is read of it and what is copied from it
    // are one file, and its headers and data are read on another core while the folder is
    // scanned.
    const int oldFd = ::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC);
    OldArchiveCloser closer{oldFd};
    struct stat st {};
    const bool update = oldFd >= 0 || ::stat(archivePath.c_str(), &st) == 0;
    if (update && oldFd < 0)
        return failWith(ArchiverCannotOpen, "cannot open " + archivePath);
    std::future<ArchiveIndex> oldIndex;
    if (update)
        oldIndex = std::async(std::launch::async, [&] { return readArchiveIndexChecked(oldFd); });
    const SourceFolder source(folder, options.reading);
    FolderScan scan = scanFolder(source, archivePath);
    if (!scan.ok)
        return failWith(scan.code, scan.error);
    if (options.warning)
        for (const auto& w : scan.warnings)
            options.warning(w);

    ArchiveIndex old;
    if (update) {
        old = oldIndex.get();
        if (!old.ok)
            return failWith(ArchiverBrokenArchive, archivePath + ": " + old.error);
    }

    StorePlan plan = planStore(scan, old, synced);
    if (options.warning)
        for (const auto& w : plan.warnings)
            options.warning(w);
    if (plan.code != ArchiverOk)
        return failWith(plan.code, plan.error);
    const std::vector<Task>& tasks = plan.tasks;
    const std::uint64_t totalBytes = plan.totalBytes;

    OutputFile out;
    if (!out.create(archivePath, lock))
        return failWith(ArchiverCannotCreate,
                        "cannot create a temporary file beside " + archivePath);

    unsigned threads = options.threads;
    if (threads == 0)
        threads = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    const WorkContext context{options.method, source, folderOf(archivePath), oldFd};
    MemberPool pool(tasks, context, threads, options.memoryAhead);

    // Unchanged members whose header comes out byte for byte as before and that follow each
    // other in the old archive are copied as one range, headers included: a re-store after a
    // small change is then mostly a few large copies.
    std::uint64_t runStart = 0, runEnd = 0;
    auto flushRun = [&]() {
        const bool ok = runEnd == runStart || out.copyFrom(oldFd, runStart, runEnd - runStart);
        runStart = runEnd = 0;
        return ok;
    };
    std::uint64_t done = 0;
    std::vector<std::uint8_t> chunk(1 << 20);
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        const Task& t = tasks[i];
        const std::unique_ptr<Job> job = MemberPool::prepares(t) ? pool.take(i) : nullptr;
        if (job && job->code != ArchiverOk)
            return failWith(job->code, job->error);
        if (job && !job->copy) {
            if (!flushRun() || !out.write(job->header.data(), job->header.size()))
                return failWith(ArchiverWriteError, "cannot write " + out.temporaryPath());
            std::uint64_t at = 0;
            while (at < job->data->size()) {
                const std::size_t n = job->data->readAt(at, chunk.data(), chunk.size());
                if (n == 0 || !out.write(chunk.data(), n))
                    return failWith(ArchiverWriteError, "cannot write " + out.temporaryPath());
                at += n;
            }
            ++result.compressed;
        } else {
            // Old data goes in as it is: a worker showed it sound, or the old archive's
            // reading did.
            const bool copies = job || t.copiesSoundData();
            const LzhMember& member = job ? job->member : t.member;
            const std::vector<std::uint8_t> header = job ? std::move(job->header)
                                                         : encodeLevel2Header(member);
            if (header.empty())
                return failWith(ArchiverUnsupported, "name too long: " + member.path);
            const bool sameHeader = copies && t.old->rawHeader.size() == header.size() &&
                                    std::equal(header.begin(), header.end(),
                                               t.old->rawHeader.begin(),
                                               [](std::uint8_t a, char b) {
                                                   return a == static_cast<std::uint8_t>(b);
                                               });
            if (sameHeader) {
                const std::uint64_t start = t.old->dataOffset - header.size();
                const std::uint64_t end = t.old->dataOffset + member.compressedSize;
                if (runEnd != start && !flushRun())
                    return failWith(ArchiverWriteError, "cannot copy " + member.path);
                if (runEnd == runStart)
                    runStart = start;
                runEnd = end;
                ++result.copied;
            } else {
                if (!flushRun() || !out.write(header.data(), header.size()))
                    return failWith(ArchiverWriteError, "cannot write " + out.temporaryPath());
                if (copies) {
                    if (!out.copyFrom(oldFd, t.old->dataOffset, member.compressedSize))
                        return failWith(ArchiverWriteError, "cannot copy " + member.path);
                    ++result.copied;
                }
            }
        }
        done += t.member.originalSize;
        if (options.progress)
            options.progress(t.member.path, done, totalBytes);
    }
    if (!flushRun())
        return failWith(ArchiverWriteError, "cannot write " + out.temporaryPath());
    const std::uint8_t endMark = 0;
    if (!out.write(&endMark, 1) || !out.flush())
        return failWith(ArchiverWriteError, "cannot write " + out.temporaryPath());

    // The structure must read back before the file may replace the old archive; it is read
    // while the disk takes the rest of the data.
    std::future<bool> syncing = std::async(std::launch::async, [&] { return out.sync(); });
    const ArchiveTotals check = readArchiveTotals(out.temporaryPath());
    const bool onDisk = syncing.get();
    if (!check.outcome.ok || check.members != tasks.size())
        return failWith(ArchiverVerifyFailed,
                        "written archive does not read back: " + check.outcome.error);
    if (!onDisk)
        return failWith(ArchiverWriteError, "cannot write " + out.temporaryPath());
    if (!out.commit())
        return failWith(ArchiverWriteError, "cannot replace " + archivePath);
    writeSyncStamp(source.path(), out.committedFile(), scanned);
    closer.closeAside();
    return result;
}

} // namespace vadok::archiver
