// The property editor from the main window: the edit commands, the folder list the editor
// offers, and what the editor changes in the tree.
#include "mainwindow/frmmain.h"

#include "dialogs/frmedit.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/nodekeys.h"

#include <QAction>
#include <QCoreApplication>
#include <QPushButton>
#include <QTreeWidgetItemIterator>

namespace vadok {

namespace {

const QString kRoot = QStringLiteral("ROOT");

void addFolderEntries(const QTreeWidgetItem* node, int depth, QStringList& entries) {
    for (int i = 0; i < node->childCount(); ++i) {
        const QTreeWidgetItem* child = node->child(i);
        if (!CatalogTree::tag(child).isEmpty())
            continue;
        entries.append(QString(depth, QChar(0x3000)) + child->text(0));
        addFolderEntries(child, depth + 1, entries);
    }
}

} // namespace

void frmMain::connectEditingCommands() {
    connect(m_edit, &QPushButton::clicked, this, &frmMain::cmdEdit_Click);
    connect(m_menus.property, &QAction::triggered, this, &frmMain::cmdEdit_Click);
    connect(m_menus.newApp, &QAction::triggered, this, &frmMain::mnuNew_Click);
    connect(m_menus.newShortCut, &QAction::triggered, this, &frmMain::mnuNewShortCut_Click);
    connect(m_menus.del, &QAction::triggered, this, &frmMain::TreePopDel_Click);
    connect(m_menus.dirNew, &QAction::triggered, this, &frmMain::TreeDirNew_Click);
    // Renaming and deleting are offered for folders only; the menu decides when it opens.
    connect(m_menus.dirRen, &QAction::triggered, this, &frmMain::TreeDirRen_Click);
    connect(m_menus.dirDel, &QAction::triggered, this, &frmMain::TreeDirDel_Click);
    connect(m_tree, &CatalogTree::deleteReleased, this, &frmMain::TreeView_DeleteKey);
    installDropTargets();
}

void frmMain::cmdEdit_Click() {
    const CommandScope scope(m_commands);
    if (scope.busy())
        return;
    const int index = selectedAppOrReport();
    if (index < 0)
        return;
    PackApp& app = m_apps[size_t(index)];
    if (editApp(app) != EditOutcome::Cancelled)
        reloadTreeShowing(app.AppName());
    else
        refreshAppState(index); // the editor expanded it to show its files
}

void frmMain::reloadTreeShowing(const QString& name) {
    QStringList open;
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        if ((*it)->isExpanded())
            open.append(CatalogTree::key(*it));
    }
    LoadTree();
    for (const QString& key : open) {
        if (QTreeWidgetItem* folder = m_tree->node(key))
            folder->setExpanded(true);
    }
    QTreeWidgetItem* node = m_tree->node(name);
    // A node without a tag has no record behind it (the build was stopped before it).
    if (!node || CatalogTree::tag(node).isEmpty() || CatalogTree::tag(node) == kRoot)
        return;
    for (QTreeWidgetItem* up = node->parent(); up; up = up->parent())
        up->setExpanded(true);
    m_tree->setCurrentItem(node);
    m_tree->scrollToItem(node);
}

EditOutcome frmMain::editApp(PackApp& app) {
    frmEdit editor(editorFolderList(), this);
    return app.ShowConfig(editor);
}

QStringList frmMain::editorFolderList() const {
    QStringList entries{kRoot};
    if (const QTreeWidgetItem* root = m_tree->node(kRoot))
        addFolderEntries(root, 1, entries);
    return entries;
}

bool frmMain::hasTreeNode(const QString& key) const {
    return m_tree->node(key) != nullptr;
}

void frmMain::renameAppNode(const QString& oldName, const QString& newName) {
    m_tree->renameNode(oldName, newName, newName);
    SaveFolders();
}

void frmMain::placeAppNode(const QString& name, const QString& folder) {
    QTreeWidgetItem* root = m_tree->node(kRoot);
    if (!root)
        return;
    QTreeWidgetItem* target = folder == kRoot ? root : m_tree->node(folderKey(folder));
    // Only a folder takes applications: a folder the tree has lost puts it at the top.
    if (!target || !CatalogTree::tag(target).isEmpty())
        target = root;
    if (QTreeWidgetItem* node = m_tree->node(name)) {
        if (node->parent() != target) {
            node->parent()->removeChild(node);
            target->addChild(node);
        }
    } else if (QTreeWidgetItem* added = m_tree->addNode(CatalogTree::key(target), name, name)) {
        // A new application: its tag is its place in Apps when it has one there.
        QString tag = QStringLiteral("0");
        for (size_t i = m_apps.size(); i-- > 1;) {
            if (m_apps[i].AppName() == name) {
                tag = QString::number(i);
                break;
            }
        }
        CatalogTree::setTag(added, tag);
    }
    QCoreApplication::processEvents();
    SaveFolders();
}

} // namespace vadok
