#pragma once

#include <QString>

namespace vadok {

// True when path names a file that is neither a folder nor hidden (a dot name): the files
// the Windows attribute test of the launcher saw as present.
bool isNormalFile(const QString& path);

} // namespace vadok
