#pragma once

#include <QStringList>

class QAction;
class QMainWindow;
class QMenu;
class QPoint;

namespace vadok {

// The menu bar, the tree's two context menus and the tray menu. Every command is held here
// as it is made, so the window connects each one where its work lives; the object names
// stay set for those who look the items up from outside (tests, accessibility).
struct MainMenus {
    // The menu bar.
    QAction* folPack = nullptr;
    QAction* folExec = nullptr;
    QAction* newApp = nullptr;
    QAction* newShortCut = nullptr;
    QAction* search = nullptr;
    QAction* fullTextSearch = nullptr;
    QAction* checkArchives = nullptr;
    QAction* exit = nullptr;
    QAction* config = nullptr;
    QAction* dispMode[2] = {};
    QAction* help = nullptr;

    // An application's context menu; the extra commands fill at most five slots.
    QMenu* treePop = nullptr;
    QAction* exec = nullptr;
    QAction* pack = nullptr;
    QAction* subE = nullptr;
    QAction* subExec[5] = {};
    QStringList subCommands;
    QMenu* noPack = nullptr;
    QAction* noPackPack = nullptr;
    QAction* noPackExtract = nullptr;
    QAction* openDir = nullptr;
    QAction* del = nullptr;
    QAction* makeShortCut = nullptr;
    QAction* property = nullptr;
    QAction* checkArchive = nullptr;

    // The context menu of the root and the folders.
    QMenu* treeDirPop = nullptr;
    QAction* dispChange = nullptr;
    QAction* dispChangeSep = nullptr;
    QAction* dirNew = nullptr;
    QAction* dirRen = nullptr;
    QAction* dirDel = nullptr;

    // The tray icon's menu.
    QMenu* taskIconPop = nullptr;
    QAction* trayView = nullptr;
    QAction* trayExit = nullptr;

    // Builds them all into window's menu bar and as its children; connects nothing.
    static MainMenus create(QMainWindow& window);

    // Opens the folder menu: the root may not be renamed or deleted, and only it switches
    // the display.
    void popupFolderMenu(bool root, const QPoint& globalPos) const;
    // Opens the application menu for an application with these extra commands, which
    // subCommands then holds for the slots' items.
    void popupAppMenu(const QStringList& commands, bool shortCut, bool nonPack,
                      const QPoint& globalPos);
    // Checks the item of the display mode shown (0 wide, 1 narrow).
    void checkDispMode(int mode) const;
};

} // namespace vadok
