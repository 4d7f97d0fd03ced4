#include "platform/programfolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QStandardPaths>

namespace vadok {

namespace {
QString g_programFolder;
QString g_binaryFolder;
} // namespace

QString withTrailingSlash(const QString& folder) {
    if (folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

QString programFolder() { return g_programFolder; }

void setProgramFolder(const QString& folder) { g_programFolder = withTrailingSlash(folder); }

QString binaryFolder() { return g_binaryFolder.isEmpty() ? g_programFolder : g_binaryFolder; }

void setBinaryFolder(const QString& folder) {
    g_binaryFolder = folder.isEmpty() ? QString() : withTrailingSlash(folder);
}

bool isInstalledBinaryFolder(const QString& binaryFolder) {
    return QDir::cleanPath(binaryFolder).startsWith(QStringLiteral("/usr/"));
}

QString dataFolderFor(const QString& binaryFolder, const QString& xdgDataHome, const QString& home) {
    if (!isInstalledBinaryFolder(binaryFolder))
        return withTrailingSlash(binaryFolder);
    const QString base = QDir::isAbsolutePath(xdgDataHome)
                             ? xdgDataHome
                             : withTrailingSlash(home) + QStringLiteral(".local/share");
    return withTrailingSlash(QDir::cleanPath(base + QStringLiteral("/vadok")));
}

QString helpFolder() {
    const QString binary = binaryFolder();
    if (isInstalledBinaryFolder(binary))
        return QDir::cleanPath(binary + QStringLiteral("../share/vadok/help")) + u'/';
    return binary + QStringLiteral("help/");
}

namespace {

// name in location's "vadok/" folder, prefixed with a key of the program folder's path.
QString machineFile(QStandardPaths::StandardLocation location, const QString& name) {
    const QString folder = QStandardPaths::writableLocation(location) + QStringLiteral("/vadok/");
    QDir().mkpath(folder);
    const QByteArray key =
        QCryptographicHash::hash(g_programFolder.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return folder + QString::fromLatin1(key) + u'-' + name;
}

} // namespace

QString machineCacheFile(const QString& name) {
    return machineFile(QStandardPaths::GenericCacheLocation, name);
}

QString machineConfigFile(const QString& name) {
    return machineFile(QStandardPaths::GenericConfigLocation, name);
}

} // namespace vadok
