#pragma once

#include "lzhmember.h"

#include <archive_entry.h>
#include <memory>

namespace vadok::archiver {

struct EntryDeleter {
    void operator()(struct archive_entry* e) const { archive_entry_free(e); }
};
using Entry = std::unique_ptr<struct archive_entry, EntryDeleter>;

// The entry libarchive's LZH reader would make of a member our header reader read, for the
// writers that take one: its kind, its times, and its permissions (the Unix mode when the
// header holds one, else 0777 for a folder and 0666 for a file, less the write bits of a
// read-only MS-DOS attribute). The name is left to the caller; links get their target.
Entry entryOf(const LzhMember& header, MemberKind kind);

} // namespace vadok::archiver
