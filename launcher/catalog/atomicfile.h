#pragma once

#include "catalog/fileidentity.h"

#include <QByteArray>
#include <QString>

namespace vadok {

// Replaces path with bytes so that a crash, a kill or a full disk leaves either the old file
// or the new one, never a mix: the bytes go to a temporary file beside it, reach the disk,
// and are renamed over it. A path that is a symbolic link is replaced where the link points.
// error receives the reason of a failure.
//
// The temporary is named "." + file name + "." + writer's pid + "." + six random characters.
// A writer killed mid-way leaves it behind; the next write removes every such file whose
// writer no longer runs.
//
// written, when given, receives the identity the new file has on disk: taken from the file
// itself before the rename, so a writer coming after cannot slip its version in between.
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error,
                         FileIdentity* written = nullptr);

} // namespace vadok
