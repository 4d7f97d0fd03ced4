#pragma once

#include "base/alongside.h"
#include "lzh/lzhmember.h"
#include "lzh/lzhmethod.h"
#include "spillbuffer.h"
#include "storeplan.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vadok::archiver {

class LzhEncoder;
class SourceFolder;

// The encoders of a store, lent to its threads one member at a time. Their tables take some
// hundred pages each, every one a fault when first written: a worker that starts after the
// scan's compressing thread has finished takes that thread's encoder instead of making one.
class EncoderShelf {
public:
    EncoderShelf();
    ~EncoderShelf();
    EncoderShelf(const EncoderShelf&) = delete;
    EncoderShelf& operator=(const EncoderShelf&) = delete;

    // One of the method's encoders, made if none is free.
    std::unique_ptr<LzhEncoder> take(LzhMethod method);
    void giveBack(LzhMethod method, std::unique_ptr<LzhEncoder> encoder);

private:
    std::mutex m_mutex;
    std::vector<std::pair<LzhMethod, std::unique_ptr<LzhEncoder>>> m_free;
};

// One member of the archive being written, as a worker prepares it: compressed from the
// folder's file into a spill buffer, or an old member shown sound and copied as it is.
struct Job {
    std::size_t task = 0;
    std::unique_ptr<SpillBuffer> data;
    LzhMember member;
    std::vector<std::uint8_t> header; // the header to write (a copy compares it with the old one)
    bool copy = false; // the old member's data goes in as it is
    int code = ArchiverOk;
    std::string error;
    bool done = false;
};

// What the workers share.
struct WorkContext {
    LzhMethod method;
    const SourceFolder& folder;
    std::string spillFolder; // where spill buffers go: the archive's folder
    int oldArchive;          // -1 without one
    // The threads the store may keep busy. A member of several segments has a helper thread
    // beside its worker's (from start) while fewer than that are busy: beside other workers
    // or the scan it would only take their time.
    unsigned threads = 1;
    ThreadStart start = {};
    // The threads busy now: workers preparing a job, helpers, the scan (EarlyJobs).
    mutable std::atomic<unsigned> busy = 0;
    mutable EncoderShelf encoders{};
};

// Counts a thread busy in context for as long as it lives.
class BusyThread {
public:
    explicit BusyThread(const WorkContext& context) : m_busy(context.busy) { ++m_busy; }
    ~BusyThread() { --m_busy; }
    BusyThread(const BusyThread&) = delete;
    BusyThread& operator=(const BusyThread&) = delete;

private:
    std::atomic<unsigned>& m_busy;
};

// The most memory a prepared job of the task may hold until the writer takes it.
std::size_t jobMemory(const Task& task);

// Prepares the member of task: an old member is copied when its data is sound and, if the
// file may have changed, equal to it; otherwise the folder's file is compressed (falling
// back to -lh0- when that does not shrink it) and decoded again before it may enter the
// archive. Failures go into job.code and job.error.
void runTask(const Task& task, Job& job, const WorkContext& context);

} // namespace vadok::archiver
