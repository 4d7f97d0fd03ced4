// Storing an expanded application into its archive and expanding it again.
#include "apps/archivercalls.h"
#include "apps/madebyvadok.h"
#include "apps/packapp.h"

#include "catalog/settings.h"
#include "platform/folderusers.h"
#include "platform/keystate.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"
#include "util/folderutil.h"
#include "util/mainwindowlink.h"
#include "util/statustext.h"

#include <QFile>
#include <QFileInfo>

namespace vadok {

namespace {

// Whether the store may go on while users work in folder; outcome is what the store ends
// in when it may not.
bool mayStoreUnder(const QString& appName, const QList<FolderUser>& users, WhenInUse whenInUse,
                   StoreOutcome& outcome) {
    const QString title = appName + QStringLiteral("の格納");
    const QString running = u'[' + appName + QStringLiteral("] のプログラムがまだ実行中です。\r\n\r\n") +
                            FolderUserLines(users);
    switch (whenInUse) {
    case WhenInUse::Skip:
        outcome = StoreOutcome::InUse;
        return false;
    case WhenInUse::Tell:
        showMessage(running + QStringLiteral("\r\n\r\n展開フォルダを削除すると、プログラムがこれから書き込む内容"
                                             "(設定や保存データなど)が失われるため、格納しませんでした。"
                                             "\r\nプログラムを終了してから格納してください。"),
                    MsgIcon::Exclamation, MsgButtons::Ok, title);
        outcome = StoreOutcome::InUse;
        return false;
    case WhenInUse::AskOrWait:
        break;
    }
    switch (showMessage(running + QStringLiteral("\r\n\r\n今格納すると展開フォルダが削除され、プログラムがこれから"
                                                 "書き込む内容(設定や保存データなど)は失われます。"
                                                 "\r\nプログラムが終わるのを待ってから格納しますか?"
                                                 "\r\n(はい: 終わるのを待って格納する　いいえ: すぐに格納する"
                                                 "　キャンセル: 格納しない)"),
                        MsgIcon::Exclamation, MsgButtons::YesNoCancel, title)) {
    case MsgAnswer::No:
        return true;
    case MsgAnswer::Yes:
        outcome = StoreOutcome::Wait;
        return false;
    default:
        outcome = StoreOutcome::Cancelled;
        return false;
    }
}

} // namespace

bool PackApp::Pack(const QString& sourceFolder, bool rebuild) {
    return Store(sourceFolder, rebuild, WhenInUse::Tell) == StoreOutcome::Stored;
}

StoreOutcome PackApp::Store(const QString& sourceFolder, bool rebuild, WhenInUse whenInUse,
                            QStringList* users) {
    if (ShortCut())
        return StoreOutcome::Stored;
    if (isPack())
        return StoreOutcome::Stored;
    const QString source = sourceFolder.isEmpty() ? expandedFolder() : withTrailingSlash(sourceFolder);
    const QString archive = archivePath();

    // Asked before anything is stored: what such a program writes meanwhile would make the
    // archive a mixture of two moments.
    if (const QList<FolderUser> running = ProcessesUsingFolder(source); !running.isEmpty()) {
        if (users) {
            for (const FolderUser& user : running)
                users->append(user.program);
        }
        StoreOutcome outcome = StoreOutcome::InUse;
        if (!mayStoreUnder(AppName(), running, whenInUse, outcome))
            return outcome;
    }

    if (rebuild || isKeyDown(settings().PackKey)) {
        rebuild = true;
        SetStatusText(QStringLiteral("圧縮ファイルを再作成しました"), 1);
    }
    // A rebuild leaves out what the folder no longer holds. It goes into a fresh archive
    // beside the old one, which stays until the new one is known to be complete: deleting it
    // first would leave nothing if the store then failed.
    // The folder may be the only complete copy of the application: it goes only once the
    // archive has been read back and found to hold all of it.
    QStringList leftOut;
    const int code = StoreVerified(rebuild ? rebuildArchivePath() : archive, archive, source, &leftOut);
    if (code != 0) {
        ShowStoreFailure(code, AppName());
        return StoreOutcome::Failed;
    }
    // They go with the folder: the user hears of them before they are gone from sight.
    if (!leftOut.isEmpty() && whenInUse != WhenInUse::Skip)
        showMessage(u'[' + AppName() + QStringLiteral("] の次のものは圧縮ファイルに入れられないため、"
                                                      "格納されていません。\r\n\r\n") +
                        leftOut.join(QStringLiteral("\r\n")),
                    MsgIcon::Information, MsgButtons::Ok, AppName() + QStringLiteral("の格納"));

    if (!DeleteFolder(source, nullptr, true)) {
        showMessage(QStringLiteral("展開フォルダを削除できませんでした。\r\n\r\n"
                                   "ほかの人またはプログラムによって使用されています。"),
                    MsgIcon::Exclamation, MsgButtons::Ok, AppName() + QStringLiteral("の格納"));
        return StoreOutcome::Failed;
    }
    ForgetMadeByVadok(source);
    return StoreOutcome::Stored;
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
    if (code != 0) {
        ShowExpandFailure(code, archivePath());
        return false;
    }
    // The exit's sweep may delete this folder once no application claims it; nothing else
    // in the execution folder.
    MarkMadeByVadok(expandedFolder());
    return true;
}

} // namespace vadok
