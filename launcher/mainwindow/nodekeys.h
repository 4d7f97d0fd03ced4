#pragma once

#include <QString>

namespace vadok {

// Folder and application names share the tree's key space. A numeric folder name gets this
// suffix in its key, so that no key ever reads as a number.
inline const QString kNumericKeySuffix = QStringLiteral("numonly");

// Plain decimal numbers: optional spaces, an optional sign, digits with at most one decimal
// point (at least one digit), an optional exponent, optional spaces. "12", " 3 ", "-1.5",
// ".5" and "1e3" are numeric; "", "1.2.3", "0x10" and "12a" are not.
bool isNumericName(const QString& name);

// The tree key of a folder called name.
QString folderKey(const QString& name);

} // namespace vadok
