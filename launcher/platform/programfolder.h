#pragma once

#include <QString>

namespace vadok {

// The folder of the vadok program: data file, hand-over file, glimtake. Always ends in "/".
// main() sets it from the executable's location; tests point it at a temporary folder.
QString programFolder();
void setProgramFolder(const QString& folder);

// folder with exactly one trailing "/" added when missing.
QString withTrailingSlash(const QString& folder);

} // namespace vadok
