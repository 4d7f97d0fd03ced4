#include "apps/registration.h"

#include "apps/archivercalls.h"
#include "apps/packapp.h"
#include "catalog/settings.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"
#include "util/folderutil.h"
#include "util/statustext.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#ifdef VADOK_WITH_ARCHIVER
#include "archiver/archiver.h"
#endif

namespace vadok {

namespace {

// Stores folder into archive, asking first when archive exists. fresh is where a rebuild
// goes until it is complete.
bool LhaCompress(const QString& archive, const QString& fresh, const QString& folder) {
    const bool existed = QFileInfo::exists(archive);
    bool rebuild = false;
    if (existed) {
        const MsgAnswer answer = askBeforeDeleting(
            archive + QStringLiteral("はすでに存在しています。\r\nファイルを上書きしますか?\r\n"
                                     "(はいで上書き,いいえで追加圧縮,キャンセルで圧縮中止)"),
            MsgIcon::Information, MsgButtons::YesNoCancel, QStringLiteral("上書き確認"));
        if (answer == MsgAnswer::Cancel) {
            showMessage(QStringLiteral("圧縮をキャンセルしました。"), MsgIcon::Critical);
            return false;
        }
        // No: the store command's update mode adds the folder to what the archive holds.
        rebuild = answer == MsgAnswer::Yes;
    }
    QStringList leftOut;
    const int code = StoreVerified(rebuild ? fresh : archive, archive, folder, &leftOut);
    // The store's progress ends with its last file; it is over now.
    SetStatusText(QString(), 1);
    const QString title = QFileInfo(archive).completeBaseName();
    if (code != 0) {
        if (!existed)
            QFile::remove(archive);
        ShowStoreFailure(code, title);
        return false;
    }
    // The expanded copy would still show them, until the first store took them away.
    if (!leftOut.isEmpty())
        showMessage(u'[' + title + QStringLiteral("] の次のものは圧縮ファイルに入れられないため、登録されません。"
                                                  "\r\n元のフォルダには残っています。\r\n\r\n") +
                        leftOut.join(QStringLiteral("\r\n")),
                    MsgIcon::Information);
    return true;
}

// Why a file could not be copied, in words, from the errno of the failure (0: it changed
// while it was copied).
QString copyFailureReason(int code, int error) {
    switch (error) {
    case 0:
        return code == 0x8009 ? QStringLiteral("コピーできない名前のファイルがあります。")
                              : QStringLiteral("コピー中にファイルが変更されました。");
    case ENOSPC:
    case EDQUOT: return QStringLiteral("コピー先の空き容量が足りません。");
    case EACCES:
    case EPERM: return QStringLiteral("アクセスが拒否されました。");
    case EROFS: return QStringLiteral("コピー先は書き込みできません。");
    case ENOENT:
        // Making a file or folder in a folder just made: the name is what is refused
        // (exfat-fuse says so for "?" or ":").
        if (code != 0x8006)
            return QString::fromLocal8Bit(std::strerror(error));
        [[fallthrough]];
    case EINVAL:
    case EILSEQ: return QStringLiteral("コピー先のファイルシステムでは使えない名前です。");
    case ENAMETOOLONG: return QStringLiteral("名前が長すぎます。");
    case EIO: return QStringLiteral("読み書きに失敗しました。");
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace

CopyOutcome CopyIntoExecutionFolder(const QString& source, const QString& target) {
    const QString from = withTrailingSlash(source);
    const QString to = withTrailingSlash(target);
    const QFileInfo existing(to.chopped(1));
    if (existing.exists() || existing.isSymLink()) {
        DeleteFolder(to, nullptr, false);
        if (QFileInfo::exists(to.chopped(1)) || QFileInfo(to.chopped(1)).isSymLink()) {
            showMessage(to + QStringLiteral("\r\nを削除できません"), MsgIcon::Critical);
            return CopyOutcome::Failed;
        }
    }
#ifdef VADOK_WITH_ARCHIVER
    const FolderCopy copy = CopyFolder(QFile::encodeName(from).toStdString(),
                                       QFile::encodeName(to).toStdString());
    if (copy.code != 0) {
        showMessage(QStringLiteral("ファイルのコピーに失敗しました。\r\n\r\n") + from +
                        QFile::decodeName(copy.path.c_str()) + QStringLiteral("\r\n") +
                        copyFailureReason(copy.code, copy.error),
                    MsgIcon::Critical);
        return CopyOutcome::Failed;
    }
    folderCopied(to);
    return HoldsCopyOf(to, from, copy.linksListed) ? CopyOutcome::Complete : CopyOutcome::Incomplete;
#else
    if (!CopyFolderContents(from, to))
        return CopyOutcome::Failed;
    return HoldsCopyOf(to, from) ? CopyOutcome::Complete : CopyOutcome::Incomplete;
#endif
}

bool LhaCompressDir(const QString& title, const QString& folder) {
    AppRecord record;
    record.AppName = title;
    const PackApp app(record);
    return LhaCompress(app.archivePath(), app.rebuildArchivePath(), withTrailingSlash(folder));
}

PriorArchive::PriorArchive(const QString& archive) : m_archive(archive) {
    if (!QFileInfo::exists(archive))
        return;
    m_copy = archive + QStringLiteral(".vadok-prior");
    QFile::remove(m_copy);
    m_kept = QFile::copy(archive, m_copy);
}

PriorArchive::~PriorArchive() {
    if (!m_copy.isEmpty())
        QFile::remove(m_copy);
}

void PriorArchive::restore() {
    if (m_copy.isEmpty()) {
        QFile::remove(m_archive);
        return;
    }
    if (m_kept && ReplaceArchive(m_copy, m_archive) == 0)
        m_copy.clear();
}

QString WorkingFolderConflict(const QString& path) {
    const Settings& s = settings();
    const std::pair<QString, QString> working[] = {
        {s.PackDir, QStringLiteral("格納フォルダ")},
        {s.ExecDir, QStringLiteral("実行フォルダ")},
        {s.IconDir, QStringLiteral("アイコンフォルダ")},
    };
    for (const auto& [workingFolder, label] : working) {
        if (IsSameOrInside(path, workingFolder))
            return label + QStringLiteral("の中にあります。");
    }
    if (IsSameOrInside(programFolder(), path))
        return QStringLiteral("プログラムフォルダを含んでいます。");
    for (const auto& [workingFolder, label] : working) {
        if (IsSameOrInside(workingFolder, path))
            return label + QStringLiteral("を含んでいます。");
    }
    return QString();
}

QString RegistrationRefusal(const QString& folder) {
    const QString conflict = WorkingFolderConflict(folder);
    if (conflict.isEmpty())
        return QString();
    return u'[' + folder + QStringLiteral("] は登録できません。\r\nVadokの") + conflict;
}

} // namespace vadok
