#pragma once

#include <QString>

#include <functional>

class QObject;

namespace vadok {

// Deletes a folder with everything in it: permanently, or into the desktop's trash. A trailing
// "/" is ignored. False on any failure, never a message. Refuses the file-system root and
// empty paths outright.
bool DeleteFolder(const QString& path, QObject* owner, bool permanent);

// Moves a file or folder into the desktop's trash; where it went in pathInTrash (may be
// null). False when it stayed where it was.
bool MoveToTrash(const QString& path, QString* pathInTrash = nullptr);

// True when inner is outer itself or lies below it, symbolic links resolved; false when
// either does not exist.
bool IsSameOrInside(const QString& inner, const QString& outer);

// True when every file, folder and symbolic link below source has a counterpart of the same
// kind (and, for files, size) at the same place below copy. With linksListed the copy's file
// system holds no links and the copy lists them instead: they are not looked for.
bool HoldsCopyOf(const QString& copy, const QString& source, bool linksListed = false);

// Puts a copy of the file source at target in one step: the copy is written beside target
// and renamed over it once complete, so an existing target stays whole until then. False
// when source is target itself or anything failed; target is then as it was.
bool ReplaceFileWithCopy(const QString& source, const QString& target);

// Replaces target with a copy of everything inside source. An existing target goes to the
// trash first. Shows its own failure messages; true on success.
bool CopyFolderContents(const QString& source, const QString& target);
// Test seam: called with the target once CopyFolderContents, or another copy of a folder
// through folderCopied(), has copied everything, just before it reports success; an empty
// function removes it.
void setFolderCopiedHook(std::function<void(const QString& target)> hook);
void folderCopied(const QString& target);

} // namespace vadok
