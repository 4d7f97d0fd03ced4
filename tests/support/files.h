#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace vadok::test {

// Writes bytes to path, creating its folders; executable adds the owner's execute bit.
void writeFile(const QString& path, const QByteArray& bytes, bool executable = false);
// Sets the file's modification time, as a sync engine keeps it across machines.
void setModified(const QString& path, const QDateTime& when);
// The whole file; empty when it cannot be read.
QByteArray readFile(const QString& path);
// Bytes that no compressor shrinks, the same for the same seed.
QByteArray noise(int size, quint32 seed);
// The files of an archive folder, hidden ones too, less the archiver's lock files
// (".<archive>.lock"), which stay beside the archives as lock files must.
QStringList filesBesideArchives(const QString& folder);
// Inverts the byte in the middle of the file: in an archive of one large member, its data.
void flipMiddleByte(const QString& path);
// Puts an empty file into folder whose name holds the byte 0xFF, which the archiver refuses
// to store (LZH's folder separator): a store of that folder fails before it changes the
// archive. Qt cannot spell such a name, so the file is made through the system.
void writeUnstorableFile(const QString& folder);
// Removes it again: Qt cannot spell its name, so a temporary folder holding it stays behind.
void removeUnstorableFile(const QString& folder);

} // namespace vadok::test
