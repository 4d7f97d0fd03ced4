#pragma once

#include "platform/keystate.h"

#include <QString>
#include <QtGlobal>

namespace vadok {

// The settings of one run. Field names are the data file's key names; the initial values
// are the defaults a file without them gets.

struct FontRecord {
    QString Name = QStringLiteral("ＭＳ Ｐゴシック");
    double Size = 9; // points
    bool Bold = false;
    bool Ital = false;

    bool operator==(const FontRecord&) const = default;
};

struct ConfigRecord {
    qint16 PackDate = 5; // days; 0 packs at every exit, -1 never
    quint8 KeepPos = 0;  // only 1 keeps the window position and size
    quint8 LhaDialog = 0;
    quint8 IntoTaskTray = 0;
    // Window geometry in twips.
    qint32 Left = 0;
    qint32 Top = 0;
    qint32 Height = 6090;
    qint32 Width = 7935;
    qint32 LR = 3130;
    quint8 wState = 0;
    qint32 narrowHeight = 5000;
    qint32 narrowWidth = 3000;
    qint32 posUD = 3500;
    quint8 DispMode = 0; // 0 wide, 1 narrow
    quint8 DispCmdButtons = 0;

    bool operator==(const ConfigRecord&) const = default;
};

struct ColorRecord {
    // Negative values name system colours (0x80000008 window text, 0x80000005 window).
    qint32 infoTXT = qint32(0x80000008u);
    qint32 infoBG = qint32(0x80000005u);
    qint32 treeTXT = 0;
    qint32 treeBG = 0;
    qint32 treeSEL = 0;
    FontRecord infoFont;
    FontRecord treeFont;
    bool DispInfoNarrow = false;
    bool DispStatusNarrow = false;
    bool DispMenuNarrow = false;
    bool DispSearchTextBoxAnyTime = false;

    bool operator==(const ColorRecord&) const = default;
};

struct KeyRecord {
    quint8 AppCallEnd = kVkShift; // virtual-key code
    quint8 FindKey = 1;           // 1 F3, 2 Ctrl+F

    bool operator==(const KeyRecord&) const = default;
};

struct Settings {
    ConfigRecord Config;
    ColorRecord Color;
    KeyRecord Key;
    quint8 PackKey = kVkShift; // never stored
    // Absolute, ending in "/".
    QString PackDir;
    QString ExecDir;
    QString IconDir;
};

// The settings in force for this process.
Settings& settings();

// Fills settings() from the data file: defaults first, then every value present and
// convertible. Position and size are taken only when KeepPos is 1. The working folders are
// this machine's own (workingfolders.h): a folder the data file names that cannot be this
// machine's is not used, and the user is told; each is created (one level) when missing.
// Skipped, leaving the settings as they are, when the data file stays busy (xmlBusy) for the
// whole wait.
void LoadSettings();

// Writes settings() back under Config, touching only values that differ from the file, and
// saves only when something changed; the working folders go to this machine's own record.
// Window position comes from the main window when one is shown. False when a needed save
// failed (the reason was shown).
bool SaveSettings();

} // namespace vadok
