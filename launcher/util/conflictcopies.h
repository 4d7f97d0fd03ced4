#pragma once

#include <QList>
#include <QString>

namespace vadok {

// Sync engines that find a file changed on two machines keep one version under the file's
// name and the other beside it under a name of their own, for instance
//   Syncthing            vadok.sync-conflict-20261208-101500-ABCDEFG.xml
//   Nextcloud, ownCloud  vadok (conflicted copy 2026-12-08 101500).xml
//   Dropbox              vadok (laptop's conflicted copy 2026-12-08).xml
// Every name pattern is in conflictcopies.cpp, and only there.

// The name of the file fileName is a conflict copy of ("vadok.xml" for the Syncthing name
// above); empty when fileName is no conflict copy.
QString conflictCopyOriginal(const QString& fileName);

// The conflict copies of the file at path, in the folder beside it, oldest first. The file
// itself need not exist.
QStringList conflictCopiesOf(const QString& path);

struct ConflictCopy {
    QString copyPath;     // the conflict copy
    QString originalPath; // the file it is a copy of, in the same folder
};

// Every conflict copy in folder whose original's name ends in suffix (".lzh", say), oldest
// first.
QList<ConflictCopy> conflictCopiesIn(const QString& folder, const QString& suffix);

} // namespace vadok
