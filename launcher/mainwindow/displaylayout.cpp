#include "mainwindow/displaylayout.h"

#include "catalog/settings.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/infopanel.h"
#include "mainwindow/mainmenus.h"
#include "mainwindow/searchpanel.h"
#include "shell/appearance.h"
#include "shell/windowlayout.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>

#include <algorithm>

namespace vadok {

namespace {

// The strip along the top edge that brings hidden menus back, in twips.
constexpr int kInsertStripHeight = 60;

// Whole pixels, cut rather than rounded.
QPoint globalPointer(const QMouseEvent* mouse) {
    return QPoint(int(mouse->globalPosition().x()), int(mouse->globalPosition().y()));
}

} // namespace

DisplayLayout::DisplayLayout(QMainWindow& window, CatalogTree& tree, SearchPanel& search,
                             InfoPanel& info, MainMenus& menus)
    : QObject(&window), m_window(window), m_tree(tree), m_search(search), m_info(info),
      m_menus(menus), m_layout(window) {
    QWidget* central = m_window.centralWidget();
    m_borderBar = new QFrame(central);
    m_borderBar->setObjectName(QStringLiteral("picBorderBar"));
    m_borderBar->stackUnder(&m_info);
    m_borderBar->setCursor(Qt::SizeHorCursor);
    m_borderBar->setAutoFillBackground(true);
    setBorderBarColor(QPalette::Button);
    m_borderBar->installEventFilter(this);

    m_picInsert = new QWidget(central);
    m_picInsert->setObjectName(QStringLiteral("picInsert"));
    m_picInsert->hide();
    m_picInsert->installEventFilter(this);
    // The tree reports the pointer moving over it, which hides menus brought back.
    m_tree.viewport()->setMouseTracking(true);
    m_tree.viewport()->installEventFilter(this);
    central->installEventFilter(this);
    m_info.installEventFilter(this);

    connect(m_menus.dispChange, &QAction::triggered, this, &DisplayLayout::mnuDispChange_Click);
}

int DisplayLayout::searchBoxTwips() const {
    return m_layout.toTwips(m_search.boxHeightHint());
}

void DisplayLayout::SetDispMode(int mode) {
    if (mode == 0)
        SetWideLayout();
    else if (mode == 1)
        SetNarrowLayout();
}

void DisplayLayout::mnuDispChange_Click() {
    SetDispMode(settings().Config.DispMode == 1 ? 0 : 1);
}

void DisplayLayout::SetWideLayout() {
    m_layoutInProgress = true;
    ConfigRecord& config = settings().Config;
    config.DispMode = 0;
    m_window.resize(std::max(m_layout.toPixels(config.Width), 1),
           std::max(m_layout.toPixels(config.Height), 1));
    if (settings().Color.DispSearchTextBoxAnyTime)
        m_search.showBox();
    m_borderBar->setCursor(Qt::SizeHorCursor);
    m_borderBar->show();
    m_window.statusBar()->show();
    SetMenusHidden(false);
    m_info.showWide();
    if (QTreeWidgetItem* selected = m_tree.currentItem())
        m_tree.scrollToItem(selected);
    m_menus.checkDispMode(0);
    m_layoutInProgress = false;
    ResizeLayout();
}

void DisplayLayout::SetNarrowLayout() {
    m_layoutInProgress = true;
    ConfigRecord& config = settings().Config;
    const ColorRecord& display = settings().Color;
    config.DispMode = 1;
    // An ordinary frame, not a tool window's: tool windows have no task-bar entry on these
    // desktops, so a minimised one could not be brought back.
    m_window.resize(std::max(m_layout.toPixels(config.narrowWidth), 1),
           std::max(m_layout.toPixels(config.narrowHeight), 1));
    if (display.DispSearchTextBoxAnyTime)
        m_search.showBox();
    m_borderBar->setCursor(Qt::SizeVerCursor);
    m_borderBar->setVisible(!display.DispInfoNarrow);
    m_info.setVisible(!display.DispInfoNarrow);
    m_info.showNarrow(config.DispCmdButtons == 1);
    // The panel takes its place below posUD again.
    m_narrowInfoHeight = -1;
    m_window.statusBar()->setVisible(!display.DispStatusNarrow);
    SetMenusHidden(display.DispMenuNarrow);
    if (QTreeWidgetItem* selected = m_tree.currentItem())
        m_tree.scrollToItem(selected);
    m_menus.checkDispMode(1);
    m_layoutInProgress = false;
    ResizeLayout();
}

void DisplayLayout::SetMenusHidden(bool hide) {
    for (QAction* item : m_window.menuBar()->actions()) {
        const QString name = item->objectName();
        if (name == u"mnuFile" || name == u"mnuConf" || name == u"mnuHelp")
            item->setVisible(!hide);
    }
    // An empty menu bar would still take its height.
    m_window.menuBar()->setVisible(!hide);
}

void DisplayLayout::ResizeLayout() {
    if (m_layoutInProgress)
        return;
    ConfigRecord& config = settings().Config;
    const ColorRecord& display = settings().Color;
    const bool narrow = config.DispMode == 1;
    // Minimised and maximised sizes are not the ones to come back to.
    if (!m_window.isMinimized() && !m_window.isMaximized() && !m_window.isFullScreen()) {
        (narrow ? config.narrowWidth : config.Width) = m_layout.toTwips(m_window.width());
        (narrow ? config.narrowHeight : config.Height) = m_layout.toTwips(m_window.height());
    }
    if (display.DispSearchTextBoxAnyTime)
        m_search.showBox();

    WindowLayoutInput in;
    in.client = m_layout.sizeInTwips(*m_window.centralWidget());
    in.searchBoxHeight = searchBoxTwips();
    in.searchBoxAlways = display.DispSearchTextBoxAnyTime;
    in.splitterLeft = config.LR;
    in.splitterTop = config.posUD;
    in.infoHeight = m_narrowInfoHeight;
    in.hideInfo = display.DispInfoNarrow;
    const WindowLayout layout = narrow ? narrowLayout(in) : wideLayout(in);
    if (narrow && layout.infoShown && m_narrowInfoHeight < 0)
        m_narrowInfoHeight = layout.info.height();

    m_tree.setGeometry(m_layout.toPixels(layout.tree));
    m_search.place(m_layout.toPixels(layout.searchBox), m_layout.toPixels(layout.searchList));
    if (layout.infoShown) {
        m_borderBar->setGeometry(m_layout.toPixels(layout.splitter));
        m_info.setGeometry(m_layout.toPixels(layout.info));
    }

    const bool strip = narrow && display.DispMenuNarrow && !m_window.menuBar()->isVisible();
    m_picInsert->setGeometry(0, 0, m_window.centralWidget()->width(),
                             m_layout.toPixels(kInsertStripHeight));
    m_picInsert->setVisible(strip);
    if (strip)
        m_picInsert->raise();
    LayoutInfoPanel();
}

void DisplayLayout::LayoutInfoPanel() {
    if (m_layoutInProgress)
        return;
    const bool narrow = settings().Config.DispMode == 1;
    if (narrow && settings().Color.DispInfoNarrow)
        return;
    m_info.arrange(m_layout, narrow, settings().Config.DispCmdButtons == 1);
}

void DisplayLayout::setBorderBarColor(QPalette::ColorRole role) {
    QPalette palette = m_borderBar->palette();
    palette.setColor(QPalette::Window, QApplication::palette().color(role));
    m_borderBar->setPalette(palette);
}

bool DisplayLayout::eventFilter(QObject* watched, QEvent* event) {
    const bool narrow = settings().Config.DispMode == 1;
    if (watched == m_window.centralWidget() && event->type() == QEvent::Resize) {
        // The status bar and the menus come and go: the client area changes on its own.
        ResizeLayout();
        return false;
    }
    if (watched == &m_info && event->type() == QEvent::Resize) {
        LayoutInfoPanel();
        return false;
    }
    if (watched == m_picInsert && event->type() == QEvent::Enter) {
        if (narrow && settings().Color.DispMenuNarrow)
            SetMenusHidden(false);
        return false;
    }
    if (watched == m_tree.viewport() && event->type() == QEvent::MouseMove) {
        if (narrow && settings().Color.DispMenuNarrow && m_window.menuBar()->isVisible())
            SetMenusHidden(true);
        return false;
    }
    if (watched != m_borderBar)
        return QObject::eventFilter(watched, event);
    auto* mouse = static_cast<QMouseEvent*>(event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (mouse->button() != Qt::LeftButton)
            break;
        m_layout.startDrag(globalPointer(mouse), m_borderBar->pos());
        setBorderBarColor(QPalette::Dark);
        return true;
    case QEvent::MouseMove:
        if (!m_layout.dragging())
            break;
        m_borderBar->move(m_layout.dragPosition(globalPointer(mouse), narrow));
        return true;
    case QEvent::MouseButtonRelease:
        if (!m_layout.dragging())
            break;
        SplitterDropped();
        return true;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void DisplayLayout::SplitterDropped() {
    setBorderBarColor(QPalette::Button);
    m_layout.endDrag();
    ConfigRecord& config = settings().Config;
    const QSize client = m_layout.sizeInTwips(*m_window.centralWidget());
    // The bar is not held inside the window while it moves; where it stops is.
    if (config.DispMode == 1) {
        const int treeTop =
            narrowTreeTop(searchBoxTwips(), settings().Color.DispSearchTextBoxAnyTime);
        const int top = clampNarrowSplitter(m_layout.toTwips(m_borderBar->y()), client, treeTop);
        config.posUD = top;
        m_narrowInfoHeight = std::max(client.height() - top - kSplitterThickness, 0);
        ResizeLayout();
        if (QTreeWidgetItem* selected = m_tree.currentItem())
            m_tree.scrollToItem(selected);
    } else {
        config.LR = clampWideSplitter(m_layout.toTwips(m_borderBar->x()), client);
        ResizeLayout();
    }
}

} // namespace vadok
