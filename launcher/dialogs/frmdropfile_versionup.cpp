// Version-up: the dropped archive or folder holds a newer version of an application that is
// already stored. The user picks that application; the new version is put into the work
// folder, the folder holding the application's program is found there, and its files replace
// the application's own. The editor shows the entry once more, and the application is stored
// again. Its old archive stays until the new one has been read back complete.
#include "dialogs/frmdropfile.h"

#include "apps/archivercalls.h"
#include "apps/droppeditem.h"
#include "apps/packapp.h"
#include "apps/registration.h"
#include "apps/versionup.h"
#include "catalog/apprecords.h"
#include "dialogs/frmtreepop.h"
#include "dialogs/registrationtarget.h"
#include "platform/prompter.h"
#include "util/folderutil.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>

namespace vadok {

void frmDropFile::offerCancelOnly() {
    m_verUp->setEnabled(false);
    m_new->setEnabled(false);
}

void frmDropFile::offerChoicesAgain(const QString& label) {
    m_verUp->setEnabled(versionUpPossible());
    m_new->setEnabled(true);
    m_label->setText(label);
}

void frmDropFile::cmdVerUp_Click() {
    offerCancelOnly();
    // A version-up that stops leaves the dialog as it found it, for another try or another
    // choice: cancel alone would leave the dropped item with nothing to do.
    bool ended = false;
    const auto offerAgain = qScopeGuard([&] {
        if (!ended)
            offerChoicesAgain(QStringLiteral("バージョンアップを中止しました。"));
    });
    if (m_target.catalogLoading()) {
        showMessage(QStringLiteral("データロード中です。しばらくお待ち下さい"), MsgIcon::Information);
        return;
    }
    if (const QString refusal = VersionUpRefusal(m_tag); !refusal.isEmpty()) {
        showMessage(refusal, MsgIcon::Exclamation);
        return;
    }
    RemoveWorkFolder();
    // However the version-up ends, its scratch copy of the new version goes with it.
    struct WorkFolderCleanup {
        ~WorkFolderCleanup() { RemoveWorkFolder(); }
    } cleanup;

    frmTreePop picker(this);
    // The picker's result tells a cancel from an application called "Cancel".
    if (picker.exec() != QDialog::Accepted) {
        ended = true;
        offerChoicesAgain(QStringLiteral("キャンセルされました"));
        return;
    }
    const QString name = picker.windowTitle();
    m_label->setText(name + QStringLiteral("と渡されたファイルを比較しています..."));
    QCoreApplication::processEvents();

    AppRecord record;
    if (!FindAppByName(name, record))
        return;
    // A shortcut entry runs a program installed elsewhere: new files put into the execution
    // folder would never be run, and the source would be offered for deletion all the same.
    if (record.ShortCut) {
        showMessage(u'[' + name + QStringLiteral("]はショートカットとして登録されているため、"
                                                  "バージョンアップできません。"),
                    MsgIcon::Exclamation);
        return;
    }
    PackApp app(record);
    // An expanded copy may hold changes its archive does not: it is the one brought up to
    // date. An archive that does not expand completely must not become the new version's base.
    quintptr owner = 0;
    if (app.isPack() && !app.UnPack(owner))
        return;
    if (!putNewVersionInWorkFolder())
        return;
    const VersionUpMatch match = FindVersionUpSource(name, app);
    if (match.source.isEmpty()) {
        showMessage(QStringLiteral("一致するexeファイルが見つかりませんでした。"), MsgIcon::Exclamation);
        return;
    }
    m_label->setText(QStringLiteral("一致しました。ファイルをコピーしています..."));
    QCoreApplication::processEvents();
    if (!MoveTopLevelFiles(match.source, match.target, WorkFolder(), app.expandedFolder())) {
        showMessage(QStringLiteral("ファイルの移動に失敗しました"));
        return;
    }

    if (m_target.EditUpdatedApp(app) == EditOutcome::Deleted) {
        ended = true;
        accept();
        return;
    }
    // Made anew beside the old archive, which it replaces only once read back complete: a
    // failed store leaves the old version stored and the new one expanded.
    if (!app.Pack(QString(), true))
        return;
    ended = true;
    RemoveWorkFolder();
    showMessage(u'[' + app.AppName() + QStringLiteral("]をバージョンアップしました。"));
    if (askBeforeDeleting(QStringLiteral("バージョンアップ元のファイル\r\n\r\n") + m_tag +
                              QStringLiteral("\r\n\r\nを削除してよろしいですか？"),
                          MsgIcon::None, MsgButtons::YesNo) == MsgAnswer::Yes) {
        if (QFileInfo(m_tag).isFile())
            QFile::remove(m_tag);
        else if (QFileInfo(m_tag).isDir())
            DeleteFolder(m_tag, this, false);
    }
    accept();
}

bool frmDropFile::putNewVersionInWorkFolder() {
    switch (GetDropKind(m_tag)) {
    case DropKind::Lzh:
        return ExtractDroppedLzh(m_tag) == 0;
    case DropKind::Zip:
        if (const int code = RunUnzip(UnzipCommand(m_tag, WorkFolder() + u'/')); code != 0) {
            ShowUnzipFailure(code, m_tag);
            return false;
        }
        return true;
    case DropKind::Folder:
        // As an expansion would write it there: on a stick, its links listed with the modes.
        return CopyIntoExecutionFolder(m_tag, WorkFolder()) != CopyOutcome::Failed;
    default:
        return false;
    }
}

} // namespace vadok
