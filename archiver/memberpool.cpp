#include "memberpool.h"

namespace vadok::archiver {

namespace {

// A run of old members checked by their stored CRC-32 ends at this many members or bytes.
constexpr std::size_t kRunMembers = 64;
constexpr std::uint64_t kRunBytes = 1 << 20;

bool checkedByStoredCrc(const Task& task) {
    return task.kind == TaskKind::CopyOld && !task.compare && task.old->storedCrc;
}

} // namespace

bool MemberPool::prepares(const Task& task) {
    return task.kind == TaskKind::Compress ||
           (task.kind == TaskKind::CopyOld && !task.copiesSoundData());
}

MemberPool::MemberPool(const std::vector<Task>& tasks, const WorkContext& context,
                       unsigned threads, std::size_t memoryAhead)
    : m_tasks(tasks), m_context(context), m_memoryAhead(memoryAhead), m_batchOf(tasks.size(), 0) {
    std::uint64_t runBytes = 0;
    bool inRun = false;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        if (!prepares(tasks[i])) {
            inRun = false;
            continue;
        }
        const bool quick = checkedByStoredCrc(tasks[i]);
        const std::uint64_t bytes = tasks[i].member.compressedSize;
        if (quick && inRun && m_batches.back().last - m_batches.back().first < kRunMembers &&
            runBytes + bytes <= kRunBytes) {
            m_batches.back().last = i + 1;
        } else {
            m_batches.push_back({i, i + 1});
            inRun = quick;
            runBytes = 0;
        }
        runBytes += bytes;
        m_batches.back().memory += jobMemory(tasks[i]);
        m_batchOf[i] = m_batches.size() - 1;
    }
    m_untaken.resize(m_batches.size());
    for (std::size_t b = 0; b < m_batches.size(); ++b)
        m_untaken[b] = m_batches[b].last - m_batches[b].first;
    for (unsigned t = 0; t < threads; ++t)
        m_threads.emplace_back([this] { work(); });
}

MemberPool::~MemberPool() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    for (auto& t : m_threads)
        t.join();
}

std::unique_ptr<Job> MemberPool::take(std::size_t task) {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [&] {
        const auto it = m_jobs.find(task);
        return it != m_jobs.end() && it->second->done;
    });
    auto job = std::move(m_jobs[task]);
    m_jobs.erase(task);
    if (--m_untaken[m_batchOf[task]] == 0) {
        --m_inFlight;
        m_memoryInFlight -= m_batches[m_batchOf[task]].memory;
        m_cv.notify_all();
    }
    return job;
}

void MemberPool::work() {
    while (true) {
        Batch batch;
        std::vector<Job*> jobs;
        {
            std::unique_lock lock(m_mutex);
            m_cv.wait(lock, [&] {
                return m_stop ||
                       (m_next < m_batches.size() &&
                        (m_inFlight == 0 ||
                         m_memoryInFlight + m_batches[m_next].memory <= m_memoryAhead));
            });
            if (m_stop)
                return;
            batch = m_batches[m_next++];
            ++m_inFlight;
            m_memoryInFlight += batch.memory;
            for (std::size_t i = batch.first; i < batch.last; ++i) {
                auto owned = std::make_unique<Job>();
                owned->task = i;
                jobs.push_back(owned.get());
                m_jobs[i] = std::move(owned);
            }
        }
        for (Job* job : jobs)
            runTask(m_tasks[job->task], *job, m_context);
        // One hand-over per batch: the writer is woken once for a run of small members.
        {
            std::lock_guard lock(m_mutex);
            for (Job* job : jobs)
                job->done = true;
        }
        m_cv.notify_all();
    }
}

} // namespace vadok::archiver
