#include "mainwindow/mainmenus.h"

#include <QAction>
#include <QMainWindow>
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

MainMenus MainMenus::create(QMainWindow& window) {
    MainMenus m;
    QMenuBar* bar = window.menuBar();

    QMenu* file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("mnuFile"));
    QMenu* folders = addSubMenu(file, "mnuFol", QStringLiteral("フォルダを開く(&F)"));
    m.folPack = addItem(folders, "mnuFolPack", QStringLiteral("格納フォルダ(&P)"));
    m.folExec = addItem(folders, "mnuFolExec", QStringLiteral("実行フォルダ(&E)"));
    m.newApp = addItem(file, "mnuNew", QStringLiteral("新しいプログラムの登録(&N)..."));
    m.newShortCut =
        addItem(file, "mnuNewShortCut", QStringLiteral("新しいショートカットの登録(&L)"));
    m.search = addItem(file, "mnuSearch", QStringLiteral("検索(&S)"));
    m.fullTextSearch = addItem(file, "mnuFullTextSearch", QStringLiteral("全文検索(&T)..."));
    m.checkArchives =
        addItem(file, "mnuCheckArchives", QStringLiteral("すべての圧縮ファイルを検査(&K)"));
    m.exit = addItem(file, "mnuExit", QStringLiteral("終了(&E)"));

    QMenu* conf = bar->addMenu(QStringLiteral("設定(&C)"));
    conf->setObjectName(QStringLiteral("mnuConf"));
    m.config = addItem(conf, "mnuConfig", QStringLiteral("設定画面(&C)..."));
    conf->addSeparator();
    m.dispMode[0] = addItem(conf, "mnuDispMode(0)", QStringLiteral("ワイド表示"));
    m.dispMode[1] = addItem(conf, "mnuDispMode(1)", QStringLiteral("ナロー表示"));
    for (QAction* mode : m.dispMode)
        mode->setCheckable(true);

    m.help = bar->addAction(QStringLiteral("ヘルプ(&H)"));
    m.help->setObjectName(QStringLiteral("mnuHelp"));

    m.treePop = new QMenu(&window);
    m.treePop->setObjectName(QStringLiteral("TreePop"));
    m.exec = addItem(m.treePop, "TreePopExec", QStringLiteral("実行(&E)"));
    m.treePop->setDefaultAction(m.exec);
    m.pack = addItem(m.treePop, "TreePopPack", QStringLiteral("格納(&C)"));
    m.treePop->addSeparator();
    QMenu* sub = addSubMenu(m.treePop, "TreePopSubE", QStringLiteral("その他の実行(&X)"));
    m.subE = sub->menuAction();
    for (int i = 0; i < 5; ++i) {
        m.subExec[i] = sub->addAction(QStringLiteral("その他の実行%1").arg(i));
        m.subExec[i]->setObjectName(QStringLiteral("TreePopSubExec(%1)").arg(i));
    }
    m.noPack = addSubMenu(m.treePop, "mnuNoPack", QStringLiteral("圧縮保存しないアプリ"));
    m.noPackPack = addItem(m.noPack, "numNoPackPack", QStringLiteral("再圧縮する"));
    m.noPackExtract = addItem(m.noPack, "mnuNoPackExtract", QStringLiteral("再展開する"));
    m.openDir = addItem(m.treePop, "TreePopOpenDir", QStringLiteral("フォルダを開く(&O)"));
    m.del = addItem(m.treePop, "TreePopDel", QStringLiteral("削除(&D)"));
    m.makeShortCut =
        addItem(m.treePop, "TreePopMakeShortCut", QStringLiteral("ショートカットの作成(&S)"));
    m.property = addItem(m.treePop, "TreePopProperty", QStringLiteral("プロパティ(&P)..."));
    m.checkArchive =
        addItem(m.treePop, "TreePopCheckArchive", QStringLiteral("圧縮ファイルの検査(&V)"));

    m.treeDirPop = new QMenu(&window);
    m.treeDirPop->setObjectName(QStringLiteral("TreeDirPop"));
    m.dispChange = addItem(m.treeDirPop, "mnuDispChange", QStringLiteral("表示切替(&V)"));
    m.dispChangeSep = m.treeDirPop->addSeparator();
    m.dispChangeSep->setObjectName(QStringLiteral("mnuDispChangeSep"));
    m.dirNew = addItem(m.treeDirPop, "TreeDirNew", QStringLiteral("フォルダの新規作成(&C)..."));
    m.dirRen = addItem(m.treeDirPop, "TreeDirRen", QStringLiteral("フォルダの名前変更(&N)..."));
    m.dirDel = addItem(m.treeDirPop, "TreeDirDel", QStringLiteral("フォルダの削除(&D)"));

    m.taskIconPop = new QMenu(&window);
    m.taskIconPop->setObjectName(QStringLiteral("TaskIconPop"));
    m.trayView = addItem(m.taskIconPop, "TaskIconPopView", QStringLiteral("表示(&V)"));
    m.trayExit = addItem(m.taskIconPop, "TaskIconPopExit", QStringLiteral("終了(&X)"));
    return m;
}

void MainMenus::popupFolderMenu(bool root, const QPoint& globalPos) const {
    dirDel->setEnabled(!root);
    dirRen->setEnabled(!root);
    dispChange->setVisible(root);
    dispChangeSep->setVisible(root);
    treeDirPop->popup(globalPos);
}

void MainMenus::popupAppMenu(const QStringList& commands, bool shortCut, bool nonPack,
                             const QPoint& globalPos) {
    subCommands = commands;
    if (!subCommands.isEmpty()) {
        subE->setEnabled(true);
        // Five slots; further commands have no item to show them.
        for (int i = 0; i < 5; ++i) {
            const bool used = i < subCommands.size();
            subExec[i]->setVisible(used);
            if (used)
                subExec[i]->setText(subCommands[i]);
        }
    } else {
        subE->setEnabled(false);
    }
    pack->setEnabled(!shortCut);
    checkArchive->setEnabled(!shortCut);
    noPack->menuAction()->setVisible(nonPack);
    treePop->popup(globalPos);
}

void MainMenus::checkDispMode(int mode) const {
    dispMode[0]->setChecked(mode == 0);
    dispMode[1]->setChecked(mode == 1);
}

} // namespace vadok
