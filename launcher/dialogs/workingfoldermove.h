#pragma once

#include <QString>

namespace vadok {

enum class FolderChange {
    Unchanged, // the same path, or another name of the same folder
    Moved,     // the contents are in the new folder, which is now in use
    Missing,   // no folder of that path: the user must correct it
    Failed,    // nothing moved; the old folder stays in use (the user was told why)
};

// Takes one working folder (pack, execution or icon) to the path the user typed, which ends
// in "/". The contents are copied and checked before the old folder goes to the trash, so a
// move that fails half way leaves every file where it was. what names the folder in the
// failure message ("実行フォルダ", ...). folder receives the new path once it is in use.
FolderChange MoveWorkingFolder(const QString& newPath, QString& folder, const QString& what);

} // namespace vadok
