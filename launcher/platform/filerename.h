#pragma once

#include <QString>

namespace vadok {

// Gives the file at from the name to, but never over a file already there: a plain rename
// would replace a file that arrived at the name meanwhile (a sync engine delivering it
// again, say), and that file would be gone for good. False when to exists or the rename
// failed. On a file system that cannot be asked to refuse, the look and the rename are
// two steps.
bool renameWithoutReplacing(const QString& from, const QString& to);

// Flushes the folder holding path, so that a rename in it survives a power cut.
void syncFolderOf(const QString& path);

} // namespace vadok
