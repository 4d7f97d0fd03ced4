#pragma once

#include <QString>
#include <QStringList>

namespace vadok {

// What the running instance does with the requests a second start left for it.
class HandOverTarget {
public:
    virtual ~HandOverTarget() = default;
    virtual void restoreFromTray() = 0;
    virtual void execAppByName(const QString& name) = 0;
    // Shows the dropped-item dialog for path modally; returns when it is closed.
    virtual void showDropDialog(const QString& path) = 0;
};

// The line that asks the running instance to come back from the task tray.
inline const QString kRestoreRequest = QStringLiteral("%%%タスクトレイから復元%%%");

// Appends one request line to the hand-over file of the program folder. False (after its
// message) when the request could not be written.
bool PostHandOverRequest(const QString& text);

// Acts on every waiting request in order, then deletes the file. A file that stays held by a
// writer, or cannot be read, is left for the next call.
void ProcessHandOverRequests(HandOverTarget& target);

// Splits the file's text into items the way a comma-separated read statement does: leading
// spaces skipped, a quoted item runs to its closing quote, any other item ends at a comma or
// at the end of its line.
QStringList SplitHandOverItems(const QString& text);

} // namespace vadok
