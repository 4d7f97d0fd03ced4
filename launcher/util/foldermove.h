#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace vadok {

// What became of moving a folder's contents.
struct FolderMoveResult {
    bool ok = false;
    // On failure: the file or folder that could not be copied, and why.
    QString failedPath;
    QString reason;
    // Entries that met one of the same name in the target, as "old name" → "new name".
    QList<std::pair<QString, QString>> renamed;
};

// Called before each entry of the source folder is copied.
using FolderMoveProgress = std::function<void(int done, int total, const QString& name)>;

// Copies everything inside from into the existing folder to, and checks every copied file's
// size against its original. An entry whose name is taken in to is copied under a new one:
// "name (2).ext", "name (3).ext", ... Links are copied as links; anything that is neither a
// file, a folder nor a link stops the move.
//
// Nothing is ever deleted from from: the caller removes it once the move has succeeded. On
// failure every copy made is removed again, so to is as it was and from still holds it all.
// A missing from has nothing to move and succeeds. to may not be from, nor lie inside it.
FolderMoveResult CopyFolderContentsVerified(const QString& from, const QString& to,
                                            const FolderMoveProgress& progress = {});

// Whether two paths name the same folder once links and "." or ".." are resolved.
bool IsSameFolder(const QString& a, const QString& b);
// Whether inner lies inside outer (not the same folder), links resolved.
bool IsFolderInside(const QString& inner, const QString& outer);

} // namespace vadok
