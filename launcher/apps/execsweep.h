#pragma once

#include <QString>
#include <QStringList>

namespace vadok {

// The folders an exit must never clear out by accident. The exit deletes only the folders
// vadok expanded there itself (madebyvadok.h) that no application claims any more; with the
// execution folder set to one of these (or to a folder holding one), it does not look even
// for those, as a mark there can only be a mistake.
struct ProtectedFolders {
    QString programFolder;
    QString homeFolder;
    QString packFolder;
    QString iconFolder;
};

// Why the execution folder must not be swept, as a sentence for the user; empty when it is
// safe. The file-system root is never safe; neither is a folder that is, or contains, one of
// the protected folders (compared after resolving symbolic links).
QString sweepRefusalReason(const QString& execFolder, const ProtectedFolders& protectedFolders);

// The names in the execution folder, files and folders alike, in name order. Hidden entries
// are left out, as the desktop's own listing leaves them out.
QStringList execFolderEntries(const QString& execFolder);

// Removes one entry of the execution folder for good. A symbolic link is removed itself;
// nothing it points at is touched, and links met inside a removed folder are not followed
// either. False when anything stayed.
bool deleteExecEntry(const QString& execFolder, const QString& name);

// True when the entry is a symbolic link (to anything, or dangling).
bool isLinkEntry(const QString& execFolder, const QString& name);

} // namespace vadok
