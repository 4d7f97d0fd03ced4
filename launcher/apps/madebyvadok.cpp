#include "apps/madebyvadok.h"

#include "platform/programfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace vadok {

namespace {

// One line of the list: "<device> <inode> <birth> <path>"; the path comes last, as it may
// hold spaces, and a path holding a line break is never marked. The birth time (in
// nanoseconds, 0 where the file system keeps none) tells a folder from a later one that
// was given the same inode number.
struct Mark {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 birth = 0;
    QByteArray path;

    bool operator==(const Mark&) const = default;
};

QString listFile() { return machineCacheFile(QStringLiteral("made-by-vadok")); }

// The folder's path as a mark names it: its parent resolved, itself not (a link in its place
// is not the folder).
QByteArray pathOf(const QString& folder) {
    const QFileInfo info(QDir::cleanPath(QDir(folder).absolutePath()));
    const QString parent = info.absoluteDir().canonicalPath();
    if (parent.isEmpty() || info.fileName().isEmpty())
        return {};
    return QFile::encodeName(parent + u'/' + info.fileName());
}

std::optional<Mark> markOf(const QString& folder) {
    const QByteArray path = pathOf(folder);
    struct statx st {};
    if (path.isEmpty() || path.contains('\n') ||
        ::statx(AT_FDCWD, path.constData(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO | STATX_BTIME,
                &st) != 0 ||
        !S_ISDIR(st.stx_mode))
        return std::nullopt;
    const qint64 birth = (st.stx_mask & STATX_BTIME)
                             ? qint64(st.stx_btime.tv_sec) * 1000000000 + st.stx_btime.tv_nsec
                             : 0;
    return Mark{makedev(st.stx_dev_major, st.stx_dev_minor), quint64(st.stx_ino), birth, path};
}

QList<Mark> readMarks() {
    QList<Mark> marks;
    QFile file(listFile());
    if (!file.open(QIODevice::ReadOnly))
        return marks;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 4)
            continue;
        bool deviceOk = false, inodeOk = false, birthOk = false;
        Mark mark{fields[0].toULongLong(&deviceOk), fields[1].toULongLong(&inodeOk),
                  fields[2].toLongLong(&birthOk),
                  line.mid(fields[0].size() + fields[1].size() + fields[2].size() + 3)};
        if (deviceOk && inodeOk && birthOk && mark.path.startsWith('/'))
            marks.append(mark);
    }
    return marks;
}

// Writes the marks whose folders are still there as they were marked: a mark of a folder
// gone is of no use, and one left behind could come to name another folder.
bool writeMarks(const QList<Mark>& marks) {
    QByteArray text;
    for (const Mark& mark : marks) {
        const std::optional<Mark> now = markOf(QFile::decodeName(mark.path));
        if (now && *now == mark)
            text += QByteArray::number(mark.device) + ' ' + QByteArray::number(mark.inode) + ' ' +
                    QByteArray::number(mark.birth) + ' ' + mark.path + '\n';
    }
    QSaveFile file(listFile());
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}

void removeMarkAt(QList<Mark>& marks, const QByteArray& path) {
    marks.removeIf([&path](const Mark& mark) { return mark.path == path; });
}

} // namespace

bool MarkMadeByVadok(const QString& folder) {
    const std::optional<Mark> mark = markOf(folder);
    if (!mark)
        return false;
    QList<Mark> marks = readMarks();
    removeMarkAt(marks, mark->path);
    marks.append(*mark);
    return writeMarks(marks);
}

void CarryMadeByVadok(const QString& from, const QString& to) {
    const QByteArray old = pathOf(from);
    QList<Mark> marks = readMarks();
    const auto marked = std::find_if(marks.begin(), marks.end(),
                                     [&old](const Mark& mark) { return mark.path == old; });
    if (marked == marks.end())
        return;
    const Mark was = *marked;
    removeMarkAt(marks, old);
    // A rename keeps the folder's identity; anything else now there is not vadok's.
    const std::optional<Mark> renamed = markOf(to);
    if (renamed && renamed->device == was.device && renamed->inode == was.inode &&
        renamed->birth == was.birth) {
        removeMarkAt(marks, renamed->path);
        marks.append(*renamed);
    }
    writeMarks(marks);
}

void ForgetMadeByVadok(const QString& folder) {
    const QByteArray path = pathOf(folder);
    QList<Mark> marks = readMarks();
    const qsizetype before = marks.size();
    removeMarkAt(marks, path);
    if (marks.size() != before)
        writeMarks(marks);
}

bool IsMadeByVadok(const QString& folder) {
    const std::optional<Mark> mark = markOf(folder);
    if (!mark)
        return false;
    const QList<Mark> marks = readMarks();
    return marks.contains(*mark);
}

} // namespace vadok
