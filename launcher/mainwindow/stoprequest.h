#pragma once

namespace vadok {

// Set when a catalog load is aborted and at the end of every exit. The tree build, the icon
// loader and the window's timer look at it between steps, so work that lets window messages
// through notices a close that arrived meanwhile and winds down.
extern bool StopRequested;

} // namespace vadok
