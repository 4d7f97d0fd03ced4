#include "support/detachedprogram.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace vadok::test {

QByteArray waitForTrace(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 10000) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = f.readAll();
            if (bytes.endsWith("end\n"))
                return bytes;
        }
        QThread::msleep(20);
    }
    return {};
}

BarePath::BarePath() : m_old(qgetenv("PATH")) { qputenv("PATH", m_dir.path().toUtf8()); }

BarePath::~BarePath() { qputenv("PATH", m_old); }

} // namespace vadok::test
