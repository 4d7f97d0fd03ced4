#pragma once

#include "base/seams.h"
#include "reading/archivereading.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vadok::archiver {

struct ExpandOptions {
    // Threads decoding and writing members: 0 is one per core, at most four. An archive our
    // own reader cannot locate member by member (ZIP, self-extracting LZH) or whose members
    // overwrite one another uses one, and so does one whose names differ only in case where
    // the destination's file system takes them for one (casefolding.h).
    unsigned threads = 0;
    std::function<void(const std::string& member, std::uint64_t done, std::uint64_t total)>
        progress;
    // Names that differ only in case and so end as one file, one call per set of them.
    std::function<void(const std::string& message)> warning;
    ArchiverSeams seams;
    // For tests, where members are spread over threads: called on the thread making the
    // folders once those of member i exist, and on a writer's thread once member i is written.
    std::function<void(std::size_t i)> foldersMade;
    std::function<void(std::size_t i)> memberWritten;
};

struct ExpandResult {
    int code = 0; // an ArchiverCode
    std::string error;
};

// Expands every member of the archive below dest (see archiver.h), into a sibling renamed
// onto dest at the end or in place, undone on failure (expandtarget.h). Members are listed and
// checked in a first pass over the headers, so a hostile archive writes nothing at all; the
// second pass writes exactly the names the first one checked: the folders on one thread in
// member order while the files and links, spread over threads by ranges of members, follow
// as soon as their folders exist, and the folders' times and modes last.
ExpandResult expandArchive(const std::string& archivePath, const std::string& dest,
                           ArchiveFormat format, const ExpandOptions& options);

} // namespace vadok::archiver
