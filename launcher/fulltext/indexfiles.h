#pragma once

#include <QString>

namespace vadok {

// The index file and what SQLite keeps beside it (-wal, -shm, -journal), as found on disk
// before SQLite is let near them. SQLite opens the main file without following a link, but
// a hard link, a FIFO or a link in place of -wal would still lead it to write into (or wait
// on) a file that is not the index.
enum class IndexEntries {
    Absent,  // no index yet (what is left beside a removed one is removed with it)
    Regular, // regular files, each with one name: the index as vadok makes it
    Foreign, // something else under one of the names: not to be opened, only unlinked
    Folder,  // a folder under one of the names: neither opened nor removed
};
IndexEntries inspectIndexEntries(const QString& path);

// Unlinks the index's names: the names only, so a link's target or a hard link's other name
// keeps its file. A folder is left where it is. False when a name could not be removed.
bool removeIndexEntries(const QString& path);

// Removes the index that vadok kept beside the data file before it moved to the cache
// folder, with its -wal and -shm: only regular SQLite files with a single name, so nothing
// else that happens to carry the name is deleted.
void removeIndexBesideDataFile(const QString& dataFolder);

} // namespace vadok
