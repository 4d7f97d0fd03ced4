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

// The names of the programs at the top of folder, in the order of their names.
QStringList programsIn(const QString& folder);

// The file a command's program names: file (possibly in double quotes, relative to
// workingFolder, in other letter case than on disk) as it lies on disk; empty when missing.
QString programPathOf(const QString& file, const QString& workingFolder);

// Gives the owner the right to execute path (u+x, nothing else changed) when path is a
// regular file lying inside appFolder, lacks that right, is no Windows program and is a
// program by its content. A file outside appFolder, also one reached through a link that
// leads out, is never touched. True when the bit was added.
bool grantOwnerExecute(const QString& path, const QString& appFolder);

} // namespace vadok
