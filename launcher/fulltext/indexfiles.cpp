#include "fulltext/indexfiles.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok {

namespace {

constexpr const char* kSuffixes[] = {"", "-wal", "-shm", "-journal"};

QByteArray nameOf(const QString& path, const char* suffix) {
    return QFile::encodeName(path + QLatin1String(suffix));
}

bool isSingleRegularFile(const struct stat& st) { return S_ISREG(st.st_mode) && st.st_nlink == 1; }

// Whether the file begins as every SQLite database does; read without following a link and
// without waiting on a FIFO.
bool hasSqliteHeader(const QByteArray& name) {
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    char header[16] = {};
    const ssize_t got = ::read(fd, header, sizeof header);
    ::close(fd);
    return got == sizeof header && std::memcmp(header, "SQLite format 3", 16) == 0;
}

} // namespace

IndexEntries inspectIndexEntries(const QString& path) {
    IndexEntries found = IndexEntries::Absent;
    for (const char* suffix : kSuffixes) {
        struct stat st {};
        if (::lstat(nameOf(path, suffix).constData(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            return IndexEntries::Folder;
        if (!isSingleRegularFile(st))
            found = IndexEntries::Foreign;
        else if (found == IndexEntries::Absent && *suffix == '\0')
            found = IndexEntries::Regular;
    }
    return found;
}

bool removeIndexEntries(const QString& path) {
    bool removed = true;
    for (const char* suffix : kSuffixes) {
        const QByteArray name = nameOf(path, suffix);
        struct stat st {};
        if (::lstat(name.constData(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode) || (::unlink(name.constData()) != 0 && errno != ENOENT))
            removed = false;
    }
    return removed;
}

void removeIndexBesideDataFile(const QString& dataFolder) {
    const QString path = dataFolder + QStringLiteral("/vadok.search.db");
    const QByteArray main = nameOf(path, "");
    struct stat st {};
    if (::lstat(main.constData(), &st) != 0 || !isSingleRegularFile(st) || !hasSqliteHeader(main))
        return;
    for (const char* suffix : kSuffixes) {
        const QByteArray name = nameOf(path, suffix);
        if (::lstat(name.constData(), &st) == 0 && isSingleRegularFile(st))
            ::unlink(name.constData());
    }
}

} // namespace vadok
