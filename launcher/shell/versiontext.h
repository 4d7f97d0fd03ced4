#pragma once

#include <QString>

namespace vadok {

// "Vadok 1.9.6", or "Vadok 1.9" when the revision is 0: how the root node and the tray icon's
// tip name the program.
QString versionText(int major, int minor, int revision);

} // namespace vadok
