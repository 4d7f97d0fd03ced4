#pragma once

#include <QString>

namespace vadok {

// The folder of the vadok program: data file, hand-over file, glimtake. Always ends in "/".
// main() sets it from the executable's location; tests point it at a temporary folder.
QString programFolder();
void setProgramFolder(const QString& folder);

// A file this machine keeps for itself about the program folder (what it has read of the
// archives, say): in the user's cache folder, one per program folder, and never in the
// program folder, which a sync engine or a USB stick shares between machines. Its folder
// is created when missing.
QString machineCacheFile(const QString& name);

// folder with exactly one trailing "/" added when missing.
QString withTrailingSlash(const QString& folder);

} // namespace vadok
