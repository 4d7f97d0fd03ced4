#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace vadok::test {

void writeFile(const QString& path, const QByteArray& bytes, bool executable) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
    f.close();
    if (executable)
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

namespace {
QByteArray unstorableFile(const QString& folder) {
    return QFile::encodeName(folder) + "/refused\xff.txt";
}
} // namespace

void writeUnstorableFile(const QString& folder) {
    const QByteArray path = unstorableFile(folder);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
}

void removeUnstorableFile(const QString& folder) {
    ::unlink(unstorableFile(folder).constData());
}

} // namespace vadok::test
