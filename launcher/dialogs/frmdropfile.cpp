#include "dialogs/frmdropfile.h"

#include "apps/archivercalls.h"
#include "apps/droppeditem.h"
#include "apps/packapp.h"
#include "apps/registration.h"
#include "apps/versionup.h"
#include "catalog/settings.h"
#include "dialogs/registrationtarget.h"
#include "platform/prompter.h"
#include "util/folderutil.h"
#include "util/shortcut.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace vadok {

namespace {

QLabel* wrapped(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

frmDropFile::frmDropFile(RegistrationTarget& target, QWidget* parent)
    : QDialog(parent), m_target(target) {
    setObjectName(QStringLiteral("frmDropFile"));
    setWindowTitle(QStringLiteral("圧縮ファイルがドロップされました"));

    auto* grid = new QGridLayout(this);
    m_fileName = new QLabel(this);
    m_fileName->setObjectName(QStringLiteral("lblFileName"));
    m_fileName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_label = wrapped(QStringLiteral("このアプリケーションは新規に格納するアプリケーションですか？"), this);
    m_label->setObjectName(QStringLiteral("Label"));
    grid->addWidget(m_fileName, 0, 0, 1, 2);
    grid->addWidget(m_label, 1, 0, 1, 2);

    m_new = new QPushButton(QStringLiteral("新規登録(&N)"), this);
    m_new->setObjectName(QStringLiteral("cmdNew"));
    m_verUp = new QPushButton(QStringLiteral("バージョンアップ(&V)"), this);
    m_verUp->setObjectName(QStringLiteral("cmdVerUp"));
    m_link = new QPushButton(QStringLiteral("ショートカット登録(&S)"), this);
    m_link->setObjectName(QStringLiteral("cmdLink"));
    m_link->setEnabled(false);
    auto* cancel = new QPushButton(QStringLiteral("キャンセル(&C)"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));

    grid->addWidget(m_new, 2, 0);
    grid->addWidget(wrapped(QStringLiteral("このアプリケーションを新規にVadokに格納するとき。"), this), 2, 1);
    grid->addWidget(m_verUp, 3, 0);
    grid->addWidget(
        wrapped(QStringLiteral("このアプリケーションの古いバージョンがすでにVadokに格納されているとき。"), this),
        3, 1);
    grid->addWidget(m_link, 4, 0);
    grid->addWidget(wrapped(QStringLiteral("アプリケーションをVadokに格納せず、通常のランチャーのように"
                                           "ショートカットとしてのみ使用する場合。"),
                            this),
                    4, 1);
    grid->addWidget(cancel, 5, 0);
    grid->setColumnStretch(1, 1);
    setMinimumWidth(480);

    connect(m_new, &QPushButton::clicked, this, &frmDropFile::cmdNew_Click);
    connect(m_verUp, &QPushButton::clicked, this, &frmDropFile::cmdVerUp_Click);
    connect(m_link, &QPushButton::clicked, this, &frmDropFile::cmdLink_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmDropFile::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Form_Activate();
}

void frmDropFile::Form_Activate() {
    m_fileName->setText(m_tag);
    switch (GetDropKind(m_tag)) {
    case DropKind::Folder:
        setWindowTitle(QStringLiteral("フォルダが渡されました"));
        break;
    case DropKind::Lzh:
    case DropKind::Zip:
        setWindowTitle(QStringLiteral("圧縮ファイルが渡されました"));
        break;
    case DropKind::Lnk:
        setWindowTitle(QStringLiteral("ショートカットが渡されました"));
        offerShortcutOnly();
        break;
    case DropKind::Exe:
        setWindowTitle(QStringLiteral("プログラムが渡されました"));
        offerShortcutOnly();
        break;
    case DropKind::Single:
    case DropKind::Err:
        setWindowTitle(QStringLiteral("不明なファイルの種類"));
        m_new->setEnabled(false);
        m_verUp->setEnabled(false);
        m_label->setText(QStringLiteral("Vadokは渡されたファイルを認識できませんでした。\n"
                                        "ドロップできるファイルは LZH/ZIP/フォルダ/ショートカットです。"));
        break;
    }
    if (!versionUpPossible()) {
        m_verUp->setEnabled(false);
        m_verUp->setToolTip(
            QStringLiteral("バージョンアップできるアプリケーションがまだ格納されていません。"));
    }
}

bool frmDropFile::versionUpPossible() const {
    // While the catalog is read, the version-up itself says to wait.
    return m_target.catalogLoading() || m_target.holdsApplications();
}

void frmDropFile::offerShortcutOnly() {
    m_link->setEnabled(true);
    m_new->setEnabled(false);
    m_verUp->setEnabled(false);
}

void frmDropFile::hideForWork() {
    hide();
    QCoreApplication::processEvents();
}

void frmDropFile::cmdNew_Click() {
    switch (GetDropKind(m_tag)) {
    case DropKind::Lzh:
        registerLzh();
        break;
    case DropKind::Zip:
        registerZip();
        break;
    case DropKind::Folder:
        hideForWork();
        m_target.NewApp(m_tag, QString());
        accept();
        break;
    default:
        break;
    }
}

QString frmDropFile::titleFrom(const QString& name) {
    if (name.isEmpty()) {
        showMessage(QStringLiteral("ファイル名を取得できませんでした"));
        return QString();
    }
    // An application of that name keeps its archive: the new one takes another name or
    // is not registered.
    return m_target.claimTitle(name);
}

void frmDropFile::registerLzh() {
    const QString title = titleFrom(getFileNameFromFullPath(m_tag));
    if (title.isEmpty())
        return;
    // An archive that does not expand whole would become an application that cannot run,
    // its damage showing only once the user needs it: it is expanded before anything is
    // registered.
    if (ExtractDroppedLzh(m_tag) != 0) {
        RemoveWorkFolder();
        return;
    }
    const QString archive = settings().PackDir + title + QStringLiteral(".lzh");
    // An archive dropped from the pack folder itself (its record lost, say) is already where
    // it belongs; copied onto itself it would be emptied.
    const bool inPlace = QFileInfo(m_tag).canonicalFilePath() == QFileInfo(archive).canonicalFilePath();
    if (!inPlace && !ReplaceFileWithCopy(m_tag, archive)) {
        RemoveWorkFolder();
        showMessage(QStringLiteral("ファイルのコピーに失敗しました"), MsgIcon::Critical);
        return;
    }
    // What it holds becomes the new application's expanded folder. A folder left there under
    // that name goes to the trash, as it does when a registered folder is copied there.
    const QString expanded = settings().ExecDir + title;
    if (QFileInfo::exists(expanded))
        DeleteFolder(expanded, nullptr, false);
    if (!QDir().rename(WorkFolder(), expanded))
        RemoveWorkFolder();
    hideForWork();
    // An archive of the pack folder is the launcher's own file, never the user's to delete.
    finishRegistration(title, !IsSameOrInside(m_tag, settings().PackDir));
}

void frmDropFile::registerZip() {
    const QString fileName = m_tag.mid(m_tag.lastIndexOf(u'/') + 1);
    const QString title = titleFrom(fileName.left(fileName.size() - 4));
    if (title.isEmpty())
        return;
    const QString work = WorkFolder() + u'/';
    RemoveWorkFolder();
    if (const int code = RunUnzip(UnzipCommand(m_tag, work)); code != 0) {
        RemoveWorkFolder();
        ShowUnzipFailure(code, m_tag);
        return;
    }
    const bool stored = LhaCompressDir(title, work);
    RemoveWorkFolder();
    if (!stored) {
        reject();
        return;
    }
    hideForWork();
    finishRegistration(title);
}

void frmDropFile::finishRegistration(const QString& title, bool offerDeletion) {
    // Only a saved application holds what the dropped archive held; one deleted in the
    // editor does not.
    if (m_target.NewAppCore(title) == EditOutcome::Saved && offerDeletion &&
        askBeforeDeleting(QStringLiteral("元の圧縮ファイル\r\n\r\n") + m_tag +
                              QStringLiteral("\r\n\r\nを削除しますか？"),
                          MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes)
        QFile::remove(m_tag);
    accept();
}

void frmDropFile::cmdLink_Click() {
    QString name = getFileNameFromFullPath(m_tag);
    QString command = m_tag;
    QString baseFolder = getBaseDirFromFullPath(m_tag);
    if (GetDropKind(m_tag) == DropKind::Lnk) {
        const QString target = ResolveShortcut(m_tag);
        if (!IsInstallerShortcutTarget(target)) {
            const MsgAnswer answer = showMessage(
                QStringLiteral("Vadokにどのように登録しますか？\r\n\r\n"
                               "  [はい] - ショートカットのリンク先を登録。(推奨)\r\n"
                               "[いいえ] - ショートカットを登録。ショートカットに互換性などが"
                               "設定されている場合に使用してみてください。\r\n"
                               " [ｷｬﾝｾﾙ] - 前の画面に戻ります"),
                MsgIcon::None, MsgButtons::YesNoCancel,
                QStringLiteral("ショートカットがドロップされました"));
            if (answer == MsgAnswer::Cancel)
                return;
            name = getFileNameFromFullPath(target);
            command = answer == MsgAnswer::Yes ? target : m_tag;
            baseFolder = answer == MsgAnswer::Yes ? getBaseDirFromFullPath(target) : QString();
        }
    }
    hideForWork();
    m_target.NewAppShortCut(name, command, baseFolder);
    accept();
}

} // namespace vadok
