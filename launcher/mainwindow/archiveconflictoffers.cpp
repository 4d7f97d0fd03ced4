#include "mainwindow/archiveconflictoffers.h"

#include "apps/archivecheckjob.h"
#include "apps/archiveconflicts.h"
#include "platform/prompter.h"
#include "util/statustext.h"

#include <QFileInfo>

namespace vadok {

namespace {

const QString kTitle = QStringLiteral("同期の競合");

QString pairLine(const ArchiveConflict& conflict) {
    QString which;
    if (conflict.copyChecked && conflict.copyDamaged)
        which = QStringLiteral("複製が壊れています: ") + conflict.copyDamage;
    else if (conflict.archiveMissing)
        which = QStringLiteral("元の圧縮ファイルはありません");
    else if (conflict.archiveDamaged)
        which = QStringLiteral("元の圧縮ファイルが壊れています");
    else if (conflict.copyIsNewer)
        which = QStringLiteral("複製の方が新しい");
    else
        which = QStringLiteral("元の圧縮ファイルの方が新しい");
    return u'[' + conflict.appName + QStringLiteral("] ") + QFileInfo(conflict.copyPath).fileName() +
           QStringLiteral("（") + which + QStringLiteral("）");
}

QString failureText(ConflictSettled settled) {
    switch (settled) {
    case ConflictSettled::InUse:
        return QStringLiteral("使用中のため見送りました。後で改めてお知らせします。");
    case ConflictSettled::TrashFailed:
        return QStringLiteral("古い方をごみ箱に移せませんでした。両方ともそのまま残っています。");
    case ConflictSettled::RenameFailed:
        return QStringLiteral("複製の名前を変えられませんでした。両方ともそのまま残っています。");
    case ConflictSettled::RenameFailedArchiveInTrash:
        return QStringLiteral("複製の名前を変えられませんでした。元の圧縮ファイルはごみ箱にあります。");
    case ConflictSettled::CopyGone:
        return QStringLiteral("複製がなくなっていました。");
    case ConflictSettled::CopyDamaged:
        return QStringLiteral("複製が壊れているため、元の圧縮ファイルを置き換えませんでした。");
    case ConflictSettled::Changed:
        return QStringLiteral("検査の後で変更されたため見送りました。後で改めてお知らせします。");
    case ConflictSettled::KeptArchive:
    case ConflictSettled::KeptCopy:
        break;
    }
    return QString();
}

} // namespace

bool ArchiveConflictOffers::checkCopies(QList<ArchiveConflict>& conflicts,
                                        const RunChecks& runChecks) {
    QList<ArchiveCheckJob::Item> items;
    for (const ArchiveConflict& conflict : conflicts) {
        for (const QString& file : FilesToCheck(conflict))
            items.append({QFileInfo(file).fileName(), file});
    }
    ArchiveCheckJob job(items);
    if (!runChecks(job))
        return false;
    const QList<ArchiveCheckJob::Outcome>& outcomes = job.outcomes();
    for (qsizetype i = 0; i < outcomes.size(); ++i) {
        for (ArchiveConflict& conflict : conflicts)
            NoteConflictCheck(conflict, items[i].archive, outcomes[i].result);
    }
    return true;
}

bool ArchiveConflictOffers::offer(const IsApplication& isApplication, const RunChecks& runChecks) {
    QList<ArchiveConflict> toCheck;
    QStringList inUseLines;
    for (const ArchiveConflict& conflict : FindArchiveConflicts(isApplication)) {
        if (conflict.inUse) {
            // Said once while it stays in use; offered once it is free again.
            if (!m_toldInUse.contains(conflict.copyPath)) {
                m_toldInUse.insert(conflict.copyPath);
                inUseLines << pairLine(conflict);
            }
        } else if (!m_offered.contains(conflict.copyPath)) {
            m_offered.insert(conflict.copyPath);
            toCheck << conflict;
        }
    }
    // A copy may be anything that arrived under such a name: it is offered only once it
    // reads back sound, as the check of the archives reads them.
    if (!toCheck.isEmpty() && !checkCopies(toCheck, runChecks)) {
        for (const ArchiveConflict& conflict : toCheck)
            m_offered.remove(conflict.copyPath);
        SetStatusText(QStringLiteral("同期の競合の複製の検査を中止しました。後で改めてお知らせします。"), 1);
        toCheck.clear();
    }
    QList<ArchiveConflict> offered;
    QStringList offeredLines, damagedLines;
    for (const ArchiveConflict& conflict : toCheck) {
        if (conflict.copyDamaged) {
            damagedLines << pairLine(conflict);
        } else {
            offered << conflict;
            offeredLines << pairLine(conflict);
        }
    }
    if (offered.isEmpty() && damagedLines.isEmpty() && inUseLines.isEmpty())
        return false;

    QString text = QStringLiteral("格納フォルダに、同期の競合で残った圧縮ファイルの複製があります。");
    if (!offered.isEmpty())
        text += QStringLiteral("\r\n\r\n") + offeredLines.join(QStringLiteral("\r\n"));
    if (!damagedLines.isEmpty())
        text += QStringLiteral("\r\n\r\n次の複製は壊れているため使えません。元の圧縮ファイルはそのままにし、"
                               "複製も消さずに残しています。\r\n") +
                damagedLines.join(QStringLiteral("\r\n"));
    if (!inUseLines.isEmpty())
        text += QStringLiteral("\r\n\r\n次の複製は、アプリケーションが展開中か使用中のため、今は整理できません。"
                               "後で改めてお知らせします。\r\n") +
                inUseLines.join(QStringLiteral("\r\n"));
    if (offered.isEmpty()) {
        showMessage(text, damagedLines.isEmpty() ? MsgIcon::Information : MsgIcon::Exclamation,
                    MsgButtons::Ok, kTitle);
        return false;
    }
    text += QStringLiteral("\r\n\r\n新しい方を残し、古い方をごみ箱に移しますか?\r\n"
                           "(はい: 新しい方を残す　いいえ: 両方ともそのまま残す)");
    if (askBeforeDeleting(text, MsgIcon::Question, MsgButtons::YesNo, kTitle) != MsgAnswer::Yes) {
        SetStatusText(QStringLiteral("同期の競合の複製を、そのまま残しました。(%1 組)").arg(offered.size()), 1);
        return false;
    }

    int settled = 0;
    QStringList failures;
    for (const ArchiveConflict& conflict : offered) {
        const ConflictSettled outcome = KeepNewerArchive(conflict);
        if (outcome == ConflictSettled::KeptArchive || outcome == ConflictSettled::KeptCopy) {
            ++settled;
            continue;
        }
        // Taken by a store or an expansion, or changed, since it was listed: offered again
        // later.
        if (outcome == ConflictSettled::InUse || outcome == ConflictSettled::Changed)
            m_offered.remove(conflict.copyPath);
        failures << pairLine(conflict) + QStringLiteral("\r\n　") + failureText(outcome);
    }
    QString status = QStringLiteral("同期の競合を整理しました。新しい方を残し、古い方をごみ箱に移しました。(%1 組)")
                         .arg(settled);
    if (!failures.isEmpty())
        status += QStringLiteral(" 整理できなかった組: %1").arg(failures.size());
    SetStatusText(status, 1);
    if (!failures.isEmpty())
        showMessage(QStringLiteral("次の複製は整理できませんでした。\r\n\r\n") +
                        failures.join(QStringLiteral("\r\n")),
                    MsgIcon::Exclamation, MsgButtons::Ok, kTitle);
    return settled > 0;
}

} // namespace vadok
