// The menu bar, the tree's two context menus and the tray menu, and how a release of a mouse
// button on the tree, the menu key or Shift+F10 prepares them.
#include "mainwindow/frmmain.h"

#include "catalog/settings.h"
#include "catalog/subcommands.h"
#include "dialogs/helpviewer.h"
#include "mainwindow/catalogtree.h"
#include "platform/programfolder.h"
#include "util/statustext.h"

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

namespace vadok {

namespace {

QAction* addItem(QMenu* menu, const char* name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QMenu* addSubMenu(QMenu* menu, const char* name, const QString& caption) {
    QMenu* sub = menu->addMenu(caption);
    sub->setObjectName(QString::fromLatin1(name));
    sub->menuAction()->setObjectName(QString::fromLatin1(name));
    return sub;
}

} // namespace

void frmMain::createMenus() {
    QMenuBar* bar = menuBar();

    QMenu* file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("mnuFile"));
    QMenu* folders = addSubMenu(file, "mnuFol", QStringLiteral("フォルダを開く(&F)"));
    connect(addItem(folders, "mnuFolPack", QStringLiteral("格納フォルダ(&P)")), &QAction::triggered,
            this, &frmMain::mnuFolPack_Click);
    connect(addItem(folders, "mnuFolExec", QStringLiteral("実行フォルダ(&E)")), &QAction::triggered,
            this, &frmMain::mnuFolExec_Click);
    // Their commands are connected where they are built (registration, search, full text).
    addItem(file, "mnuNew", QStringLiteral("新しいプログラムの登録(&N)..."));
    addItem(file, "mnuNewShortCut", QStringLiteral("新しいショートカットの登録(&L)"));
    addItem(file, "mnuSearch", QStringLiteral("検索(&S)"));
    addItem(file, "mnuFullTextSearch", QStringLiteral("全文検索(&T)..."));
    connect(addItem(file, "mnuCheckArchives", QStringLiteral("すべての圧縮ファイルを検査(&K)")),
            &QAction::triggered, this, &frmMain::mnuCheckArchives_Click);
    connect(addItem(file, "mnuExit", QStringLiteral("終了(&E)")), &QAction::triggered, this,
            &frmMain::mnuExit_Click);

    QMenu* conf = bar->addMenu(QStringLiteral("設定(&C)"));
    conf->setObjectName(QStringLiteral("mnuConf"));
    addItem(conf, "mnuConfig", QStringLiteral("設定画面(&C)..."));
    conf->addSeparator();
    m_dispMode[0] = addItem(conf, "mnuDispMode(0)", QStringLiteral("ワイド表示"));
    m_dispMode[1] = addItem(conf, "mnuDispMode(1)", QStringLiteral("ナロー表示"));
    for (int i = 0; i < 2; ++i) {
        m_dispMode[i]->setCheckable(true);
        connect(m_dispMode[i], &QAction::triggered, this, [this, i] { mnuDispMode_Click(i); });
    }

    QAction* help = bar->addAction(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    connect(help, &QAction::triggered, this, &frmMain::mnuHelp_Click);

    m_treePop = new QMenu(this);
    m_treePop->setObjectName(QStringLiteral("TreePop"));
    QAction* exec = addItem(m_treePop, "TreePopExec", QStringLiteral("実行(&E)"));
    m_treePop->setDefaultAction(exec);
    connect(exec, &QAction::triggered, this, &frmMain::cmdExec_Click);
    m_treePopPack = addItem(m_treePop, "TreePopPack", QStringLiteral("格納(&C)"));
    connect(m_treePopPack, &QAction::triggered, this, &frmMain::cmdPack_Click);
    m_treePop->addSeparator();
    QMenu* sub = addSubMenu(m_treePop, "TreePopSubE", QStringLiteral("その他の実行(&X)"));
    m_treePopSubE = sub->menuAction();
    for (int i = 0; i < 5; ++i) {
        m_subExec[i] = sub->addAction(QStringLiteral("その他の実行%1").arg(i));
        m_subExec[i]->setObjectName(QStringLiteral("TreePopSubExec(%1)").arg(i));
        connect(m_subExec[i], &QAction::triggered, this, [this, i] { TreePopSubExec_Click(i); });
    }
    m_noPackMenu = addSubMenu(m_treePop, "mnuNoPack", QStringLiteral("圧縮保存しないアプリ"));
    connect(addItem(m_noPackMenu, "numNoPackPack", QStringLiteral("再圧縮する")),
            &QAction::triggered, this, &frmMain::numNoPackPack_Click);
    connect(addItem(m_noPackMenu, "mnuNoPackExtract", QStringLiteral("再展開する")),
            &QAction::triggered, this, &frmMain::mnuNoPackExtract_Click);
    connect(addItem(m_treePop, "TreePopOpenDir", QStringLiteral("フォルダを開く(&O)")),
            &QAction::triggered, this, &frmMain::TreePopOpenDir_Click);
    addItem(m_treePop, "TreePopDel", QStringLiteral("削除(&D)"));
    connect(addItem(m_treePop, "TreePopMakeShortCut", QStringLiteral("ショートカットの作成(&S)")),
            &QAction::triggered, this, &frmMain::TreePopMakeShortCut_Click);
    addItem(m_treePop, "TreePopProperty", QStringLiteral("プロパティ(&P)..."));
    m_treePopCheck = addItem(m_treePop, "TreePopCheckArchive", QStringLiteral("圧縮ファイルの検査(&V)"));
    connect(m_treePopCheck, &QAction::triggered, this, &frmMain::TreePopCheckArchive_Click);

    m_treeDirPop = new QMenu(this);
    m_treeDirPop->setObjectName(QStringLiteral("TreeDirPop"));
    m_dispChange = addItem(m_treeDirPop, "mnuDispChange", QStringLiteral("表示切替(&V)"));
    m_dispChangeSep = m_treeDirPop->addSeparator();
    m_dispChangeSep->setObjectName(QStringLiteral("mnuDispChangeSep"));
    addItem(m_treeDirPop, "TreeDirNew", QStringLiteral("フォルダの新規作成(&C)..."));
    m_treeDirRen = addItem(m_treeDirPop, "TreeDirRen", QStringLiteral("フォルダの名前変更(&N)..."));
    m_treeDirDel = addItem(m_treeDirPop, "TreeDirDel", QStringLiteral("フォルダの削除(&D)"));

    m_taskIconPop = new QMenu(this);
    m_taskIconPop->setObjectName(QStringLiteral("TaskIconPop"));
    connect(addItem(m_taskIconPop, "TaskIconPopView", QStringLiteral("表示(&V)")),
            &QAction::triggered, this, &frmMain::TaskIconPopView_Click);
    connect(addItem(m_taskIconPop, "TaskIconPopExit", QStringLiteral("終了(&X)")),
            &QAction::triggered, this, &frmMain::TaskIconPopExit_Click);
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
        const bool root = tag == u"ROOT";
        m_treeDirDel->setEnabled(!root);
        m_treeDirRen->setEnabled(!root);
        m_dispChange->setVisible(root);
        m_dispChangeSep->setVisible(root);
        m_treeDirPop->popup(globalPos);
        return;
    }

    bool ok = false;
    const int index = tag.toInt(&ok);
    if (!ok || index < 1 || index >= int(m_apps.size()))
        return;
    PackApp& app = m_apps[size_t(index)];
    m_subCommands.clear();
    ReadSubCommands(app.AppName(), m_subCommands);
    if (!m_subCommands.isEmpty()) {
        m_treePopSubE->setEnabled(true);
        // Five slots; further commands have no item to show them.
        for (int i = 0; i < 5; ++i) {
            const bool used = i < m_subCommands.size();
            m_subExec[i]->setVisible(used);
            if (used)
                m_subExec[i]->setText(m_subCommands[i]);
        }
    } else {
        m_treePopSubE->setEnabled(false);
    }
    m_treePopPack->setEnabled(!app.ShortCut());
    m_treePopCheck->setEnabled(!app.ShortCut());
    m_noPackMenu->menuAction()->setVisible(app.NonPack());
    m_treePop->popup(globalPos);
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
    SetDispMode(index);
}

void frmMain::TaskIconPopView_Click() {
    restoreFromTray();
}

void frmMain::TaskIconPopExit_Click() {
    if (settings().Config.IntoTaskTray == 2)
        setStage(WindowStage::TrayFin);
    close();
}

} // namespace vadok
