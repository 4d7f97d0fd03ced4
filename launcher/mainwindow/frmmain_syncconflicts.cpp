// Another machine's version of the data file: a data file replaced behind our back is shown,
// its conflict copies merged in, once nothing is being edited.
#include "mainwindow/frmmain.h"

#include "catalog/datafilecache.h"
#include "catalog/xmldocument.h"
#include "mainwindow/catalogtree.h"

#include <QApplication>
#include <QSet>
#include <QTreeWidgetItemIterator>

namespace vadok {

bool frmMain::isEditingSomething() const {
    return QApplication::activeModalWidget() || QApplication::activePopupWidget() ||
           m_commands.running() || searchMode() || m_tree->isBusy();
}

void frmMain::followDataFileChanges() {
    if (!m_folderBase.fileChangedSince() || isEditingSomething())
        return;
    m_syncMerge.merge(m_stage == WindowStage::Normal);
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
