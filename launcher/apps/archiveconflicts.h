#pragma once

#include "apps/archivechecks.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

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
    // soon), or its archive is being stored: not to be touched now. Reading it (a check,
    // the index, the sizes) is over soon and does not count.
    bool inUse = false;

    // What a check of the files found (NoteConflictCheck); a copy not checked counts as
    // damaged, and a damaged copy never takes the archive's place.
    bool copyChecked = false;
    bool copyDamaged = false;
    QString copyDamage;     // what is wrong with it, as the user reads it
    bool archiveDamaged = false;
    // The files as listed: a copy or archive that changed since is not settled.
    qint64 copySize = -1;
    QDateTime copyModified;
    qint64 archiveSize = -1;
    QDateTime archiveModified;

    // Whether settling keeps the copy: a sound copy replaces a missing or damaged archive,
    // or an older one.
    bool keepsCopy() const {
        return copyChecked && !copyDamaged && (archiveMissing || archiveDamaged || copyIsNewer);
    }
};

// Every conflict copy of an archive in the pack folder, oldest first. A file that merely
// has such a name but is the archive of an application of the catalog (isApplication says
// so for its name less ".lzh") is that application's, and left out.
QList<ArchiveConflict> FindArchiveConflicts(const std::function<bool(const QString& name)>& isApplication);

// The files a check must read before the pair is offered: the copy, and the archive when
// there is one (a damaged archive is no reason to keep it).
QStringList FilesToCheck(const ArchiveConflict& conflict);
// Records what the check found for file, one of FilesToCheck(conflict).
void NoteConflictCheck(ArchiveConflict& conflict, const QString& file, const ArchiveCheckResult& result);

enum class ConflictSettled {
    KeptArchive,   // the copy went to the trash
    KeptCopy,      // the archive (if any) went to the trash and the copy took its name
    InUse,         // nothing changed: the pair is in use now
    CopyGone,      // nothing changed: the copy is no longer there
    TrashFailed,   // nothing changed: the older one could not go to the trash
    RenameFailed,  // the copy keeps its name; the archive was put back where it was
    RenameFailedArchiveInTrash, // the same, but the archive stayed in the trash
    CopyDamaged,   // nothing changed: the copy is damaged (or was never checked)
    Changed,       // nothing changed: the copy or the archive changed since it was checked
};

// Keeps the copy where keepsCopy() says so, else the archive, as checked and listed: when
// either file changed since, nothing is done. The archive is locked as a store locks it for
// the whole step, so no store, expansion or check of it runs meanwhile; a reader of it is
// waited for, while a store or the application's expanded folder means it is in use and
// nothing is done. Nothing is ever deleted for good, and no file is written over: a copy
// takes the archive's name only where no file has it.
ConflictSettled KeepNewerArchive(const ArchiveConflict& conflict);

// Test seams: moves a file to the trash instead of the desktop's trash (true when it did,
// with where it went); called while the settling waits for a reader of the archive. An
// empty function restores the real one.
void setConflictTrashHook(std::function<bool(const QString& path, QString* pathInTrash)> hook);
void setConflictReaderWaitHook(std::function<void()> hook);

} // namespace vadok
