#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace vadok::test {

// The contents of path once it ends in "end\n": the trace a detached test program leaves
// when it is done. Empty when none appears within ten seconds.
QByteArray waitForTrace(const QString& path);

// PATH narrowed to an empty folder for the object's lifetime: no wine, no desktop opener.
class BarePath {
public:
    BarePath();
    ~BarePath();

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
};

} // namespace vadok::test
