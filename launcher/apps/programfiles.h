#pragma once

#include <QString>
#include <QStringList>

namespace vadok {

// What counts as a program of an application. Archives made on Windows, or by LHA programs
// that record no Unix modes, bring their programs and scripts without the execute bit, so
// the bit alone cannot tell: a Windows program is known by its ".exe" (any letter case), a
// program of this platform by its bit or by what the kernel would run (an interpreter line
// "#!", an ELF image).

// name ends in ".exe", in any letter case.
bool isWindowsProgramName(const QString& name);

// The file at path is a program by its content: it begins with "#!" or is an ELF image.
bool isRunnableContent(const QString& path);

// The visible regular file at path is a program: a Windows program, a file with an execute
// bit, or a program by its content. Folders (even one named "x.exe") and dot files are not.
bool isProgramFile(const QString& path);

// The programs an application called name offers in its folder, as paths relative to folder,
// the likely ones first. Downloaded archives mostly hold one top folder, and many keep their
// programs in a folder below it ("tool/bin/run.sh"): a folder holding nothing but one folder
// is looked into as the top, and from there two levels of folders down. Ranked: named like
// the application ("Tool.sh" for Tool, then "tool-gui"), then programs (native or Windows)
// before scripts, then shallower first, then by path. Never offered: what a store leaves out
// of the archive, so that exists only in the expanded copy (links that lead out of folder,
// links named with "|", sockets, devices, pipes), hidden files and folders, shared libraries.
QStringList ProgramCandidates(const QString& folder, const QString& name);

// The file a command's program names: file (possibly in double quotes, relative to
// workingFolder, in other letter case than on disk) as it lies on disk; empty when missing.
QString programPathOf(const QString& file, const QString& workingFolder);

// Gives the owner the right to execute path (u+x, nothing else changed) when path is a
// regular file lying inside appFolder, lacks that right, is no Windows program and is a
// program by its content. A file outside appFolder, also one reached through a link that
// leads out, is never touched. True when the bit was added.
bool grantOwnerExecute(const QString& path, const QString& appFolder);

} // namespace vadok
