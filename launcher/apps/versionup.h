#pragma once

#include <QString>

namespace vadok {

class PackApp;

// Bringing a stored application up to a new version. The new version is put into the work
// folder (WorkFolder()), the folder holding the application's program is looked for there,
// and the files at the top of that folder replace the application's.

// Why path cannot serve as a new version, as a message for the user; empty when it can.
// Anything inside the launcher's own folders is refused (an application's own archive would
// be offered for deletion once it is the new one), and so is a folder holding them.
QString VersionUpRefusal(const QString& path);

// Expands the dropped LZH archive path into the work folder, emptied first. 0, or the
// archiver's code once its failure has been shown with what is damaged in the archive.
int ExtractDroppedLzh(const QString& path);

// Removes the work folder for good: it is the launcher's scratch space, never the user's,
// and does not belong in the trash.
void RemoveWorkFolder();

// The folder inside the work folder whose files replace those of app, called name: the work
// folder itself when it holds a file named like the program of app's command, else the one
// folder it holds when it holds nothing else, and so on down. Names compare in any letter
// case, as the command may have been written on Windows; hidden entries are not counted.
// Ends in "/"; empty when no such folder exists.
QString FindVersionUpSource(const QString& name, const PackApp& app);

// Moves the files at the top of source (its folders stay) into target, made when missing;
// files of the same name in target are replaced. All or nothing: when one file cannot move,
// the files moved already go back and the replaced ones are restored, and the result is
// false. Where the new version was put on a file system that holds no links or modes, what
// the list of stand-ins of listFolder (source or a folder above it; source when empty) says
// of the moved files goes into target's list, and lists never move.
bool MoveTopLevelFiles(const QString& source, const QString& target,
                       const QString& listFolder = QString());

} // namespace vadok
