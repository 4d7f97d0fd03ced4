#pragma once

#include <QString>

namespace vadok {

// Where the main window's timer is: Init until the first tick, Boot while the tree is read,
// IconLoad/IconLoading while the remaining icons load, Normal afterwards, and TrayFin,
// Fining, Fin on the way out.
enum class WindowStage { Init, Boot, IconLoad, IconLoading, Normal, TrayFin, Fining, Fin };

// The stage's name as the window announces it ("INIT", "BOOT", ... "FIN").
QString windowStageName(WindowStage stage);

} // namespace vadok
