#include "shell/filecase.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace vadok {

bool isNormalFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && !info.isHidden();
}

QString resolveFileCase(const QString& path) {
    if (path.isEmpty() || QFileInfo::exists(path) || !QDir::isAbsolutePath(path))
        return path;
    QString resolved = QStringLiteral("/");
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        const QString exact = resolved + part;
        if (QFileInfo::exists(exact)) {
            resolved = exact + u'/';
            continue;
        }
        const QStringList entries =
            QDir(resolved).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        const auto match = std::find_if(entries.begin(), entries.end(), [&](const QString& e) {
            return e.compare(part, Qt::CaseInsensitive) == 0;
        });
        if (match == entries.end())
            return path;
        resolved += *match + u'/';
    }
    resolved.chop(1);
    return resolved;
}

} // namespace vadok
