#include "shell/iconpicture.h"

#include "iconextract/icodirectory.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <span>

namespace vadok {

QImage iconPicture(const QByteArray& icoFile, int side) {
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(icoFile.constData()),
                          static_cast<std::size_t>(icoFile.size()));
    const auto images = glimtake::readIcoDirectory(bytes);
    const auto best = images ? glimtake::imageForSize(*images, side) : std::nullopt;
    if (!best)
        return QImage();
    QBuffer buffer;
    buffer.setData(icoFile);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    if (!reader.jumpToImage(static_cast<int>(*best)))
        return QImage();
    QImage picture = reader.read();
    if (picture.isNull() || picture.size() == QSize(side, side))
        return picture;
    return picture.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

bool writeIconFile(const QString& path, const QByteArray& icoFile) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(icoFile) != icoFile.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool writePictureAsIconFile(const QString& path, const QImage& picture) {
    if (picture.isNull())
        return false;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "ico");
    if (!writer.write(picture))
        return false;
    return writeIconFile(path, bytes);
}

} // namespace vadok
