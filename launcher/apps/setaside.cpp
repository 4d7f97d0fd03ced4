#include "apps/setaside.h"

#include "platform/programfolder.h"

#include <QDir>
#include <QFileInfo>

namespace vadok {

namespace {

const QString kSuffix = QStringLiteral(".re-expanding");

} // namespace

QString reExpansionAside(const QString& execFolder, const QString& name) {
    return withTrailingSlash(execFolder) + QLatin1Char('.') + name + kSuffix;
}

PutBack putBackSetAsideFolders(const QString& execFolder) {
    PutBack result;
    const QDir folder(execFolder);
    const QStringList hidden = folder.entryList(
        {QStringLiteral(".*") + kSuffix}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : hidden) {
        const QString name = entry.mid(1, entry.size() - 1 - kSuffix.size());
        if (name.isEmpty() || name == u"." || name == u"..")
            continue;
        const QFileInfo aside(folder.filePath(entry));
        if (aside.isSymLink())
            continue;
        const QString own = folder.filePath(name);
        if (QFileInfo::exists(own) || QFileInfo(own).isSymLink()) {
            result.keptBeside << name;
            continue;
        }
        if (QDir().rename(aside.filePath(), own))
            result.restored << name;
        else
            result.keptBeside << name;
    }
    return result;
}

} // namespace vadok
