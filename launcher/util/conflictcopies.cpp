#include "util/conflictcopies.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace vadok {

namespace {

// One expression per naming scheme: the original's stem in the first group, its extension
// (with the dot, may be missing) in the second. Syncthing puts the mark before the
// extension; the others add a bracketed remark after the stem.
const QList<QRegularExpression>& conflictNames() {
    static const QList<QRegularExpression> names{
        // Syncthing
        QRegularExpression(QStringLiteral(R"(^(.+)\.sync-conflict-[^./]+(\.[^./ ]+)?$)")),
        // Nextcloud and ownCloud
        QRegularExpression(QStringLiteral(R"(^(.+) \(conflicted copy[^)/]*\)(\.[^./ ]+)?$)")),
        // Dropbox: the remark names the machine first
        QRegularExpression(
            QStringLiteral(R"(^(.+) \([^)/]+ conflicted copy[^)/]*\)(\.[^./ ]+)?$)")),
    };
    return names;
}

QFileInfoList oldestFirst(QFileInfoList files) {
    std::stable_sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.lastModified() < b.lastModified();
    });
    return files;
}

QFileInfoList filesIn(const QString& folder) {
    return oldestFirst(QDir(folder).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name));
}

} // namespace

QString conflictCopyOriginal(const QString& fileName) {
    for (const QRegularExpression& name : conflictNames()) {
        const QRegularExpressionMatch match = name.match(fileName);
        if (match.hasMatch())
            return match.captured(1) + match.captured(2);
    }
    return QString();
}

QStringList conflictCopiesOf(const QString& path) {
    const QFileInfo original(path);
    QStringList copies;
    for (const QFileInfo& file : filesIn(original.absolutePath())) {
        if (conflictCopyOriginal(file.fileName()) == original.fileName())
            copies << file.absoluteFilePath();
    }
    return copies;
}

QList<ConflictCopy> conflictCopiesIn(const QString& folder, const QString& suffix) {
    QList<ConflictCopy> copies;
    for (const QFileInfo& file : filesIn(folder)) {
        const QString original = conflictCopyOriginal(file.fileName());
        if (!original.isEmpty() && original.endsWith(suffix, Qt::CaseInsensitive))
            copies.append({file.absoluteFilePath(), file.absoluteDir().filePath(original)});
    }
    return copies;
}

} // namespace vadok
