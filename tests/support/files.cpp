#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace vadok::test {

QStringList filesBesideArchives(const QString& folder) {
    QStringList files;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        if (!(name.startsWith(u'.') && name.endsWith(QStringLiteral(".lock"))))
            files.append(name);
    }
    return files;
}

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

QByteArray noise(int size, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

void flipMiddleByte(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite)) << path.toStdString();
    const qint64 middle = f.size() / 2;
    ASSERT_TRUE(f.seek(middle));
    char c = 0;
    ASSERT_TRUE(f.getChar(&c));
    ASSERT_TRUE(f.seek(middle));
    ASSERT_TRUE(f.putChar(char(~c)));
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

void setModified(const QString& path, const QDateTime& when) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
}

} // namespace vadok::test
