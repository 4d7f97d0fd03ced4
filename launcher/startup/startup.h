#pragma once

#include "instances/instancegate.h"

#include <QString>
#include <functional>

namespace vadok {

// The windows start-up may open; the GUI provides them.
class StartupWindows {
public:
    virtual ~StartupWindows() = default;
    virtual void showMainWindow() = 0; // modeless
    // Resident start: the main window is made but not shown; its first tick puts it in the
    // task tray (minimised where the desktop has none).
    virtual void openMainWindowInTray() = 0;
    // Shows the dropped-item dialog for path modally, over the main window.
    virtual void showDropDialog(const QString& path) = 0;
};

struct StartupOptions {
    // Blocking wait of the delay switch; tests replace it.
    std::function<void(int milliseconds)> sleep;
};

enum class StartupResult {
    RunEventLoop, // a window is open: the event loop owns the rest of the run
    Exit,         // the request was handed over or run: the process ends
    Failed,       // the request was refused or could not be handed over, and the user told:
                  // the process ends with a failure
};

// The program's start: delay switch, data file, settings, then one of four branches for the
// command line: hand the request to the running instance, open the dropped-item dialog, run
// an application by its title, or show the main window. A window is shown only by the
// instance of the program folder: "/START" too hands over while another instance runs, and
// brings its window forward.
StartupResult RunStartup(const QString& commandLine, StartupWindows& windows,
                         InstanceControl& instances, const StartupOptions& options = {});

// Set when the command line was exactly "/START" once the delay switch was taken out.
extern bool StartedByStartup;

} // namespace vadok
