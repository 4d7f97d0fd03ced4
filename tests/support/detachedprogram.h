#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace vadok::test {

// A FIFO at path for a test program's trace: the program's write waits until the test reads,
// and the test wakes when the program has written it all and closed it, with no clock
// between them. False when it could not be made.
bool makeTraceFifo(const QString& path);
// The next trace written into the FIFO at path, from the writer's opening to its closing;
// empty when no writer came within boundMs, a bound that only a failing test reaches.
QByteArray readTraceFifo(const QString& path, int boundMs = 60000);

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
