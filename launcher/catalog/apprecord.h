#pragma once

#include <QDateTime>
#include <QString>

namespace vadok {

// The stored fields of one catalog application, as the data file's App element holds them.
struct AppRecord {
    QString AppName;            // title; unique; names the archive, folder and icon
    QString Info;               // notes, lines separated by CR LF
    QString ExecCmd;            // command relative to the expanded folder (shortcut: full path)
    QString AppDir;             // catalog folder holding it; "ROOT" at the top level
    QDateTime LastOpenDateTime; // invalid: not set
    bool NonPack = false;       // never packed at exit
    bool ShortCut = false;      // points at a program installed elsewhere
    QString OverRideBasePath;   // working folder of a shortcut entry
};

} // namespace vadok
