#pragma once

#include <QIcon>

namespace vadok {

// The application's own icon with a small mark in its lower right corner, telling at a
// glance that the application is expanded in the execution folder. Drawn for every size the
// icon has (at least 16 and 32 pixels); a null icon gets the mark on an empty square.
QIcon withExpandedMark(const QIcon& icon);

} // namespace vadok
