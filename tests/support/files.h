#pragma once

#include <QByteArray>
#include <QString>

namespace vadok::test {

// Writes bytes to path, creating its folders; executable adds the owner's execute bit.
void writeFile(const QString& path, const QByteArray& bytes, bool executable = false);
// The whole file; empty when it cannot be read.
QByteArray readFile(const QString& path);

} // namespace vadok::test
