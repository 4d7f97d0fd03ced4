#pragma once

#include "memberjobs.h"

#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vadok::archiver {

// Prepares the members of a store on worker threads, ahead of the writer, which takes them
// in archive order. Members to compress or to decode go one at a time; old members that only
// need the CRC-32 of their stored data checked go in runs of neighbours, as handing
// thousands of small ones over singly cost more than reading them. Workers run ahead of the
// writer as far as `memoryAhead` bytes of prepared data allow (jobMemory), but always by one
// batch: after a small change, the few members to compress are then all under way at once,
// and one long member does not leave the other cores idle.
class MemberPool {
public:
    MemberPool(const std::vector<Task>& tasks, const WorkContext& context, unsigned threads,
               std::size_t memoryAhead);
    ~MemberPool();
    MemberPool(const MemberPool&) = delete;
    MemberPool& operator=(const MemberPool&) = delete;

    // Whether the task has a job at all (a header-only member has none).
    static bool prepares(const Task& task);
    // Blocks until the task's job is done and hands it over.
    std::unique_ptr<Job> take(std::size_t task);

private:
    struct Batch {
        std::size_t first = 0;
        std::size_t last = 0;
        std::size_t memory = 0; // what its jobs may hold
    };
    void work();

    const std::vector<Task>& m_tasks;
    const WorkContext& m_context;
    std::size_t m_memoryAhead;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Batch> m_batches;
    std::vector<std::size_t> m_batchOf;   // per task
    std::vector<std::size_t> m_untaken;   // per batch: its jobs the writer has yet to take
    std::size_t m_next = 0;               // the next batch to start
    std::map<std::size_t, std::unique_ptr<Job>> m_jobs;
    std::size_t m_inFlight = 0;           // batches started and not all taken
    std::size_t m_memoryInFlight = 0;     // what they may hold
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

} // namespace vadok::archiver
