#pragma once

#include "catalog/fileidentity.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

namespace vadok {

// The picture of an icon to draw in a square of side pixels: of the images the .ico file
// holds, the one that suits the size best, stretched to the square when it is not exactly
// that large. A null image when the bytes are no icon file or the image does not decode.
QImage iconPicture(const QByteArray& icoFile, int side);

// The bytes of the icon file at path, read as a stranger's: only a regular file of at most
// kMaxIconFileBytes, never through a link (which could lead out of the icon folder) and never
// waiting on a FIFO. identity, when given, receives the version of the file the bytes are
// from. nullopt when there is no such file.
inline constexpr qint64 kMaxIconFileBytes = 16 << 20;
std::optional<QByteArray> readIconFile(const QString& path, FileIdentity* identity = nullptr);

// Writes bytes as the file path, replacing it in one step: a reader never finds half an icon,
// and a failed write leaves the old file. False when the file could not be written.
bool writeIconFile(const QString& path, const QByteArray& icoFile);

// Writes picture as an .ico file with one image of its size, replacing path in one step.
bool writePictureAsIconFile(const QString& path, const QImage& picture);

} // namespace vadok
