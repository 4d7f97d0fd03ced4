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
};

struct ExpandResult {
    int code = 0; // an ArchiverCode
    std::string error;
};

// Expands every member of the archive below dest (see archiver.h), into a sibling renamed
// onto dest at the end or in place, undone on failure (expandtarget.h). Members are listed and
// checked in a first pass over the headers, so a hostile archive writes nothing at all; the
// second pass writes exactly the names the first one checked: the folders first, then the
// files and links, spread over threads by ranges of members, and the folders' times and
// modes last.
ExpandResult expandArchive(const std::string& archivePath, const std::string& dest,
                           ArchiveFormat format, const ExpandOptions& options);

} // namespace vadok::archiver
