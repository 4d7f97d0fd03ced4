#pragma once

#include "alongside.h"
#include "lzh/lzhmember.h"
#include "lzh/lzhmethod.h"
#include "spillbuffer.h"
#include "storeplan.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace vadok::archiver {

class SourceFolder;

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
    // A member of several segments has a thread of its own beside its worker's, from start.
    bool segmentHelpers = false;
    ThreadStart start = {};
};

// The most memory a prepared job of the task may hold until the writer takes it.
std::size_t jobMemory(const Task& task);

// Prepares the member of task: an old member is copied when its data is sound and, if the
// file may have changed, equal to it; otherwise the folder's file is compressed (falling
// back to -lh0- when that does not shrink it) and decoded again before it may enter the
// archive. Failures go into job.code and job.error.
void runTask(const Task& task, Job& job, const WorkContext& context);

} // namespace vadok::archiver
