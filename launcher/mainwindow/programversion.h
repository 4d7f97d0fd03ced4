#pragma once

#include "shell/versiontext.h"

// The build hands the program's version to this library; without it the program is 1.9.
#ifndef VADOK_VERSION_MAJOR
#define VADOK_VERSION_MAJOR 1
#endif
#ifndef VADOK_VERSION_MINOR
#define VADOK_VERSION_MINOR 9
#endif
#ifndef VADOK_VERSION_REVISION
#define VADOK_VERSION_REVISION 0
#endif

namespace vadok {

// "Vadok 1.9" and the like: the root node's title and the tray icon's tip.
inline QString programVersionText() {
    return versionText(VADOK_VERSION_MAJOR, VADOK_VERSION_MINOR, VADOK_VERSION_REVISION);
}

} // namespace vadok
