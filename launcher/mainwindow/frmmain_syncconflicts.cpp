// Another machine's version of the data file: conflict copies a sync engine left beside it
// are merged in, and a data file replaced behind our back is shown once nothing is being
// edited.
#include "mainwindow/frmmain.h"

#include "catalog/datafilecache.h"
#include "catalog/syncconflicts.h"
#include "catalog/xmldocument.h"
#include "mainwindow/catalogtree.h"
#include "platform/prompter.h"
#include "util/statustext.h"

#include <QApplication>
#include <QSet>
#include <QTreeWidgetItemIterator>

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

void frmMain::mergeSyncConflicts() {
    const SyncMergeOutcome outcome = MergeSyncConflicts();
    if (outcome.merged > 0) {
        QString note = QStringLiteral("同期の競合を統合しました");
        if (!outcome.taken.isEmpty())
            note += QStringLiteral(": ") + namesText(outcome.taken);
        if (!outcome.deleted.isEmpty())
            note += QStringLiteral("（他のマシンで削除: ") + namesText(outcome.deleted) + u'）';
        m_syncNote = note;
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
    showSyncNote();
}

void frmMain::showSyncNote() {
    // While the tree loads, its own texts take the status bar; the note waits for the end.
    if (m_syncNote.isEmpty() || m_stage != WindowStage::Normal)
        return;
    SetStatusText(m_syncNote, 1);
    m_syncNote.clear();
}

bool frmMain::isEditingSomething() const {
    return QApplication::activeModalWidget() || QApplication::activePopupWidget() ||
           m_commandsRunning > 0 || searchMode() || m_tree->isBusy();
}

void frmMain::followDataFileChanges() {
    if (dataFileChangesBehind() == m_dataFileChangesSeen || isEditingSomething())
        return;
    mergeSyncConflicts();
    reloadTreeInPlace();
}

void frmMain::reloadTreeInPlace() {
    QSet<QString> expanded;
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        if ((*it)->isExpanded())
            expanded.insert(CatalogTree::key(*it));
    }
    const QTreeWidgetItem* current = m_tree->currentItem();
    const QString selected = current ? CatalogTree::key(current) : QString();

    LoadTree();

    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        if (expanded.contains(CatalogTree::key(*it)))
            (*it)->setExpanded(true);
    }
    if (QTreeWidgetItem* node = m_tree->node(selected)) {
        m_tree->setCurrentItem(node);
        TreeView_NodeClick(node);
    }
}

} // namespace vadok
