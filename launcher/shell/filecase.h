#pragma once

#include <QString>

namespace vadok {

// True when path names a file that is neither a folder nor hidden (a dot name): the files
// the Windows attribute test of the launcher saw as present.
bool isNormalFile(const QString& path);

// The path itself when it exists; otherwise the existing path that differs from it only in
// letter case, component by component, since callers build names such as "tool.exe" for a
// file stored as "Tool.EXE". Unchanged when no such path exists.
QString resolveFileCase(const QString& path);

} // namespace vadok
