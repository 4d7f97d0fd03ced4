#include "mainwindow/syncmergenote.h"

#include "catalog/syncconflicts.h"
#include "platform/prompter.h"
#include "util/statustext.h"

#include <QStringList>

namespace vadok {

namespace {

// A few names, then how many more: the status bar has one line.
QString namesText(const QStringList& names) {
    constexpr int kShown = 5;
    QString text = names.mid(0, kShown).join(QStringLiteral("、"));
    if (names.size() > kShown)
        text += QStringLiteral(" ほか%1件").arg(names.size() - kShown);
    return text;
}

} // namespace

void SyncMergeNote::merge(bool settled) {
    const SyncMergeOutcome outcome = MergeSyncConflicts();
    if (outcome.merged > 0) {
        QString note = QStringLiteral("同期の競合を統合しました");
        if (!outcome.taken.isEmpty())
            note += QStringLiteral(": ") + namesText(outcome.taken);
        if (!outcome.deleted.isEmpty())
            note += QStringLiteral("（他のマシンで削除: ") + namesText(outcome.deleted) + u'）';
        m_note = note;
    }
    QStringList sections;
    if (!outcome.clashes.isEmpty()) {
        QStringList lines;
        for (const MergeReport::Clash& clash : outcome.clashes)
            lines << QStringLiteral("・%1 の「%2」").arg(clash.name, clash.field);
        sections << QStringLiteral("次の項目は両方のマシンで別々に変更されていたため、"
                                   "データファイルの値を残しました。\r\n\r\n") +
                        lines.join(QStringLiteral("\r\n"));
    }
    if (!outcome.kept.isEmpty()) {
        QStringList lines;
        for (const MergeReport::Kept& kept : outcome.kept) {
            lines << (kept.deletedByOurs
                          ? QStringLiteral("・%1 はこのマシンで削除されましたが、"
                                           "他のマシンで変更されていたため残しました")
                          : QStringLiteral("・%1 は他のマシンで削除されましたが、"
                                           "このマシンで変更されていたため残しました"))
                         .arg(kept.name);
        }
        sections << lines.join(QStringLiteral("\r\n"));
    }
    if (!sections.isEmpty())
        showMessage(QStringLiteral("同期の競合を統合しました。\r\n") +
                        sections.join(QStringLiteral("\r\n\r\n")),
                    MsgIcon::Information);
    if (!outcome.failures.isEmpty()) {
        showMessage(QStringLiteral("同期の競合によるデータファイルのコピーを統合できませんでした。"
                                   "コピーはそのまま残してあります。\r\n\r\n") +
                        outcome.failures.join(QStringLiteral("\r\n")),
                    MsgIcon::Exclamation);
    }
    if (settled)
        show();
}

void SyncMergeNote::show() {
    if (m_note.isEmpty())
        return;
    SetStatusText(m_note, 1);
    m_note.clear();
}

} // namespace vadok
