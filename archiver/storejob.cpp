#include "storejob.h"

#include "archiver.h"
#include "crc16.h"
#include "folderscan.h"
#include "lzhencoder.h"
#include "lzhheaderreader.h"
#include "lzhheaderwriter.h"
#include "memberverify.h"
#include "oldmember.h"
#include "outputfile.h"
#include "sourcefile.h"
#include "spillbuffer.h"
#include "storeplan.h"
#include "syncstamp.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

namespace vadok::archiver {

namespace {

// Up to kJobsAhead members may be finished ahead of the one being written, so a long
// member does not leave the other cores idle; each keeps at most kSpillMemory in memory
// and the rest in a temporary file, which bounds memory whatever the input.
constexpr std::size_t kSpillMemory = 256 * 1024;
constexpr std::size_t kJobsAhead = 64;
// libarchive cannot decode a few very short streams; below this a member is stored as is,
// which costs at most a few bytes.
constexpr std::uint64_t kSmallestCompressed = 9;

struct Job {
    std::size_t task = 0;
    std::unique_ptr<SpillBuffer> data;
    LzhMember member;
    std::vector<std::uint8_t> header;
    bool copy = false; // the old member's data goes in as it is
    int code = ArchiverOk;
    std::string error;
    bool done = false;
};

// What the workers share.
struct WorkContext {
    LzhMethod method;
    const SourceFolder& folder;
    std::string spillFolder;
    int oldArchive; // -1 without one
};

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool verifySpill(const std::vector<std::uint8_t>& header, const SpillBuffer& spill,
                 const LzhMember& m, std::string& error) {
    std::uint64_t at = 0;
    return verifyMemberData(
        header,
        [&](std::uint8_t* dest, std::size_t size) {
            const std::size_t n = spill.readAt(at, dest, size);
            at += n;
            return n;
        },
        m.originalSize, m.crc, error);
}

// Compresses one file into the job's spill buffer, falling back to -lh0- when the data does
// not shrink, and decodes the result again before it may enter the archive.
void runCompression(const Task& task, Job& job, const WorkContext& context) {
    const LzhMethod method = context.method;
    const SourceFolder& folder = context.folder;
    job.member = task.member;
    job.data = std::make_unique<SpillBuffer>(context.spillFolder, kSpillMemory);
    SpillBuffer& spill = *job.data;
    uLong storedCrc = ::crc32(0, nullptr, 0);
    std::uint16_t crc = 0;
    std::uint64_t total = 0;
    bool spillOk = true;
    {
        // One encoder per thread and method, reset per member: its tables are large enough
        // that allocating them for each of thousands of small files dominated the time.
        thread_local std::unique_ptr<LzhEncoder> cached[3];
        auto& slot = cached[static_cast<int>(method)];
        if (!slot)
            slot = std::make_unique<LzhEncoder>(method, nullptr);
        LzhEncoder& encoder = *slot;
        encoder.reset([&](const std::uint8_t* p, std::size_t n) {
            storedCrc = ::crc32(storedCrc, p, static_cast<uInt>(n));
            spillOk = spill.append(p, n) && spillOk;
        });
        const bool readOk = folder.readFile(task.source, [&](const std::uint8_t* p, std::size_t n) {
            crc = crc16Update(crc, p, n);
            total += n;
            encoder.write(p, n);
        });
        if (!readOk) {
            job.code = ArchiverReadError;
            job.error = "cannot read " + task.source + " as a regular file";
            return;
        }
        encoder.finish();
    }
    if (!spillOk) {
        job.code = ArchiverWriteError;
        job.error = "cannot write temporary data for " + task.source;
        return;
    }
    // The scan saw the file within the limit; it may have grown since.
    if (total > kLargestMember) {
        job.code = ArchiverUnsupported;
        job.error = "file too large for the archive format: " + task.source;
        return;
    }
    LzhMember& m = job.member;
    m.originalSize = total;
    m.crc = crc;
    m.setMethod(methodParams(method).id + 1);
    m.compressedSize = spill.size();
    m.storedCrc = static_cast<std::uint32_t>(storedCrc);
    bool store = total == 0 || spill.size() >= total || spill.size() < kSmallestCompressed;
    if (!store) {
        job.header = encodeLevel2Header(m);
        std::string error;
        // A member that does not decode back is stored as is rather than lost.
        if (job.header.empty() || !verifySpill(encodeDataCheckHeader(m), spill, m, error))
            store = true;
    }
    if (store) {
        spill.clear();
        std::uint16_t crc2 = 0;
        std::uint64_t total2 = 0;
        bool ok = true;
        storedCrc = ::crc32(0, nullptr, 0);
        const bool readOk = folder.readFile(task.source, [&](const std::uint8_t* p, std::size_t n) {
            crc2 = crc16Update(crc2, p, n);
            storedCrc = ::crc32(storedCrc, p, static_cast<uInt>(n));
            total2 += n;
            ok = spill.append(p, n) && ok;
        });
        if (!readOk || total2 != total || crc2 != crc) {
            job.code = ArchiverReadError;
            job.error = "file changed while being stored: " + task.source;
            return;
        }
        if (!ok) {
            job.code = ArchiverWriteError;
            job.error = "cannot write temporary data for " + task.source;
            return;
        }
        m.setMethod("lh0");
        m.compressedSize = total;
        m.storedCrc = static_cast<std::uint32_t>(storedCrc);
        job.header = encodeLevel2Header(m);
        std::string error;
        if (job.header.empty()) {
            job.code = ArchiverUnsupported;
            job.error = "name too long: " + m.path;
            return;
        }
        if (!verifySpill(encodeDataCheckHeader(m), spill, m, error)) {
            job.code = ArchiverVerifyFailed;
            job.error = m.path + ": " + error;
        }
    }
}

// An old member is copied when its data is sound and, if the file may have changed, equal to
// it; otherwise the folder's file is compressed in its place.
void runTask(const Task& task, Job& job, const WorkContext& context) {
    if (task.kind == TaskKind::CopyOld) {
        job.member = task.member;
        std::uint32_t storedCrc = 0;
        std::string why;
        if (oldMemberHolds(context.oldArchive, *task.old, &context.folder,
                           task.compare ? task.source : std::string(), storedCrc, why)) {
            job.copy = true;
            job.member.storedCrc = storedCrc;
            return;
        }
        if (task.source.empty()) {
            job.code = ArchiverBrokenArchive;
            job.error = "the archive's member " + task.member.path + " cannot be kept: " + why +
                        ", and the folder has no file to store in its place";
            return;
        }
    }
    runCompression(task, job, context);
}

// Checking a member that carries the CRC of its stored data costs a read of data that is
// about to be copied anyway; handing thousands of them to a thread and back costs more.
bool needsWorker(const Task& task) {
    return task.kind == TaskKind::Compress ||
           (task.kind == TaskKind::CopyOld && (task.compare || !task.old->storedCrc));
}

// Compresses new members and checks old ones on worker threads, ahead of the writer.
class MemberPool {
public:
    MemberPool(const std::vector<Task>& tasks, const WorkContext& context, unsigned threads,
               std::size_t window)
        : m_tasks(tasks), m_context(context), m_window(window) {
        for (std::size_t i = 0; i < tasks.size(); ++i)
            if (needsWorker(tasks[i]))
                m_pending.push_back(i);
        for (unsigned t = 0; t < threads; ++t)
            m_threads.emplace_back([this] { work(); });
    }
    ~MemberPool() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_cv.notify_all();
        for (auto& t : m_threads)
            t.join();
    }
    // Blocks until the task's job is done and hands it over.
    std::unique_ptr<Job> take(std::size_t task) {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [&] { return m_jobs.count(task) && m_jobs[task]->done; });
        auto job = std::move(m_jobs[task]);
        m_jobs.erase(task);
        --m_inFlight;
        m_cv.notify_all();
        return job;
    }

private:
    void work() {
        while (true) {
            std::size_t task;
            Job* job;
            {
                std::unique_lock lock(m_mutex);
                // At most m_window members wait in memory or spill files at once.
                m_cv.wait(lock,
                          [&] { return m_stop || (!m_pending.empty() && m_inFlight < m_window); });
                if (m_stop)
                    return;
                task = m_pending.front();
                m_pending.pop_front();
                ++m_inFlight;
                auto owned = std::make_unique<Job>();
                owned->task = task;
                job = owned.get();
                m_jobs[task] = std::move(owned);
            }
            runTask(m_tasks[task], *job, m_context);
            {
                std::lock_guard lock(m_mutex);
                job->done = true;
            }
            m_cv.notify_all();
        }
    }

    const std::vector<Task>& m_tasks;
    const WorkContext& m_context;
    std::size_t m_window;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::size_t> m_pending;
    std::map<std::size_t, std::unique_ptr<Job>> m_jobs;
    std::size_t m_inFlight = 0;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
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

    // Taken before the scan: whatever changes from here on shows at the next store.
    const SyncMoment scanned = syncMomentNow();
    const std::optional<SyncMoment> synced = readSyncStamp(folder, archivePath);
    const SourceFolder source(folder);
    FolderScan scan = scanFolder(source, archivePath);
    if (!scan.ok)
        return failWith(scan.code, scan.error);
    if (options.warning)
        for (const auto& w : scan.warnings)
            options.warning(w);

    ArchiveIndex old;
    int oldFd = -1;
    struct stat st {};
    if (::stat(archivePath.c_str(), &st) == 0) {
        old = readArchiveIndex(archivePath);
        if (!old.ok)
            return failWith(ArchiverBrokenArchive, archivePath + ": " + old.error);
        oldFd = ::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC);
        if (oldFd < 0)
            return failWith(ArchiverCannotOpen, "cannot open " + archivePath);
    }
    struct FdCloser {
        int fd;
        ~FdCloser() {
            if (fd >= 0)
                ::close(fd);
        }
    } closer{oldFd};

    StorePlan plan = planStore(scan, old, synced);
    if (options.warning)
        for (const auto& w : plan.warnings)
            options.warning(w);
    if (plan.code != ArchiverOk)
        return failWith(plan.code, plan.error);
    const std::vector<Task>& tasks = plan.tasks;
    const std::uint64_t totalBytes = plan.totalBytes;

    OutputFile out;
    if (!out.create(archivePath))
        return failWith(ArchiverCannotCreate,
                        "cannot create a temporary file beside " + archivePath);

    unsigned threads = options.threads;
    if (threads == 0)
        threads = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    const WorkContext context{options.method, source, folderOf(archivePath), oldFd};
    MemberPool pool(tasks, context, threads, kJobsAhead);

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
        std::unique_ptr<Job> job;
        if (needsWorker(t)) {
            job = pool.take(i);
        } else if (t.kind == TaskKind::CopyOld) {
            job = std::make_unique<Job>();
            runTask(t, *job, context);
        }
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
            const LzhMember& member = job ? job->member : t.member;
            const std::vector<std::uint8_t> header = encodeLevel2Header(member);
            if (header.empty())
                return failWith(ArchiverUnsupported, "name too long: " + member.path);
            const bool sameHeader = job && t.old->rawHeader.size() == header.size() &&
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
                if (job) {
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

    // The structure must read back before the file may replace the old archive.
    const ArchiveIndex check = readArchiveIndex(out.temporaryPath());
    if (!check.ok || check.members.size() != tasks.size())
        return failWith(ArchiverVerifyFailed, "written archive does not read back: " + check.error);
    if (!out.commit())
        return failWith(ArchiverWriteError, "cannot replace " + archivePath);
    writeSyncStamp(source.path(), out.committedFile(), scanned);
    return result;
}

} // namespace vadok::archiver
