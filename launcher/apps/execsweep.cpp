#include "apps/execsweep.h"

#include "platform/programfolder.h"
#include "util/folderutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vadok {

namespace {

QString canonical(const QString& path) {
    if (path.isEmpty())
        return QString();
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

QString sweepRefusalReason(const QString& execFolder, const ProtectedFolders& folders) {
    const QString exec = canonical(execFolder);
    if (exec.isEmpty())
        return QString(); // nothing there to sweep
    if (exec == u"/")
        return QStringLiteral("ファイルシステムのルートです");
    const std::pair<QString, QString> guarded[] = {
        {folders.programFolder, QStringLiteral("プログラムフォルダ")},
        {folders.homeFolder, QStringLiteral("ホームフォルダ")},
        {folders.packFolder, QStringLiteral("格納フォルダ")},
        {folders.iconFolder, QStringLiteral("アイコンフォルダ")},
    };
    for (const auto& [folder, label] : guarded) {
        if (IsSameOrInside(folder, exec))
            return label + QStringLiteral("を含んでいます");
    }
    return QString();
}

QStringList execFolderEntries(const QString& execFolder) {
    return QDir(execFolder)
        .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

bool isLinkEntry(const QString& execFolder, const QString& name) {
    return QFileInfo(withTrailingSlash(execFolder) + name).isSymLink();
}

bool deleteExecEntry(const QString& execFolder, const QString& name) {
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/'))
        return false;
    const QString path = withTrailingSlash(execFolder) + name;
    // Unlinking removes the link and leaves its target alone; removing the folder tree does
    // not follow the links inside it either.
    if (QFileInfo(path).isSymLink())
        return QFile::remove(path);
    return DeleteFolder(path, nullptr, true);
}

} // namespace vadok
