#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace vadok {

// A sync engine that saw an archive changed on two machines keeps one version under the
// archive's name and the other beside it under a conflict name (util/conflictcopies.h).
// Neither may be lost: the pair is only ever settled by keeping the newer version as the
// archive, with the older one in the desktop's trash, where the user can still fetch it.

struct ArchiveConflict {
    QString copyPath;    // the conflict copy in the pack folder
    QString archivePath; // the archive it is a copy of: PackDir + appName + ".lzh"
    QString appName;
    bool archiveMissing = false;
    // By modification time; a missing archive counts as older, and equal times keep the
    // archive (nothing is renamed then).
    bool copyIsNewer = false;
    // The application is expanded (and may be running, or storing back into its archive
    // soon), or its archive is being stored, expanded or checked: not to be touched now.
    bool inUse = false;
};

// Every conflict copy of an archive in the pack folder, oldest first. A file that merely
// has such a name but is the archive of an application of the catalog (isApplication says
// so for its name less ".lzh") is that application's, and left out.
QList<ArchiveConflict> FindArchiveConflicts(const std::function<bool(const QString& name)>& isApplication);

enum class ConflictSettled {
    KeptArchive,   // the copy went to the trash
    KeptCopy,      // the archive (if any) went to the trash and the copy took its name
    InUse,         // nothing changed: the pair is in use now
    CopyGone,      // nothing changed: the copy is no longer there
    TrashFailed,   // nothing changed: the older one could not go to the trash
    RenameFailed,  // the copy keeps its name; the archive was put back where it was
    RenameFailedArchiveInTrash, // the same, but the archive stayed in the trash
};

// Keeps the newer of the pair as things stand now (the times are read again). The archive
// is locked as a store locks it for the whole step, so no store, expansion or check of it
// runs meanwhile; when that lock or the application's folder says it is in use, nothing is
// done. Nothing is ever deleted for good, and no file is written over: a copy takes the
// archive's name only where no file has it.
ConflictSettled KeepNewerArchive(const ArchiveConflict& conflict);

// Test seam: moves a file to the trash instead of the desktop's trash (true when it did,
// with where it went); an empty function restores the real one.
void setConflictTrashHook(std::function<bool(const QString& path, QString* pathInTrash)> hook);

} // namespace vadok
