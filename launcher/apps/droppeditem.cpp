#include "apps/droppeditem.h"

#include "platform/filekind.h"
#include "util/textutil.h"

#include <QFileInfo>

namespace vadok {

DropKind GetDropKind(const QString& path) {
    if (isNormalFile(path)) {
        const QString upper = path.toUpper();
        if (upper.endsWith(QStringLiteral(".LZH")))
            return DropKind::Lzh;
        if (upper.endsWith(QStringLiteral(".ZIP")))
            return DropKind::Zip;
        if (upper.endsWith(QStringLiteral(".EXE")))
            return DropKind::Exe;
        if (upper.endsWith(QStringLiteral(".LNK")) || upper.endsWith(QStringLiteral(".DESKTOP")))
            return DropKind::Lnk;
        // Programs of this platform carry no ending of their own.
        if (QFileInfo(path).isExecutable())
            return DropKind::Exe;
        return DropKind::Single;
    }
    if (IsExistingFolder(path))
        return DropKind::Folder;
    return DropKind::Err;
}

QString getFileNameFromFullPath(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

QString getBaseDirFromFullPath(const QString& path) {
    return path.left(path.lastIndexOf(u'/') + 1);
}

bool IsInstallerShortcutTarget(const QString& target) {
    // Targets read from shortcut files come with "/" for "\".
    auto windowsForm = [](const QString& path) { return path.toUpper().replace(u'/', u'\\'); };
    const QString installer =
        windowsForm(qEnvironmentVariable("SystemRoot")) + QStringLiteral("\\INSTALLER\\{");
    return windowsForm(target).contains(installer);
}

} // namespace vadok
