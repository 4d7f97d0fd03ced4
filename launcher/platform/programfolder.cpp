#include "platform/programfolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QStandardPaths>

namespace vadok {

namespace {
QString g_programFolder;
}

QString withTrailingSlash(const QString& folder) {
    if (folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

QString programFolder() { return g_programFolder; }

void setProgramFolder(const QString& folder) { g_programFolder = withTrailingSlash(folder); }

QString machineCacheFile(const QString& name) {
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/vadok/");
    QDir().mkpath(folder);
    const QByteArray key =
        QCryptographicHash::hash(g_programFolder.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return folder + QString::fromLatin1(key) + u'-' + name;
}

} // namespace vadok
