#pragma once

#include <QString>

namespace vadok {

// The user's desktop folder, where shortcuts the user asks for are put: the folder the
// desktop's user-dirs settings name (what `xdg-user-dir DESKTOP` prints), else ~/Desktop.
// Ends in "/". Tests point it elsewhere with setDesktopFolder; an empty folder restores it.
QString desktopFolder();
void setDesktopFolder(const QString& folder);

} // namespace vadok
