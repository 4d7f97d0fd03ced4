// The property editor from the main window: the edit commands, deleting an application, and
// what the editor changes in the tree.
#include "mainwindow/frmmain.h"

#include "mainwindow/appstate.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/fulltextcommand.h"
#include "mainwindow/infopanel.h"
#include "mainwindow/nodekeys.h"
#include "mainwindow/registration.h"
#include "mainwindow/treeediting.h"
#include "platform/prompter.h"

#include <QAction>
#include <QCoreApplication>

namespace vadok {

namespace {

const QString kRoot = QStringLiteral("ROOT");

} // namespace

void frmMain::connectEditingCommands() {
    Registration::Hooks hooks;
    hooks.loading = [this] { return m_stage == WindowStage::Boot; };
    hooks.reloadTree = [this] { LoadTree(); };
    hooks.dropHandled = [this] { m_fullText->refresh(); };
    m_registration = new Registration(*this, *m_tree, m_apps, m_commands, std::move(hooks));
    connect(m_info, &InfoPanel::editClicked, this, &frmMain::cmdEdit_Click);
    connect(m_menus.property, &QAction::triggered, this, &frmMain::cmdEdit_Click);
    connect(m_menus.newApp, &QAction::triggered, m_registration, &Registration::mnuNew_Click);
    connect(m_menus.newShortCut, &QAction::triggered, m_registration,
            &Registration::mnuNewShortCut_Click);
    connect(m_menus.del, &QAction::triggered, this, &frmMain::TreePopDel_Click);
    connect(m_menus.dirNew, &QAction::triggered, m_treeEditing, &TreeEditing::TreeDirNew_Click);
    // Renaming and deleting are offered for folders only; the menu decides when it opens.
    connect(m_menus.dirRen, &QAction::triggered, m_treeEditing, &TreeEditing::TreeDirRen_Click);
    connect(m_menus.dirDel, &QAction::triggered, m_treeEditing, &TreeEditing::TreeDirDel_Click);
    connect(m_tree, &CatalogTree::deleteReleased, m_treeEditing,
            &TreeEditing::TreeView_DeleteKey);
    m_registration->installDropTargets();
}

void frmMain::cmdEdit_Click() {
    const CommandScope scope(m_commands);
    if (scope.busy())
        return;
    const int index = selectedAppOrReport();
    if (index < 0)
        return;
    PackApp& app = m_apps[size_t(index)];
    if (m_registration->editApp(app) != EditOutcome::Cancelled)
        m_registration->reloadTreeShowing(app.AppName());
    else
        refreshAppState(*m_tree, m_apps, index); // the editor expanded it to show its files
}

void frmMain::TreePopDel_Click() {
    const int index = selectedAppOrReport();
    if (index < 0)
        return;
    PackApp& app = m_apps[size_t(index)];
    if (askBeforeDeleting(u'[' + app.AppName() + QStringLiteral("]を削除してよろしいですか？"),
                          MsgIcon::Question, MsgButtons::OkCancel) != MsgAnswer::Ok)
        return;
    app.Delete();
    m_fullText->refresh();
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
