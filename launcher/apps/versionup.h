#pragma once

#include <QString>

namespace vadok {

class PackApp;

// Bringing a stored application up to a new version. The new version is put into the work
// folder (WorkFolder()), the folder holding the application's program is looked for there,
// and the files at the top of that folder replace those of the folder holding the program in
// the application.

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

// Where a new version's files go: the folder of the new version that holds the program of
// the application's command, and the application's folder that holds it now. Both end in
// "/"; source is empty when the new version holds no such program.
struct VersionUpMatch {
    QString source;
    QString target;
};

// Finds the program of app (called name) in the work folder at its own path inside the
// application ("tool/bin/run.sh"), whatever the depth: the work folder is taken as the top,
// then the one folder it holds when it holds nothing else, and so on down (a new version
// wrapped in a folder of its own, say "tool-2.0/", is found); at each, the program's whole
// path is looked for first, then the path less its first folders ("bin/run.sh", "run.sh"),
// so that a wrapping folder renamed between versions does not matter. Names compare in any
// letter case, as the command may have been written on Windows; hidden entries are not
// counted and a link is never gone into. A program the command names outside the
// application's folder is looked for by its file name alone.
VersionUpMatch FindVersionUpSource(const QString& name, const PackApp& app);

// Moves the files at the top of source (its folders stay) into target, made when missing;
// files of the same name in target are replaced. All or nothing: when one file cannot move,
// the files moved already go back and the replaced ones are restored, and the result is
// false. Where the new version was put on a file system that holds no links or modes, what
// the list of stand-ins of listFolder (source or a folder above it; source when empty) says
// of the moved files goes into the list of targetTop (the application's folder, which the
// store reads: target or a folder above it; target when empty), and lists never move.
bool MoveTopLevelFiles(const QString& source, const QString& target,
                       const QString& listFolder = QString(), const QString& targetTop = QString());

} // namespace vadok
