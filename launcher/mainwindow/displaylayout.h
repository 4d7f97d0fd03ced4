#pragma once

#include "mainwindow/layouthelper.h"

#include <QObject>
#include <QPalette>

class QFrame;
class QMainWindow;
class QWidget;

namespace vadok {

class CatalogTree;
class InfoPanel;
class MainMenus;
class SearchPanel;

// The wide and narrow displays of the main window: where the tree, the splitter bar and the
// information panel go, the splitter's drag, the menus the narrow display may hide, and the
// sizes kept in the settings as the user changes them.
class DisplayLayout : public QObject {
    Q_OBJECT
public:
    // The bar goes just beneath info in the window's stack, between the tree and the panel.
    DisplayLayout(QMainWindow& window, CatalogTree& tree, SearchPanel& search, InfoPanel& info,
                  MainMenus& menus);

    // 0 wide, 1 narrow; other values change nothing.
    void SetDispMode(int mode);
    // Places everything in the window's present size.
    void ResizeLayout();

public slots:
    void mnuDispChange_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetWideLayout();
    void SetNarrowLayout();
    void LayoutInfoPanel();
    void SplitterDropped();
    void SetMenusHidden(bool hide = true);
    void setBorderBarColor(QPalette::ColorRole role);
    int searchBoxTwips() const;

    QMainWindow& m_window;
    CatalogTree& m_tree;
    SearchPanel& m_search;
    InfoPanel& m_info;
    MainMenus& m_menus;
    LayoutHelper m_layout;
    QFrame* m_borderBar = nullptr;
    QWidget* m_picInsert = nullptr;
    bool m_layoutInProgress = false;
    // Narrow display: the information panel's height in twips; -1 until first laid out.
    int m_narrowInfoHeight = -1;
};

} // namespace vadok
