// The main window's controls, and what the core and a second start of the program ask of it.
#include "mainwindow/frmmain.h"

#include "catalog/settings.h"
#include "catalog/xmldocument.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/displaylayout.h"
#include "mainwindow/firststarthint.h"
#include "mainwindow/fulltextcommand.h"
#include "mainwindow/iconloader.h"
#include "mainwindow/infopanel.h"
#include "mainwindow/laterstarts.h"
#include "mainwindow/layouthelper.h"
#include "mainwindow/registration.h"
#include "mainwindow/sizespanel.h"
#include "mainwindow/stoprequest.h"
#include "mainwindow/trayresidence.h"
#include "mainwindow/treeediting.h"
#include "mainwindow/waitingstores.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"
#include "resources/builtinimages.h"
#include "shell/appearance.h"
#include "util/statustext.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QSessionManager>
#include <QStatusBar>
#include <QTimer>

namespace vadok {

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Vadok"));
    setWindowIcon(QIcon(builtinImage(QStringLiteral("exeicon"))));
    m_apps.resize(1);

    createControls();
    // Once the exit has begun, the icons stop where they are.
    m_icons = new IconLoader(
        *m_tree, machineCacheFile(QStringLiteral("vadok.icons")),
        [this] {
            return StopRequested || m_stage == WindowStage::Fining || m_stage == WindowStage::Fin;
        },
        this);
    connect(m_icons, &IconLoader::finished, this, &frmMain::iconsLoaded);
    createMenus();
    connectEditingCommands();
    createSearchControls();
    m_fullText = new FullTextCommand(*this, m_menus.fullTextSearch);
    connect(m_fullText, &FullTextCommand::selectRequested, this, [this](const QString& title) {
        // Chosen while the window waits in the tray or minimised: the choice is shown in the
        // window, or said there when the application is gone.
        if (!isVisible() || isMinimized())
            m_tray->restore();
        selectAppByTitle(title);
    });
    connect(m_fullText, &FullTextCommand::runRequested, this, [this](const QString& title) {
        if (selectAppByTitle(title))
            cmdExec_Click();
    });
    m_display = new DisplayLayout(*this, *m_tree, *m_search, *m_info, m_menus);
    m_tray = new TrayResidence(*this, m_menus.taskIconPop,
                               [this] { return m_stage == WindowStage::Normal; });
    connect(m_menus.trayView, &QAction::triggered, m_tray, &TrayResidence::restore);
    m_waitingStores = new WaitingStores(this);
    connect(m_waitingStores, &WaitingStores::due, this, &frmMain::storeWaitingApplications);
    setMainWindowLink(this);
    connect(qApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { sessionEnding(); });

    StopRequested = false;
    const ConfigRecord& config = settings().Config;
    if (config.DispMode <= 1)
        m_menus.dispMode[config.DispMode]->setChecked(true);
    if (config.KeepPos == 1) {
        const LayoutHelper measures(*this);
        move(measures.toPixels(config.Left), measures.toPixels(config.Top));
        m_display->SetDispMode(config.DispMode);
        if (config.wState == 1)
            setWindowState(Qt::WindowNoState);
    } else {
        m_display->SetDispMode(0);
    }
    ApplyInfoStyle();

    m_laterStarts = std::make_unique<LaterStarts>(programFolder());

    // The tree is read on the first tick, once the window is on the screen.
    m_gcTimer->setInterval(1);
    m_gcTimer->start();
}

frmMain::~frmMain() {
    if (mainWindowLink() == this)
        setMainWindowLink(nullptr);
}

void frmMain::createControls() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("central"));
    setCentralWidget(central);

    m_tree = new CatalogTree(central);
    m_tree->setObjectName(QStringLiteral("TreeView"));
    m_tree->addImage(QStringLiteral("exeicon"), QIcon(builtinImage(QStringLiteral("exeicon"))));
    m_tree->addImage(QStringLiteral("folclose"), QIcon(builtinImage(QStringLiteral("folclose"))));
    m_tree->addImage(QStringLiteral("folopen"), QIcon(builtinImage(QStringLiteral("folopen"))));
    connect(m_tree, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* node) { TreeView_NodeClick(node); });
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) {
        if (node)
            TreeView_NodeClick(node);
    });
    connect(m_tree, &QTreeWidget::itemExpanded, this, &frmMain::TreeView_Expand);
    connect(m_tree, &QTreeWidget::itemCollapsed, this, &frmMain::TreeView_Collapse);
    connect(m_tree, &CatalogTree::nodeDoubleClicked, this, &frmMain::TreeView_DblClick);
    connect(m_tree, &CatalogTree::nodeMouseUp, this, &frmMain::TreeView_MouseUp);
    connect(m_tree, &CatalogTree::nodeMenuRequested, this, &frmMain::showNodeMenu);
    connect(m_tree, &CatalogTree::enterReleased, this, &frmMain::cmdExec_Click);
    TreeEditing::Hooks hooks;
    hooks.saveFolders = [this] { SaveFolders(); };
    hooks.reloadTree = [this] { LoadTree(); };
    hooks.takeFolderToggled = [this] { return std::exchange(m_folderToggled, false); };
    m_treeEditing = new TreeEditing(*m_tree, m_apps, std::move(hooks), this);
    connect(m_tree, &CatalogTree::shiftArrowReleased, m_treeEditing,
            &TreeEditing::TreeView_ShiftArrow);
    connect(m_tree, &CatalogTree::dragStartRequested, m_treeEditing,
            &TreeEditing::TreeView_MouseMove);
    connect(m_tree, &CatalogTree::nodeDragOver, m_treeEditing, &TreeEditing::TreeView_DragOver);
    connect(m_tree, &CatalogTree::nodeDropped, m_treeEditing, &TreeEditing::TreeView_DragDrop);
    new FirstStartHint(m_tree);

    m_info = new InfoPanel(central);
    connect(m_info, &InfoPanel::packClicked, this, &frmMain::cmdPack_Click);
    connect(m_info, &InfoPanel::execClicked, this, &frmMain::cmdExec_Click);

    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    m_panel1 = new QLabel(bar);
    m_panel1->setObjectName(QStringLiteral("StatusBarPanel1"));
    m_panel2 = new QLabel(bar);
    m_panel2->setObjectName(QStringLiteral("StatusBarPanel2"));
    m_panel2->setMinimumWidth(LayoutHelper(*this).toPixels(900));
    bar->addWidget(m_panel1, 1);
    bar->addPermanentWidget(m_panel2);
    m_sizesPanel = new SizesPanel(*bar, *m_tree, m_apps, this);

    m_gcTimer = new QTimer(this);
    m_gcTimer->setObjectName(QStringLiteral("GCTimer"));
    connect(m_gcTimer, &QTimer::timeout, this, &frmMain::GCTimer_Timer);
}

void frmMain::setStage(WindowStage stage) {
    if (m_stage == stage)
        return;
    m_stage = stage;
    if (m_laterStarts && (stage == WindowStage::Fining || stage == WindowStage::Fin))
        m_laterStarts->close();
    emit stageChanged(windowStageName(stage));
}

void frmMain::ApplyInfoStyle() {
    const ColorRecord& color = settings().Color;
    m_info->applyStyle(color);
    m_tree->setFont(fontFromRecord(color.treeFont));
    // The tree's colours are stored as 0 until the user picks one: 0 leaves the desktop's.
    QPalette treePalette = QApplication::palette(m_tree);
    const std::pair<QPalette::ColorRole, qint32> treeColors[] = {
        {QPalette::Text, color.treeTXT}, {QPalette::Base, color.treeBG}, {QPalette::Highlight, color.treeSEL}};
    for (const auto& [role, value] : treeColors)
        if (value != 0)
            treePalette.setColor(role, oleColor(value, QApplication::palette()));
    m_tree->setPalette(treePalette);
}

// ---- what the core asks of the window ------------------------------------------------------

void frmMain::setStatusPanelText(int panel, const QString& text) {
    QLabel* label = panel == 2 ? m_panel2 : m_panel1;
    label->setText(text);
    // Long work updates the status between steps without letting other messages through.
    if (label->isVisible())
        label->repaint();
    emit statusTextChanged(panel == 2 ? 2 : 1, text);
}

void frmMain::removeTreeNode(const QString& key) {
    m_tree->removeNode(key);
}

bool frmMain::isWindowVisible() const {
    return isVisible();
}

bool frmMain::isWindowStateNormal() const {
    return !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

void frmMain::setWindowStateNormal() {
    // A window in the tray is put back to normal as it comes out; doing it while hidden would
    // map it, unpainted.
    if (!isVisible())
        return;
    setWindowState(Qt::WindowNoState);
}

QPoint frmMain::windowPositionTwips() const {
    const QPoint topLeft = pos();
    return QPoint(pixelsToTwips(topLeft.x(), logicalDpiX()),
                  pixelsToTwips(topLeft.y(), logicalDpiY()));
}

quintptr frmMain::windowId() const {
    return quintptr(effectiveWinId());
}

// ---- what a second start asks for ----------------------------------------------------------

void frmMain::RestoreFromTray() {
    m_tray->restore();
}

bool frmMain::trayIconShown() const {
    return m_tray->iconShown();
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (m_display)
        m_display->ResizeLayout();
}

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        m_tray->windowStateChanged();
}

void frmMain::showDropDialog(const QString& path) {
    m_registration->showDropDialog(path);
}

void frmMain::refuseRequest(const QString& text) {
    SetStatusText(text, 1);
    prompter().beep();
}

} // namespace vadok
