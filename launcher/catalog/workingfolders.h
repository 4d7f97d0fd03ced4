#pragma once

#include <QString>
#include <QStringList>

namespace vadok {

class XmlElement;

// The three working folders, absolute and ending in "/".
struct WorkingFolders {
    QString pack, exec, icon;
};

// The folders this machine works in. They are this machine's own: kept in the user's config
// folder, one record per program folder (machineConfigFile), never in the data file, which
// other machines share. The first start without a record takes them from the data file's
// Config/Folders (dataFileFolders), as an older version kept them there, but only the ones
// that can be this machine's (workingFolderRefusal); the others fall back to the defaults and
// refused receives one line each for the user. The result is then recorded, so that the
// question is asked once.
WorkingFolders resolveWorkingFolders(const XmlElement& dataFileFolders, const QString& program,
                                     QStringList* refused);

// Records folders as this machine's; false when the record could not be written.
bool recordWorkingFolders(const WorkingFolders& folders, const QString& program);

// Why a folder read from the data file cannot be one of this machine's working folders;
// empty when it can. A folder below the program folder is vadok's own. Any other must exist,
// be a writable folder, and be none of the folders a sweep must never empty: the root, the
// home folder or one above it, the program folder or one above it, or one of the user's
// standard folders (desktop, documents, downloads, ...). Links are followed first, so that a
// link in the program folder leads nowhere else.
QString workingFolderRefusal(const QString& folder, const QString& program);

} // namespace vadok
