#include "shell/iconpicture.h"

#include "iconextract/icodirectory.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <span>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::optional<QByteArray> readIconFile(const QString& path, FileIdentity* identity) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > kMaxIconFileBytes ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    // Taken from the open file, so that it names the version these bytes come from even when
    // the file is replaced meanwhile.
    if (identity)
        *identity = fileIdentity(status);
    // One byte more than the file had, to see it grown beyond the limit meanwhile; a buffer of
    // the limit's size would cost more than the reading.
    QByteArray bytes = file.read(qint64(status.st_size) + 1);
    if (bytes.size() > kMaxIconFileBytes)
        return std::nullopt;
    return bytes;
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
