#pragma once

#include <QIcon>
#include <QString>

namespace vadok {

// The picture the desktop shows for the type of the file at path: the icon theme's icon for
// its MIME type (by name and content), else the theme's icon for the type's family. A Windows
// program (".exe" in any letter case) always gets the built-in "program" picture, and a file
// whose type is unknown or has no icon in the theme the built-in "document" picture, as the
// shell's generic program and document icons would.
QIcon fileTypeIcon(const QString& path);

} // namespace vadok
