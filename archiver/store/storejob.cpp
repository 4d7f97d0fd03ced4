#include "storejob.h"

#include "base/codes.h"
#include "files/archivelock.h"
#include "files/outputfile.h"
#include "files/sourcefile.h"
#include "files/syncstamp.h"
#include "folderscan.h"
#include "lzh/lzhheaderreader.h"
#include "lzh/lzhheaderwriter.h"
#include "earlyjobs.h"
#include "memberpool.h"
#include "storeplan.h"
#include "base/alongside.h"

#include <algorithm>
#include <fcntl.h>
#include <future>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unordered_map>
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

bool fail(StoreResult& result, int code, std::string error) {
    result.code = code;
    result.error = std::move(error);
    return false;
}

// Held until the new archive has replaced the old one: a store that read the old archive
// while another replaced it would replace that one's work with its own.
bool lockForStore(ArchiveLock& lock, const std::string& archivePath, const StoreOptions& options,
                  StoreResult& result) {
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
    const int code = lock.take(archivePath, ArchiveLock::Kind::Exclusive, wait, options.warning);
    if (code == ArchiverOk) {
        retireLockBeside(archivePath);
        return true;
    }
    return fail(result, code,
                code == ArchiverLocked
                    ? "another store or an expansion kept " + archivePath
                    : "cannot make the lock file of " + archivePath +
                          " in this user's lock folder (~/.cache/vadok/locks)");
}

void warnAll(const StoreOptions& options, const std::vector<std::string>& warnings) {
    if (options.warning)
        for (const auto& w : warnings)
            options.warning(w);
}

// What the store starts from: the folder as scanned, the old archive (oldFd, -1 without
// one) and the folder's stamp.
struct StoreSources {
    const std::string& archivePath;
    const SourceFolder& folder;
    int oldFd;
    const std::optional<SyncMoment>& synced;
};

// Scans the folder while the old archive's headers and data are read on another core, then
// plans the new archive; the plan's tasks point into old. With early, the files the folder's
// stamp cannot vouch for go to it as the scan meets them.
bool scanAndPlan(const StoreSources& in, const StoreOptions& options, EarlyJobs* early,
                 std::shared_ptr<const OldArchive>& old, StorePlan& plan, StoreResult& result) {
    std::optional<Alongside<std::shared_ptr<const OldArchive>>> oldIndex;
    if (in.oldFd >= 0)
        oldIndex.emplace(options.startThread, [fd = in.oldFd, early] {
            auto read = std::make_shared<const OldArchive>(readArchiveIndexChecked(fd));
            if (early)
                early->knowOld(read.get());
            return read;
        });
    else if (early)
        early->knowOld(nullptr);
    const FoundFile found = [&](const SourceEntry& e) {
        if (options.scanned)
            options.scanned(e.path);
        if (early && (!in.synced || changedSince(e.changed, *in.synced)))
            early->offer(e);
    };
    FolderScan scan = scanFolder(in.folder, in.archivePath, true, found);
    if (!scan.ok)
        return fail(result, scan.code, scan.error);
    warnAll(options, scan.warnings);
    if (oldIndex) {
        old = oldIndex->get();
        if (!old->index.ok)
            return fail(result, ArchiverBrokenArchive, in.archivePath + ": " + old->index.error);
        // The last member of a name is the one an expansion leaves. Only the names of links
        // are looked at: most archives hold few or none, and thousands of other members.
        std::unordered_map<std::string_view, const LzhMember*> last;
        const std::vector<LzhMember>& members = old->index.members;
        for (const LzhMember& m : members)
            if (m.kind == MemberKind::Symlink)
                last[m.path] = nullptr;
        if (!last.empty())
            for (const LzhMember& m : members)
                if (const auto it = last.find(m.path); it != last.end())
                    it->second = &m;
        std::vector<LinkRecord> links;
        for (const LzhMember& m : members)
            if (m.kind == MemberKind::Symlink && last[m.path] == &m)
                links.push_back({m.path, m.linkTarget, m.mtime});
        takeBackArchiveLinks(scan, in.folder.path(), links, options.seams);
    }
    static const OldArchive none{ArchiveIndex{}};
    const OldArchive& from = old ? *old : none;
    plan = planStore(std::move(scan), from.index, from.names, in.synced);
    warnAll(options, plan.warnings);
    return plan.code == ArchiverOk || fail(result, plan.code, plan.error);
}

// Whether a header about to be written is, byte for byte, the old member's.
bool sameAsOldHeader(const std::vector<std::uint8_t>& header, std::string_view oldHeader) {
    return oldHeader.size() == header.size() &&
           std::equal(header.begin(), header.end(), oldHeader.begin(),
                      [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
}

// Writes the members in archive order. Unchanged members whose header comes out byte for
// byte as before and that follow each other in the old archive are copied as one range,
// headers included: a re-store after a small change is then mostly a few large copies.
class MemberWriter {
public:
    MemberWriter(OutputFile& out, int oldFd, StoreResult& result)
        : m_out(out), m_oldFd(oldFd), m_result(result),
          m_chunk(std::make_unique_for_overwrite<std::uint8_t[]>(kChunk)) {}

    // A member a worker compressed.
    bool writeCompressed(const Job& job) {
        if (!flushRun() || !m_out.write(job.header.data(), job.header.size()))
            return failWriting();
        std::uint64_t at = 0;
        while (at < job.data->size()) {
            const std::size_t n = job.data->readAt(at, m_chunk.get(), kChunk);
            if (n == 0 || !m_out.write(m_chunk.get(), n))
                return failWriting();
            at += n;
        }
        ++m_result.compressed;
        return true;
    }

    // A member taken from the old archive (job: a worker's copy, or none), or one with no
    // data. Old data goes in as it is: a worker showed it sound, or the old archive's reading
    // did.
    bool writeOld(const Task& t, Job* job) {
        const bool copies = job || t.copiesSoundData();
        const LzhMember& member = job ? job->member : t.member;
        // An unchanged member's header is compared with the old one where it lies, without
        // making one of its own.
        if (const std::string_view* oldHeader = copies ? &t.old->rawHeader : nullptr;
            oldHeader && (job ? sameAsOldHeader(job->header, *oldHeader)
                              : level2HeaderIs(member, *oldHeader)))
            return extendRun(t.old->dataOffset - oldHeader->size(),
                             t.old->dataOffset + member.compressedSize, member.path);
        // A folder or link that comes out as before joins the run as well: written anew, each
        // of an application's hundreds of folders cut the copy of its files in two.
        if (t.kind == TaskKind::HeaderOnly && t.old && t.old->compressedSize == 0 &&
            level2HeaderIs(member, t.old->rawHeader))
            return extendRun(t.old->dataOffset - t.old->rawHeader.size(), t.old->dataOffset,
                             member.path, false);
        const std::vector<std::uint8_t> header = job ? std::move(job->header)
                                                     : encodeLevel2Header(member);
        if (header.empty())
            return fail(m_result, ArchiverUnsupported, "name too long: " + member.path);
        if (!flushRun() || !m_out.write(header.data(), header.size()))
            return failWriting();
        if (!copies)
            return true;
        m_copiedAt.push_back(m_out.written() - header.size());
        if (!m_out.copyFrom(m_oldFd, t.old->dataOffset, member.compressedSize))
            return fail(m_result, ArchiverWriteError, "cannot copy " + member.path);
        ++m_result.copied;
        ++m_result.copyRanges;
        return true;
    }

    // Where the headers of the members whose data was copied from the old archive start in
    // the new one, ascending.
    const std::vector<std::uint64_t>& copiedAt() const { return m_copiedAt; }

    // Ends the archive after its last member and flushes it.
    bool finish() {
        if (!flushRun())
            return failWriting();
        const std::uint8_t endMark = 0;
        return (m_out.write(&endMark, 1) && m_out.flush()) || failWriting();
    }

private:
    // withData: the member's data is in the run, to be checked once written.
    bool extendRun(std::uint64_t start, std::uint64_t end, const std::string& path,
                   bool withData = true) {
        if (m_runEnd != start && !flushRun())
            return fail(m_result, ArchiverWriteError, "cannot copy " + path);
        if (m_runEnd == m_runStart) {
            m_runStart = start;
            m_runAt = m_out.written();
        }
        m_runEnd = end;
        if (withData) {
            m_copiedAt.push_back(m_runAt + (start - m_runStart));
            ++m_result.copied;
        }
        return true;
    }

    bool flushRun() {
        if (m_runEnd == m_runStart)
            return true;
        ++m_result.copyRanges;
        const bool ok = m_out.copyFrom(m_oldFd, m_runStart, m_runEnd - m_runStart);
        m_runStart = m_runEnd = 0;
        return ok;
    }

    bool failWriting() {
        return fail(m_result, ArchiverWriteError, "cannot write " + m_out.temporaryPath());
    }

    OutputFile& m_out;
    const int m_oldFd;
    StoreResult& m_result;
    // Left as allocated: a re-store that compresses only small members touches only the
    // pages they fill, where a megabyte made zero cost a fault for each of its pages.
    static constexpr std::size_t kChunk = 256 * 1024;
    std::unique_ptr<std::uint8_t[]> m_chunk;
    std::uint64_t m_runStart = 0;
    std::uint64_t m_runEnd = 0;
    std::uint64_t m_runAt = 0; // where the run goes in the new archive
    std::vector<std::uint64_t> m_copiedAt;
};

// Writes every task's member as the pool prepares it, reporting progress by bytes.
bool writeMembers(MemberWriter& writer, MemberPool& pool, const StorePlan& plan,
                  const StoreOptions& options, StoreResult& result) {
    std::uint64_t done = 0;
    for (std::size_t i = 0; i < plan.tasks.size(); ++i) {
        const Task& t = plan.tasks[i];
        const std::unique_ptr<Job> job = MemberPool::prepares(t) ? pool.take(i) : nullptr;
        if (job && job->code != ArchiverOk)
            return fail(result, job->code, job->error);
        const bool written =
            job && !job->copy ? writer.writeCompressed(*job) : writer.writeOld(t, job.get());
        if (!written)
            return false;
        done += t.member.originalSize;
        if (options.progress)
            options.progress(t.member.path, done, plan.totalBytes);
    }
    return writer.finish();
}

// The structure must read back, and the data copied from the old archive match its CRC-32,
// before the file may replace the old archive: old data was checked while the folder was
// scanned, and anything that wrote into the old archive since would otherwise go in unseen
// (compressed members were decoded again before they were written). It is read while the
// disk takes the rest of the data.
bool verifyAndReplace(OutputFile& out, std::size_t members,
                      const std::vector<std::uint64_t>& copiedAt, const std::string& archivePath,
                      const StoreOptions& options, StoreResult& result) {
    Alongside<bool> syncing(options.startThread, [&] { return out.sync(); });
    const ArchiveTotals check = readArchiveTotalsChecked(out.temporaryPath(), copiedAt);
    const bool onDisk = syncing.get();
    // A copy whose header is not where the writer put it would go unchecked.
    if (!check.outcome.ok || check.members != members || check.checked != copiedAt.size())
        return fail(result, ArchiverVerifyFailed,
                    "written archive does not read back: " + check.outcome.error);
    if (check.unsound != 0)
        return fail(result, ArchiverVerifyFailed,
                    "written archive does not read back: the data of the member at offset " +
                        std::to_string(check.firstUnsoundAt) + " differs from its CRC-32");
    if (!onDisk)
        return fail(result, ArchiverWriteError, "cannot write " + out.temporaryPath());
    if (!out.commit())
        return fail(result, ArchiverWriteError, "cannot replace " + archivePath);
    return true;
}

unsigned workerCount(const StoreOptions& options) {
    if (options.threads != 0)
        return options.threads;
    return std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
}

} // namespace

StoreResult storeFolder(const std::string& archivePath, const std::string& folder,
                        const StoreOptions& options) {
    StoreResult result;
    ArchiveLock lock;
    if (!lockForStore(lock, archivePath, options, result))
        return result;

    // Taken before the scan: whatever changes from here on shows at the next store.
    const SyncMoment scanned = syncMomentNow();
    const std::optional<SyncMoment> synced = readSyncStamp(folder, archivePath);
    // The old archive is opened once, so that what is read of it and what is copied from it
    // are one file.
    const int oldFd = ::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC);
    OldArchiveCloser closer{oldFd};
    struct stat st {};
    if (oldFd < 0 && ::stat(archivePath.c_str(), &st) == 0) {
        fail(result, ArchiverCannotOpen, "cannot open " + archivePath);
        return result;
    }
    const SourceFolder source(folder, options.reading);
    const WorkContext context{options.method, source, folderOf(archivePath), oldFd,
                              workerCount(options), options.startThread};
    // Without a stamp every file is offered, mostly ones to copy: nothing is compressed
    // before the old archive tells which are not.
    EarlyJobs early(context, options.memoryAhead, synced.has_value());
    // Where a compression may spill (beside the archive) must not be where the scan looks:
    // a file system without unnamed temporaries shows the spill file for a moment.
    const bool earlyStarted =
        !archiveLiesInside(folder, archivePath) && early.start(options.startThread);
    std::shared_ptr<const OldArchive> old;
    StorePlan plan;
    if (!scanAndPlan({archivePath, source, oldFd, synced}, options,
                     earlyStarted ? &early : nullptr, old, plan, result))
        return result;
    early.stopTaking();

    OutputFile out;
    OutputSyncing syncing = options.syncing;
    if (!syncing.start)
        syncing.start = options.startThread;
    if (!out.create(archivePath, lock, std::move(syncing))) {
        fail(result, ArchiverCannotCreate, "cannot create a temporary file beside " + archivePath);
        return result;
    }
    MemberPool pool(plan.tasks, context, workerCount(options), options.memoryAhead,
                    options.startThread,
                    earlyStarted ? MemberPool::Adopt([&](const Task& t) { return early.adopt(t); })
                                 : MemberPool::Adopt());
    MemberWriter writer(out, oldFd, result);
    if (!writeMembers(writer, pool, plan, options, result) ||
        !verifyAndReplace(out, plan.tasks.size(), writer.copiedAt(), archivePath, options,
                          result))
        return result;
    // Freeing the old archive's blocks waits for the disk; the stamp is written meanwhile.
    closer.closeAside();
    writeSyncStamp(source.path(), out.committedFile(), scanned);
    return result;
}

} // namespace vadok::archiver
