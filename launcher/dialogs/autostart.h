#pragma once

#include <QString>

namespace vadok {

// Start at log-on: the desktop entry "vadok.desktop" in the startup folder, which starts the
// program with "/START/Delay=" and a number of seconds.

// Where the entry is written.
QString autoStartEntryPath();
bool isAutoStartRegistered();

// What the settings button offers: "自動起動の解除" while the entry exists, else
// "自動起動の設定".
QString autoStartCaption();

// Asks whether to register, asks for the delay (0 to 100 seconds) until it is valid or
// cancelled, writes the entry and says how that went.
void RegisterAutoStart();
// Deletes the entry, without a word.
void RemoveAutoStart();

} // namespace vadok
