// Storing an expanded application into its archive and expanding it again.
#include "apps/archivercalls.h"
#include "apps/packapp.h"

#include "catalog/settings.h"
#include "platform/keystate.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"
#include "util/folderutil.h"
#include "util/mainwindowlink.h"
#include "util/statustext.h"

#include <QFile>
#include <QFileInfo>

namespace vadok {

bool PackApp::Pack(const QString& sourceFolder, bool rebuild) {
    if (ShortCut())
        return true;
    if (isPack())
        return true;
    const QString source = sourceFolder.isEmpty() ? expandedFolder() : withTrailingSlash(sourceFolder);
    const QString archive = archivePath();

    if (rebuild || isKeyDown(settings().PackKey)) {
        rebuild = true;
        SetStatusText(QStringLiteral("圧縮ファイルを再作成しました"), 1);
    }
    // A rebuild leaves out what the folder no longer holds. It goes into a fresh archive
    // beside the old one, which stays until the new one is known to be complete: deleting it
    // first would leave nothing if the store then failed.
    // The folder may be the only complete copy of the application: it goes only once the
    // archive has been read back and found to hold all of it.
    const int code = StoreVerified(rebuild ? rebuildArchivePath() : archive, archive, source);
    if (code != 0) {
        ShowStoreFailure(code, AppName());
        return false;
    }

    if (!DeleteFolder(source, nullptr, true)) {
        showMessage(QStringLiteral("展開フォルダを削除できませんでした。\r\n\r\n"
                                   "ほかの人またはプログラムによって使用されています。"),
                    MsgIcon::Exclamation, MsgButtons::Ok, AppName() + QStringLiteral("の格納"));
        return false;
    }
    return true;
}

QString PackApp::rebuildArchivePath() const {
    return settings().PackDir + u'.' + AppName() + QStringLiteral(".lzh.rebuild");
}

bool PackApp::UnPack(quintptr& ownerWindow) {
    if (ShortCut())
        return true;
    if (ownerWindow == 0 && mainWindowLink())
        ownerWindow = mainWindowLink()->windowId();
    const bool quiet = settings().Config.LhaDialog == 1;
    // A failed expansion leaves no folder behind (the archiver expands beside it), so the
    // application stays stored and nothing can store a part of it over its archive.
    const int code = RunUnlha(ExpandCommand(archivePath(), expandedFolder(), quiet));
    if (code != 0)
        ShowExpandFailure(code, archivePath());
    return code == 0;
}

} // namespace vadok
