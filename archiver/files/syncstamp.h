#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace vadok::archiver {

// What a folder's files were last known to hold. Right after a successful expansion, and
// after a store from the folder, every file of the folder equals its member in that archive;
// what a program changes afterwards moves the file's status-change time (ctime), which
// nobody can set back, whatever it does to the modification time. The stamp, an extended
// attribute of the folder, names the archive (device, inode, size and modification time, so
// that another archive or a rewritten one does not match) and the moment from which a
// change shows: a file whose ctime is at or after it, or that lies in a folder whose ctime
// is (a folder moved in keeps its files' times), may differ from its member.
//
// The moment is read from the coarse clock the kernel stamps files with, so that a change
// made after it can never carry an earlier time. File systems without user extended
// attributes keep no stamp, and every file then counts as possibly changed.
struct SyncMoment {
    std::int64_t sec = 0;
    long nsec = 0;
};

SyncMoment syncMomentNow();

// True when t is at or after the moment.
bool changedSince(const struct timespec& t, const SyncMoment& moment);

// The folder's stamp when it names archive as it is now, else nullopt.
std::optional<SyncMoment> readSyncStamp(const std::string& folder, const std::string& archive);

// Stamps folder as holding what archive (as described by its stat) held at moment.
void writeSyncStamp(const std::string& folder, const struct stat& archive, SyncMoment moment);

} // namespace vadok::archiver
