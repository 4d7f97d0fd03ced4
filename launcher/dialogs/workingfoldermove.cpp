#include "dialogs/workingfoldermove.h"

#include "platform/prompter.h"
#include "util/foldermove.h"
#include "util/folderutil.h"
#include "util/statustext.h"

#include <QDir>
#include <QFileInfo>

namespace vadok {

FolderChange MoveWorkingFolder(const QString& newPath, QString& folder, const QString& what) {
    if (newPath == folder)
        return FolderChange::Unchanged;
    if (!QDir::isAbsolutePath(newPath) || !QFileInfo(newPath).isDir())
        return FolderChange::Missing;
    if (IsSameFolder(newPath, folder)) {
        // Another spelling of the folder in use: moving it into itself would lose it.
        folder = newPath;
        return FolderChange::Unchanged;
    }
    const FolderMoveResult moved =
        CopyFolderContentsVerified(folder, newPath, [&](int done, int total, const QString& name) {
            SetStatusText(QStringLiteral("%1を移動しています... (%2/%3) %4")
                              .arg(what)
                              .arg(done + 1)
                              .arg(total)
                              .arg(name),
                          1);
        });
    SetStatusText(QString(), 1);
    if (!moved.ok) {
        showMessage(what + QStringLiteral("の移動に失敗しました。\r\n") + moved.failedPath +
                        QStringLiteral("\r\n") + moved.reason +
                        QStringLiteral("\r\n\r\n元のフォルダ ") + folder +
                        QStringLiteral(" をそのまま使います。"),
                    MsgIcon::Exclamation);
        return FolderChange::Failed;
    }
    if (QFileInfo(folder).isDir())
        DeleteFolder(folder, nullptr, false);
    folder = newPath;
    if (!moved.renamed.isEmpty()) {
        QString list;
        for (const auto& [from, to] : moved.renamed)
            list += QStringLiteral("\r\n") + from + QStringLiteral(" → ") + to;
        showMessage(newPath + QStringLiteral(" に同じ名前のものがあったため、名前を変えて移動しました。") +
                        list,
                    MsgIcon::Information);
    }
    return FolderChange::Moved;
}

} // namespace vadok
