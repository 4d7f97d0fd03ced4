#pragma once

#include <QString>

namespace vadok {

// What a shortcut says; empty text fields are left as they are in an existing shortcut.
struct ShortcutSpec {
    QString TargetPath;
    QString Arguments; // a command line: blanks separate, "..." groups, "" is a quote
    QString WorkingDirectory;
    QString Description;
    QString IconLocation; // "path" or "path,index"
    QString Hotkey;
    qint16 WindowStyle = 0;
};

// Writes (or updates) a desktop entry at linkPath. False on any failure, no message.
bool CreateShortcutFile(const QString& linkPath, const ShortcutSpec& shortcut);

// The program a shortcut points at: the Exec program of a ".desktop" entry (joined to its
// Path when relative) or the local target of a Windows ".lnk". Any other path, and any
// shortcut that cannot be read, comes back unchanged.
QString ResolveShortcut(const QString& path);

} // namespace vadok
