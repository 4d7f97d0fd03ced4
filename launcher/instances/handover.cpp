#include "instances/handover.h"

#include "platform/programfolder.h"
#include "platform/prompter.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok {

namespace {

const QString kFileName = QStringLiteral("messagepass.txt");

// A lock the other instance holds is this platform's sharing violation; the only error the
// protocol retries.
enum class Outcome { Done, Held, Failed };

struct Result {
    Outcome outcome;
    QString error;
};

QString handOverPath() { return programFolder() + kFileName; }

QString describe(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

// Holds an exclusive advisory lock on the hand-over file, reopening when the file it opened was
// deleted or replaced before the lock was granted (otherwise a line could be appended to a
// file the reader had already unlinked).
class LockedFile {
public:
    ~LockedFile() {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    Result open(const QByteArray& path, int flags) {
        for (int attempt = 0; attempt < 20; ++attempt) {
            m_fd = ::open(path.constData(), flags | O_CLOEXEC, 0644);
            if (m_fd < 0)
                return {Outcome::Failed, describe(errno)};
            if (!lockBriefly()) {
                ::close(m_fd);
                m_fd = -1;
                return {Outcome::Held, QString()};
            }
            struct stat opened {}, named {};
            if (::fstat(m_fd, &opened) == 0 && ::stat(path.constData(), &named) == 0 &&
                opened.st_ino == named.st_ino && opened.st_dev == named.st_dev)
                return {Outcome::Done, QString()};
            ::close(m_fd);
            m_fd = -1;
            if (!(flags & O_CREAT))
                return {Outcome::Failed, describe(ENOENT)};
        }
        return {Outcome::Held, QString()};
    }
    int fd() const { return m_fd; }

private:
    // The other side holds the lock only for one append or one read; a short wait rides it out.
    bool lockBriefly() {
        for (int i = 0; i < 10; ++i) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
                return true;
            if (errno != EWOULDBLOCK && errno != EINTR)
                return false;
            QThread::msleep(5);
        }
        return false;
    }
    int m_fd = -1;
};

void processEvents() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        QCoreApplication::processEvents();
}

Result appendLine(const QString& text) {
    LockedFile file;
    Result opened = file.open(QFile::encodeName(handOverPath()), O_WRONLY | O_APPEND | O_CREAT);
    if (opened.outcome != Outcome::Done)
        return opened;
    const QByteArray line = text.toUtf8() + "\r\n";
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(file.fd(), line.constData() + written, line.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return {Outcome::Failed, describe(errno)};
        }
        written += n;
    }
    return {Outcome::Done, QString()};
}

Result readAndAct(HandOverTarget& target) {
    const QByteArray path = QFile::encodeName(handOverPath());
    if (!QFileInfo::exists(handOverPath()))
        return {Outcome::Done, QString()};
    QStringList items;
    {
        LockedFile file;
        Result opened = file.open(path, O_RDONLY);
        if (opened.outcome != Outcome::Done)
            return opened;
        QByteArray bytes;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(file.fd(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return {Outcome::Failed, describe(errno)};
            if (n == 0)
                break;
            bytes.append(buffer, n);
        }
        items = SplitHandOverItems(QString::fromUtf8(bytes));
        // Deleted while still locked, so no writer can append to it unseen.
        if (::unlink(path.constData()) != 0)
            return {Outcome::Failed, describe(errno)};
    }
    for (const QString& item : items) {
        if (item == kRestoreRequest)
            target.restoreFromTray();
        else if (!QFileInfo::exists(item))
            target.execAppByName(item);
        else
            target.showDropDialog(item);
    }
    return {Outcome::Done, QString()};
}

} // namespace

QStringList SplitHandOverItems(const QString& text) {
    QStringList items;
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto atLineEnd = [&](qsizetype at) { return at >= n || text[at] == u'\r' || text[at] == u'\n'; };
    auto skipLineEnd = [&] {
        if (i < n && text[i] == u'\r')
            ++i;
        if (i < n && text[i] == u'\n')
            ++i;
    };
    while (i < n) {
        while (i < n && text[i] == u' ')
            ++i;
        QString item;
        if (i < n && text[i] == u'"') {
            const qsizetype close = text.indexOf(u'"', i + 1);
            const qsizetype end = close < 0 ? n : close;
            item = text.mid(i + 1, end - i - 1);
            i = close < 0 ? n : close + 1;
            // Whatever stands between the closing quote and the next separator is dropped.
            while (!atLineEnd(i) && text[i] != u',')
                ++i;
        } else {
            const qsizetype start = i;
            while (!atLineEnd(i) && text[i] != u',')
                ++i;
            item = text.mid(start, i - start);
        }
        if (i < n && text[i] == u',')
            ++i;
        else
            skipLineEnd();
        items.append(item);
    }
    return items;
}

bool PostHandOverRequest(const QString& text) {
    processEvents();
    Result result = appendLine(text);
    if (result.outcome == Outcome::Held) {
        QThread::msleep(50);
        processEvents();
        processEvents();
        result = appendLine(text);
        if (result.outcome == Outcome::Held)
            result.error = QStringLiteral("他のプロセスがファイルを使用中です");
    }
    if (result.outcome == Outcome::Done)
        return true;
    showMessage(QStringLiteral("MessagePass(W)エラー\r\n") + result.error);
    return false;
}

void ProcessHandOverRequests(HandOverTarget& target) {
    Result result = readAndAct(target);
    if (result.outcome == Outcome::Held) {
        QThread::msleep(50);
        processEvents();
        result = readAndAct(target);
        if (result.outcome == Outcome::Held)
            result.error = QStringLiteral("他のプロセスがファイルを使用中です");
    }
    if (result.outcome != Outcome::Done)
        showMessage(QStringLiteral("MessagePass(R)エラー\r\n") + result.error);
}

} // namespace vadok
