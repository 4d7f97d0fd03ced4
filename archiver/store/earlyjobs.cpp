#include "earlyjobs.h"

#include "lzh/lzhheaderwriter.h"

#include <system_error>

namespace vadok::archiver {

namespace {

// The largest file compressed early. A store that fails at its scan or plan (a file too large
// for a member among them) waits for the compression under way, which cannot be broken off.
constexpr std::uint64_t kLargestEarly = 64 << 20;

bool same(const ExpectedFile& a, const ExpectedFile& b) {
    return a.size == b.size && a.mtime == b.mtime && a.mtimeNsec == b.mtimeNsec;
}

} // namespace

EarlyJobs::EarlyJobs(const WorkContext& context, std::size_t memoryAhead, bool speculate)
    : m_context(context), m_memoryAhead(memoryAhead), m_speculates(speculate) {}

EarlyJobs::~EarlyJobs() {
    stopTaking();
    if (m_thread.joinable())
        m_thread.join();
}

bool EarlyJobs::start(const ThreadStart& start) {
    {
        std::lock_guard lock(m_mutex);
        m_taking = true;
    }
    try {
        m_thread = startThread(start, [this] { work(); });
    } catch (const std::system_error&) {
    }
    std::lock_guard lock(m_mutex);
    if (!m_thread.joinable())
        m_taking = false;
    else if (m_taking)
        m_scan.emplace(m_context);
    return m_thread.joinable();
}

void EarlyJobs::offer(const SourceEntry& file) {
    std::lock_guard lock(m_mutex);
    if (!m_taking || file.size > kLargestEarly)
        return;
    Offered offered{file.path, {file.size, file.mtime, file.mtimeNsec}};
    // Once the old archive is known, the files it holds as they are (most of them, without
    // a stamp) go no further; before, the thread is woken only when it may start one.
    if (m_oldKnown && !compresses(offered))
        return;
    m_offered.push_back(std::move(offered));
    if (m_waiting && (m_oldKnown || m_speculates))
        m_cv.notify_all();
}

void EarlyJobs::knowOld(const OldArchive* old) {
    std::lock_guard lock(m_mutex);
    m_oldKnown = true;
    m_old = old;
    if (old && !old->index.ok) {
        // The store fails on it: nothing is worth starting.
        m_taking = false;
        m_offered.clear();
    }
    m_cv.notify_all();
}

void EarlyJobs::stopTaking() {
    std::lock_guard lock(m_mutex);
    m_scan.reset();
    m_taking = false;
    m_offered.clear();
    m_cv.notify_all();
}

bool EarlyJobs::compresses(const Offered& file) const {
    if (!m_oldKnown || !m_old)
        return true;
    const std::size_t last = m_old->names.last(file.path);
    if (last == OldNames::kNone)
        return true;
    SourceEntry e;
    e.path = file.path;
    e.size = file.seen.size;
    e.mtime = file.seen.mtime;
    return !sameFileAsMember(e, m_old->index.members[last]);
}

bool EarlyJobs::mayStart() const {
    // Jobs done wait for the pool within what the store may hold ahead.
    return m_memoryHeld == 0 || m_memoryHeld < m_memoryAhead;
}

void EarlyJobs::work() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_waiting = true;
        m_cv.wait(lock, [&] {
            return !m_taking ||
                   ((m_oldKnown || m_speculates) && !m_offered.empty() && mayStart());
        });
        m_waiting = false;
        if (!m_taking)
            return;
        Offered file = std::move(m_offered.front());
        m_offered.pop_front();
        if (!compresses(file) || m_jobs.count(file.path))
            continue;
        m_jobs[file.path].seen = file.seen;
        lock.unlock();

        Task task;
        task.kind = TaskKind::Compress;
        task.member.path = file.path;
        task.member.originalSize = file.seen.size;
        task.member.mtime = file.seen.mtime;
        task.member.mtimeNsec = file.seen.mtimeNsec;
        task.fromFolder = true;
        auto job = std::make_unique<Job>();
        runTask(task, *job, m_context);
        const std::size_t memory = jobMemory(task);

        lock.lock();
        Early& early = m_jobs[file.path];
        early.job = std::move(job);
        early.memory = memory;
        m_memoryHeld += memory;
        m_cv.notify_all();
    }
}

std::unique_ptr<Job> EarlyJobs::adopt(const Task& task) {
    if (task.kind != TaskKind::Compress)
        return nullptr;
    std::unique_lock lock(m_mutex);
    const ExpectedFile seen{task.member.originalSize, task.member.mtime, task.member.mtimeNsec};
    if (const auto it = m_jobs.find(task.source()); it == m_jobs.end() || !same(it->second.seen, seen))
        return nullptr;
    // Found again once woken: the thread may have added jobs, and moved the others.
    m_cv.wait(lock, [&] { return m_jobs.find(task.source())->second.job != nullptr; });
    const auto it = m_jobs.find(task.source());
    std::unique_ptr<Job> job = std::move(it->second.job);
    m_memoryHeld -= it->second.memory;
    m_jobs.erase(it);
    m_cv.notify_all();
    lock.unlock();
    if (job->code != ArchiverOk)
        return job;
    // What was compressed is the file's; what the header says of it beyond that is the plan's.
    LzhMember member = task.member;
    member.setMethod(job->member.method);
    member.originalSize = job->member.originalSize;
    member.compressedSize = job->member.compressedSize;
    member.crc = job->member.crc;
    member.storedCrc = job->member.storedCrc;
    job->member = std::move(member);
    job->header = encodeLevel2Header(job->member);
    if (job->header.empty()) {
        job->code = ArchiverUnsupported;
        job->error = "name too long: " + job->member.path;
    }
    return job;
}

} // namespace vadok::archiver
