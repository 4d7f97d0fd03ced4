#pragma once

#include "base/alongside.h"
#include "memberjobs.h"

#include <condition_variable>
#include <functional>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vadok::archiver {

// Prepares the members of a store that need work (a file to compress, old data the old
// archive's reading could not vouch for) on worker threads, ahead of the writer, which takes
// them in archive order. Workers run ahead of the writer as far as `memoryAhead` bytes of
// prepared data allow (jobMemory), and the member the writer waits for always starts: after
// a small change, the few members to compress are then all under way at once, and one long
// member does not leave the other cores idle.
class MemberPool {
public:
    // A job prepared before the pool started (earlyjobs.h), to be taken for the task's own.
    using Adopt = std::function<std::unique_ptr<Job>(const Task&)>;

    // Starts up to threads workers through start; with none to be had, take() prepares each
    // job itself.
    MemberPool(const std::vector<Task>& tasks, const WorkContext& context, unsigned threads,
               std::size_t memoryAhead, const ThreadStart& start = {}, Adopt adopt = {});
    ~MemberPool();
    MemberPool(const MemberPool&) = delete;
    MemberPool& operator=(const MemberPool&) = delete;

    // Whether the task has a job at all (a header-only member, or old data already shown
    // sound, has none: the writer handles it).
    static bool prepares(const Task& task);
    // Blocks until the task's job is done and hands it over.
    std::unique_ptr<Job> take(std::size_t task);

private:
    void work();
    // Prepares task's job, or takes the one prepared early.
    std::unique_ptr<Job> prepare(std::size_t task);

    const std::vector<Task>& m_tasks;
    const WorkContext& m_context;
    std::size_t m_memoryAhead;
    Adopt m_adopt;
    std::mutex m_mutex;
    std::condition_variable m_cv;   // the workers wait on it: for a job they may start
    std::condition_variable m_done; // the writer waits on it: for the job it takes
    std::vector<std::size_t> m_order;     // the tasks with a job, in archive order
    std::vector<std::size_t> m_memory;    // per task: what its job may hold
    std::size_t m_next = 0;               // in m_order: the next job to start
    std::map<std::size_t, std::unique_ptr<Job>> m_jobs;
    std::size_t m_inFlight = 0;           // jobs started and not taken
    std::size_t m_memoryInFlight = 0;     // what they may hold
    // Wake-ups only where someone sleeps, and for the writer once per run of members:
    // thousands of small members made one per member each way, most of them to a thread that
    // was not waiting.
    bool doneJob(std::size_t task) const;
    bool writerMayGo() const;
    static constexpr std::size_t kNobody = ~std::size_t{0};
    std::size_t m_needed = kNobody;       // the task the writer sleeps on
    std::size_t m_awaited = kNobody;      // the task whose end wakes it
    std::size_t m_idleWorkers = 0;        // workers asleep on m_cv
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

} // namespace vadok::archiver
