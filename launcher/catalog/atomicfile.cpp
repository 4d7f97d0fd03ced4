#include "catalog/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok {

namespace {

// "/folder/.name." : what every temporary of path starts with.
QString temporaryPrefix(const QString& path) {
    const QFileInfo info(path);
    return info.absolutePath() + QStringLiteral("/.") + info.fileName() + u'.';
}

bool processRuns(qint64 pid) {
    // EPERM: it runs under another user; only ESRCH says it is gone.
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno != ESRCH);
}

// The leftover temporaries of writers that no longer run.
QStringList deadTemporariesBeside(const QString& path) {
    const QFileInfo info(path);
    const QRegularExpression pattern(QStringLiteral("^\\.") +
                                     QRegularExpression::escape(info.fileName()) +
                                     QStringLiteral("\\.([0-9]+)\\.[A-Za-z0-9]{6}$"));
    QStringList dead;
    const QDir folder(info.absolutePath());
    const QStringList names =
        folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (match.hasMatch() && !processRuns(match.captured(1).toLongLong()))
            dead.append(folder.filePath(name));
    }
    return dead;
}

// Writes all of bytes to fd and waits until they reach the disk; 0, or the errno of the
// failure.
int writeAllAndSync(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        left -= written;
    }
    return ::fsync(fd) == 0 ? 0 : errno;
}

// The mode a new file at a path gets: the old file's, or the usual one for a new file.
mode_t modeFor(const struct stat* existing) {
    if (existing)
        return existing->st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The rename itself reaches the disk with the folder's entry; a failure here only weakens
// crash safety, the file is already complete.
void syncFolderOf(const QString& path) {
    const int dirFd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                             O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

} // namespace

bool writeFileAtomically(const QString& requestedPath, const QByteArray& bytes, QString* error,
                         FileIdentity* written) {
    // A data file kept elsewhere through a symbolic link is replaced where it lives, and the
    // link stays.
    const QFileInfo requested(requestedPath);
    const QString path = requested.isSymLink() ? requested.symLinkTarget() : requestedPath;
    // Written by hand rather than with QSaveFile: on this Qt a short write (a full disk, a
    // file-size limit) still commits, leaving a truncated file in place of the old one.
    auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("%1 を保存できません: %2").arg(path, why);
        return false;
    };
    const QByteArray target = QFile::encodeName(path);
    struct stat existing {};
    const bool exists = ::stat(target.constData(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return fail(QStringLiteral("通常のファイルではありません"));

    for (const QString& leftover : deadTemporariesBeside(path))
        QFile::remove(leftover);
    QByteArray temp = QFile::encodeName(temporaryPrefix(path)) +
                      QByteArray::number(qint64(::getpid())) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail(qt_error_string(errno));
    auto abandon = [&](int savedErrno) {
        ::close(fd);
        ::unlink(temp.constData());
        return fail(qt_error_string(savedErrno));
    };
    // mkstemp makes the file private.
    if (::fchmod(fd, modeFor(exists ? &existing : nullptr)) != 0)
        return abandon(errno);
    if (const int failure = writeAllAndSync(fd, bytes))
        return abandon(failure);
    // A rename keeps the inode and the modification time: this is the identity the data file
    // will have.
    struct stat status {};
    if (written && ::fstat(fd, &status) != 0)
        return abandon(errno);
    if (::close(fd) != 0) {
        const int savedErrno = errno;
        ::unlink(temp.constData());
        return fail(qt_error_string(savedErrno));
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int savedErrno = errno;
        ::unlink(temp.constData());
        return fail(qt_error_string(savedErrno));
    }
    if (written)
        *written = fileIdentity(status);
    syncFolderOf(path);
    return true;
}

} // namespace vadok
