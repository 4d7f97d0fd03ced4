// The menu commands tied to their work, and how a release of a mouse button on the tree, the
// menu key or Shift+F10 prepares the context menus.
#include "mainwindow/frmmain.h"

#include "catalog/settings.h"
#include "catalog/subcommands.h"
#include "dialogs/helpviewer.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/displaylayout.h"
#include "platform/programfolder.h"
#include "util/statustext.h"

#include <QAction>
#include <QFileInfo>

namespace vadok {

void frmMain::createMenus() {
    m_menus = MainMenus::create(*this);
    // The registration, editing, search and full-text commands are connected where those
    // are built.
    connect(m_menus.folPack, &QAction::triggered, this, &frmMain::mnuFolPack_Click);
    connect(m_menus.folExec, &QAction::triggered, this, &frmMain::mnuFolExec_Click);
    connect(m_menus.checkArchives, &QAction::triggered, this, &frmMain::mnuCheckArchives_Click);
    connect(m_menus.exit, &QAction::triggered, this, &frmMain::mnuExit_Click);
    connect(m_menus.config, &QAction::triggered, this, &frmMain::mnuConfig_Click);
    for (int i = 0; i < 2; ++i)
        connect(m_menus.dispMode[i], &QAction::triggered, this,
                [this, i] { mnuDispMode_Click(i); });
    connect(m_menus.help, &QAction::triggered, this, &frmMain::mnuHelp_Click);

    connect(m_menus.exec, &QAction::triggered, this, &frmMain::cmdExec_Click);
    connect(m_menus.pack, &QAction::triggered, this, &frmMain::cmdPack_Click);
    for (int i = 0; i < 5; ++i)
        connect(m_menus.subExec[i], &QAction::triggered, this,
                [this, i] { TreePopSubExec_Click(i); });
    connect(m_menus.noPackPack, &QAction::triggered, this, &frmMain::numNoPackPack_Click);
    connect(m_menus.noPackExtract, &QAction::triggered, this, &frmMain::mnuNoPackExtract_Click);
    connect(m_menus.openDir, &QAction::triggered, this, &frmMain::TreePopOpenDir_Click);
    connect(m_menus.makeShortCut, &QAction::triggered, this, &frmMain::TreePopMakeShortCut_Click);
    connect(m_menus.checkArchive, &QAction::triggered, this, &frmMain::TreePopCheckArchive_Click);

    connect(m_menus.trayExit, &QAction::triggered, this, &frmMain::TaskIconPopExit_Click);
}

void frmMain::TreeView_MouseUp(Qt::MouseButton button, QTreeWidgetItem* node,
                               const QPoint& globalPos) {
    if (!node) {
        m_pointerOnNode = false;
        return;
    }
    m_pointerOnNode = true;
    if (button != Qt::RightButton)
        return;
    // The menu's commands act on the selected node: the node clicked becomes it, so that
    // they act on the node the menu was opened on.
    if (m_tree->currentItem() != node || !node->isSelected()) {
        m_tree->setCurrentItem(node);
        TreeView_NodeClick(node);
    }
    showNodeMenu(node, globalPos);
}

void frmMain::showNodeMenu(QTreeWidgetItem* node, const QPoint& globalPos) {
    const QString tag = CatalogTree::tag(node);
    if (tag == u"ROOT" || tag.isEmpty()) {
        if (m_stage == WindowStage::Boot)
            return;
        m_menus.popupFolderMenu(tag == u"ROOT", globalPos);
        return;
    }

    const int index = CatalogTree::appIndex(node, m_apps.size());
    if (index < 0)
        return;
    PackApp& app = m_apps[size_t(index)];
    QStringList subCommands;
    ReadSubCommands(app.AppName(), subCommands);
    m_menus.popupAppMenu(subCommands, app.ShortCut(), app.NonPack(), globalPos);
}

void frmMain::mnuHelp_Click() {
    const QString file = helpFolder() + QStringLiteral("index.html");
    if (QFileInfo::exists(file))
        OpenHelpPage(file, this);
    else
        SetStatusText(QStringLiteral("ヘルプファイルが見つかりません。"), 1);
}

void frmMain::mnuExit_Click() {
    close();
}

void frmMain::mnuDispMode_Click(int index) {
    m_display->SetDispMode(index);
}

void frmMain::TaskIconPopExit_Click() {
    if (settings().Config.IntoTaskTray == 2)
        setStage(WindowStage::TrayFin);
    close();
}

} // namespace vadok
