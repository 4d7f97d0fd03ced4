#pragma once

#include <QString>

namespace vadok {

// The folder whose desktop entries the desktop starts when the user logs on:
// $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when that is unset or not absolute.
// Ends in "/"; it may not exist yet.
QString startupFolder();

} // namespace vadok
