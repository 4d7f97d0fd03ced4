#pragma once

#include <QByteArray>
#include <QString>

namespace vadok {

struct LnkTarget {
    QString path;  // the local target path, "\" turned into "/"
    QString error; // why the file was refused; empty on success
    bool ok() const { return error.isEmpty(); }
};

// Reads the local target path of a Windows shell link (.lnk) from its bytes.
LnkTarget ReadLnkTarget(const QByteArray& bytes);

} // namespace vadok
