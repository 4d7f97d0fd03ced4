#pragma once

#include "base/alongside.h"
#include "files/sourcefile.h"
#include "folderscan.h"
#include "lzh/lzhheaderreader.h"
#include "memberjobs.h"
#include "storeplan.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>

namespace vadok::archiver {

// The old archive as a store reads it beside the scan: its index and its members by name.
struct OldArchive {
    explicit OldArchive(ArchiveIndex read) : index(std::move(read)), names(index) {}
    // names points into index.
    OldArchive(const OldArchive&) = delete;
    OldArchive& operator=(const OldArchive&) = delete;
    ArchiveIndex index;
    OldNames names;
};

// Compresses the files the plan will compress while the scan and the plan still go on: a
// re-store after a small change is otherwise a scan, then a plan, then the compression of a
// few files, one after the other. The scan offers files as it meets them, and a thread of
// this object's own compresses them in that order until the pool takes over: once the old
// archive's index is known, those without an old member of their name or whose member is not
// the same file (sameFileAsMember); before, with speculate, every file offered (the files the
// folder's stamp cannot vouch for, nearly all of them changed; one that turns out the same
// file as its member is compared and copied all the same, and its early job is lost work).
// The pool adopts such a job, whatever came of it, for a task that compresses the same file
// as the scan saw it. Files over 64 MiB are left to the pool.
class EarlyJobs {
public:
    EarlyJobs(const WorkContext& context, std::size_t memoryAhead, bool speculate);
    ~EarlyJobs();
    EarlyJobs(const EarlyJobs&) = delete;
    EarlyJobs& operator=(const EarlyJobs&) = delete;

    // Starts the thread; false when none can be had, and nothing is then done early.
    bool start(const ThreadStart& start);
    // The scan: a file it met. Ignored before start and after stopTaking.
    void offer(const SourceEntry& file);
    // The old archive once read (null: there is none); it must stay as long as this object.
    void knowOld(const OldArchive* old);
    // The plan is made: no further file is started; the one under way is finished.
    void stopTaking();
    // The job made early for the task's file, waiting for it if it is under way; null when
    // there is none to adopt. The header is made for the task's member.
    std::unique_ptr<Job> adopt(const Task& task);

private:
    struct Offered {
        std::string path;
        ExpectedFile seen;
    };
    struct Early {
        ExpectedFile seen;
        std::unique_ptr<Job> job; // null while under way
        std::size_t memory = 0;
    };

    void work();
    bool compresses(const Offered& file) const;
    bool mayStart() const;

    const WorkContext& m_context;
    const std::size_t m_memoryAhead;
    const bool m_speculates;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Offered> m_offered;
    std::unordered_map<std::string, Early> m_jobs;
    std::size_t m_memoryHeld = 0; // by jobs done and not adopted
    bool m_oldKnown = false;
    const OldArchive* m_old = nullptr; // null: no old archive, every file is compressed
    bool m_taking = false;
    bool m_waiting = false; // the thread waits for an offer
    // The scan keeps a core busy while files are offered: no segment helper beside it.
    std::optional<BusyThread> m_scan;
    std::thread m_thread;
};

} // namespace vadok::archiver
