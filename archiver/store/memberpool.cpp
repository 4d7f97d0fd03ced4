#include "memberpool.h"

#include <algorithm>

namespace vadok::archiver {

bool MemberPool::prepares(const Task& task) {
    return task.kind == TaskKind::Compress ||
           (task.kind == TaskKind::CopyOld && !task.copiesSoundData());
}

MemberPool::MemberPool(const std::vector<Task>& tasks, const WorkContext& context,
                       unsigned threads, std::size_t memoryAhead, const ThreadStart& start,
                       Adopt adopt)
    : m_tasks(tasks), m_context(context), m_memoryAhead(memoryAhead), m_adopt(std::move(adopt)),
      m_memory(tasks.size(), 0) {
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        if (prepares(tasks[i])) {
            m_order.push_back(i);
            m_memory[i] = jobMemory(tasks[i]);
        }
    }
    // A re-store after a small change prepares a handful of members: no more workers than
    // jobs, and none at all when nothing needs preparing.
    const std::size_t workers = std::min<std::size_t>(threads, m_order.size());
    for (std::size_t t = 0; t < workers; ++t) {
        try {
            m_threads.push_back(startThread(start, [this] { work(); }));
        } catch (const std::system_error&) {
            break; // the workers started do it all, or take() does
        }
    }
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
    if (m_threads.empty())
        return prepare(task);
    std::unique_lock lock(m_mutex);
    if (!doneJob(task)) {
        // The writer sleeps until the last job started is done too, then takes the run of
        // members before it at once; a worker that finds no job it may start wakes it sooner,
        // as only the memory the writer frees lets it go on.
        m_needed = task;
        m_awaited = m_next > 0 ? std::max(task, m_order[m_next - 1]) : task;
        m_done.wait(lock, [&] { return writerMayGo(); });
        m_needed = m_awaited = kNobody;
    }
    auto job = std::move(m_jobs[task]);
    m_jobs.erase(task);
    --m_inFlight;
    m_memoryInFlight -= m_memory[task];
    // Only the memory given back can let a waiting worker start, and only while jobs remain.
    const bool wake = m_idleWorkers > 0 && m_next < m_order.size();
    lock.unlock();
    if (wake)
        m_cv.notify_all();
    return job;
}

bool MemberPool::doneJob(std::size_t task) const {
    const auto it = m_jobs.find(task);
    return it != m_jobs.end() && it->second->done;
}

bool MemberPool::writerMayGo() const {
    return doneJob(m_needed) && (doneJob(m_awaited) || m_idleWorkers > 0);
}

std::unique_ptr<Job> MemberPool::prepare(std::size_t task) {
    std::unique_ptr<Job> job = m_adopt ? m_adopt(m_tasks[task]) : nullptr;
    if (!job) {
        job = std::make_unique<Job>();
        runTask(m_tasks[task], *job, m_context);
    }
    job->task = task;
    job->done = true;
    return job;
}

void MemberPool::work() {
    while (true) {
        std::size_t taskStarted = 0;
        {
            std::unique_lock lock(m_mutex);
            // Jobs start in archive order, so with none in flight the next one is the one
            // the writer waits for.
            const auto mayStart = [&] {
                return m_stop ||
                       (m_next < m_order.size() &&
                        (m_inFlight == 0 ||
                         m_memoryInFlight + m_memory[m_order[m_next]] <= m_memoryAhead));
            };
            if (!mayStart()) {
                ++m_idleWorkers;
                if (m_needed != kNobody && writerMayGo())
                    m_done.notify_one();
                m_cv.wait(lock, mayStart);
                --m_idleWorkers;
            }
            if (m_stop)
                return;
            taskStarted = m_order[m_next++];
            ++m_inFlight;
            m_memoryInFlight += m_memory[taskStarted];
        }
        std::unique_ptr<Job> job = prepare(taskStarted);
        bool awaited = false;
        {
            std::lock_guard lock(m_mutex);
            m_jobs[taskStarted] = std::move(job);
            awaited = m_needed != kNobody && writerMayGo();
        }
        if (awaited)
            m_done.notify_one();
    }
}

} // namespace vadok::archiver
