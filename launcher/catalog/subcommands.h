#pragma once

#include "catalog/apprecord.h"

#include <QStringList>

namespace vadok {

// Replaces the alternative commands (SubExec/Cmd) of the App named app.AppName; no commands
// remove them all. False when the file could not be changed (the reason was shown).
bool SaveSubCommands(const AppRecord& app, const QStringList& commands);

// Appends the non-empty alternative commands of the App named title to list and returns it.
QStringList& ReadSubCommands(const QString& title, QStringList& list);

} // namespace vadok
