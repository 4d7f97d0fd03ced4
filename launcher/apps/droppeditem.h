#pragma once

#include <QString>

namespace vadok {

// What a file or folder dropped on the launcher (or named on its command line) is, decided
// in this order: an archive (".lzh", ".zip"), a program (".exe"), a shortcut (".lnk" or a
// desktop entry, ".desktop"), any other program file (executable), any other file, a
// folder, nothing that exists. Hidden files count as missing.
enum class DropKind { Lzh, Zip, Exe, Lnk, Single, Folder, Err };
DropKind GetDropKind(const QString& path);

// The name without its folder and without its last extension ("Tool.beta.lzh" gives
// "Tool.beta"); empty for an empty path.
QString getFileNameFromFullPath(const QString& path);
// The folder part up to and including the last "/"; empty when there is none.
QString getBaseDirFromFullPath(const QString& path);

// Whether a shortcut's target lies in the system's installer cache (SystemRoot +
// "\Installer\{", either slash): such shortcuts work only as themselves, not through their
// target.
bool IsInstallerShortcutTarget(const QString& target);

} // namespace vadok
