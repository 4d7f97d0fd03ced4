#include "support/detachedprogram.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok::test {

bool makeTraceFifo(const QString& path) {
    QFile::remove(path);
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

QByteArray readTraceFifo(const QString& path, int boundMs) {
    // Opened without waiting, so that no writer yet is not a hang; poll() reports the end
    // (POLLHUP) only once a writer has come and gone.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray trace;
    QDeadlineTimer bound(boundMs);
    bool ended = false;
    while (!ended) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(bound.remainingTime())) <= 0)
            break;
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0)
            trace.append(buffer, got);
        else if (got == 0 && (p.revents & POLLHUP))
            ended = true;
        else if (got < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    ::close(fd);
    return ended ? trace : QByteArray();
}

BarePath::BarePath() : m_old(qgetenv("PATH")) { qputenv("PATH", m_dir.path().toUtf8()); }

BarePath::~BarePath() { qputenv("PATH", m_old); }

} // namespace vadok::test
