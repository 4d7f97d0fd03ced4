#pragma once

#include "apps/packapp.h"
#include "instances/handover.h"
#include "mainwindow/archiveconflictoffers.h"
#include "mainwindow/commandgate.h"
#include "mainwindow/foldermergebase.h"
#include "mainwindow/mainmenus.h"
#include "mainwindow/syncmergenote.h"
#include "mainwindow/windowstage.h"
#include "util/mainwindowlink.h"

#include <QMainWindow>
#include <QSet>
#include <QStringList>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class QTreeWidgetItem;
class QUrl;

namespace vadok {

class ArchiveCheckJob;
class CatalogTree;
class DisplayLayout;
class FullTextSearch;
class IconLoader;
class InfoPanel;
class LaterStarts;
class FullTextCommand;
class Registration;
class SearchPanel;
class SizesPanel;
class TrayResidence;
class TreeEditing;
class WaitingStores;
class XmlDocument;
class XmlElement;

// The main window: the catalog tree, the information panel beside it, the run and store
// commands, the timer that builds the tree after the window has appeared and then polls
// the requests of later starts, and the exit that stores idle applications again.
//
// The timer's stage (WindowStage) is announced by name through stageChanged().
class frmMain : public QMainWindow, public MainWindowLink, public HandOverTarget {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // What the core asks of the window.
    void setStatusPanelText(int panel, const QString& text) override;
    void treeFoldersChanged() override { SaveFolders(); }
    void removeTreeNode(const QString& key) override;
    bool isWindowVisible() const override;
    bool isWindowStateNormal() const override;
    void setWindowStateNormal() override;
    QPoint windowPositionTwips() const override;
    quintptr windowId() const override;
    CatalogTreeCopy copyOfCatalogTree() const override;

    // What a second start of the program asks for.
    void restoreRequested() override { RestoreFromTray(); }
    void runRequested(const QString& title, const QStringList& arguments) override {
        ExecAppByName(title, arguments);
    }
    void showDropDialog(const QString& path) override;
    void refuseRequest(const QString& text) override;

    // What the property editor asks of the tree.
    bool hasTreeNode(const QString& key) const override;
    void renameAppNode(const QString& oldName, const QString& newName) override;
    void placeAppNode(const QString& name, const QString& folder) override;

    // Registering new applications and editing them; the dropped-item dialog calls it too.
    Registration& registration() const { return *m_registration; }

    // Rebuilds the tree, Apps and IconQueue from the data file.
    void LoadTree();
    // Starts loading the icons LoadTree queued; the stage moves on once the last is shown.
    void LoadIcons();
    // Offers to settle the conflict copies of archives a sync engine left in the pack folder
    // (ArchiveConflictOffers), once no command runs.
    void offerArchiveConflicts();
    // Writes the folder structure of the tree into the data file.
    void SaveFolders();
    // Index in Apps of the selected application; -1 for none, the root or a folder.
    int SelectedAppIndex() const;
    void TreeView_NodeClick(QTreeWidgetItem* node);
    void ApplyInfoStyle();
    // Starts the first application called exactly name, with arguments as its parameters when
    // there are any; says in the status bar when there is none.
    void ExecAppByName(const QString& name, const QStringList& arguments = {});
    // Saves the settings and rotates the backups; the window's controls stay disabled. False
    // when either failed, which the user has been told.
    bool WriteDAT();

    // Folders made, renamed and deleted, and nodes moved, in the tree.
    TreeEditing& treeEditing() const { return *m_treeEditing; }

    // The stage's name, as stageChanged() gives it.
    QString stage() const { return windowStageName(m_stage); }
    // 1-based: slot 0 exists and is never used.
    const std::vector<PackApp>& Apps() const { return m_apps; }
    // Slot 0 is always empty.
    const QStringList& IconQueue() const;
    IconLoader& iconLoader() const { return *m_icons; }
    bool FolderToggled() const { return m_folderToggled; }
    bool PointerOnNode() const { return m_pointerOnNode; }
    CatalogTree* treeView() const { return m_tree; }

    // The pauses of the commands, in milliseconds; tests shorten them.
    struct Pauses {
        int leaveMs = 2000;  // run-and-leave: hidden window until the program ends
        int repackMs = 400;  // before a rebuild with the pack key held
    };
    void setPauses(const Pauses& pauses) { m_pauses = pauses; }

    // The session is ending (log-off, shutdown): the full exit runs even in resident mode.
    void sessionEnding();

    // Stores the user chose to hold back until the programs working in the application's
    // folder had ended: each whose programs are gone now runs. Polled every second while
    // any waits; tests call it once the programs they scripted have ended.
    void storeWaitingApplications();
    QStringList waitingStores() const;

    // Search: the box and the hits over the tree, by title as one types, by notes on request.
    void ToggleSearchMode();
    bool searchMode() const;
    // The application node whose text is title; nullptr when there is none.
    QTreeWidgetItem* FindNodeByTitle(const QString& title) const;
    // Shows the first node tagged tag in the information panel, as a click on it would.
    void ShowAppByTag(const QString& tag);

    // The full-text index of the catalog, which follows every change the window makes.
    FullTextSearch& fullTextSearch() const;
    // Selects the application node whose text is title, as a click on it would, opening the
    // folders above it; false with a status text when there is none.
    bool selectAppByTitle(const QString& title);

    // The task tray.
    void RestoreFromTray();
    bool trayIconShown() const;

signals:
    void stageChanged(const QString& stage);
    // Every status text written, in order, even when it is replaced before it shows.
    void statusTextChanged(int panel, const QString& text);
    // The window has closed for good: the program is to end, hidden in the tray or not.
    void exited();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private slots:
    void GCTimer_Timer();
    // The queued icons are all shown: the steady state begins.
    void iconsLoaded();
    void cmdExec_Click();
    void cmdPack_Click();
    void TreePopSubExec_Click(int index);
    void TreePopOpenDir_Click();
    void TreePopMakeShortCut_Click();
    void mnuFolExec_Click();
    void mnuFolPack_Click();
    void mnuNoPackExtract_Click();
    void numNoPackPack_Click();
    void mnuHelp_Click();
    void mnuExit_Click();
    void mnuDispMode_Click(int index);
    void TaskIconPopExit_Click();
    void TreeView_Expand(QTreeWidgetItem* node);
    void TreeView_Collapse(QTreeWidgetItem* node);
    void TreeView_DblClick();
    void TreeView_MouseUp(Qt::MouseButton button, QTreeWidgetItem* node, const QPoint& globalPos);
    // Prepares and opens the context menu of node (the selected node) at globalPos.
    void showNodeMenu(QTreeWidgetItem* node, const QPoint& globalPos);
    void cmdEdit_Click();
    void TreePopDel_Click();
    void mnuConfig_Click();
    void TreePopCheckArchive_Click();
    void mnuCheckArchives_Click();

private:
    void createControls();
    void createMenus();
    void createSearchControls();
    // Runs the job behind a progress dialog; false when the user cancelled it.
    bool runArchiveChecks(ArchiveCheckJob& job);

    using CommandScope = CommandGate::Scope;

    void setStage(WindowStage stage);
    // Puts back the folders a re-expansion set aside and never finished with; names those
    // that could not go back.
    void putBackReExpansions();
    // A modal dialog, a menu, a command, the search or an edit or drag in the tree: the
    // tree must not be rebuilt under it.
    bool isEditingSomething() const;
    // When the data file changed behind our back (a sync delivered another machine's
    // version), merges its conflict copies and rebuilds the tree, once nothing is edited.
    void followDataFileChanges();
    // Rebuilds the tree from the data file, keeping the open folders and the selection.
    void reloadTreeInPlace();
    // The tree with only its root, once the data file exists (made from the template if not).
    void startEmptyTree();
    // The application nodes of folders; returns their keys.
    QSet<QString> addAppNodes(const QList<XmlElement>& folders);
    void WriteFolder(QTreeWidgetItem* node, const QString& parentName, int order,
                     XmlElement& folders);
    void reportNoSelection();
    // The selected application's index, or -1 once the user has been told none is selected.
    int selectedAppOrReport();
    PackApp* confirmNoPackCommand(const QString& question, const QString& declinedStatus);
    void pauseFor(int milliseconds);

    // Returns true to keep the window open.
    bool Form_QueryUnload(bool sessionEnding);
    void storeIdleApplications();
    // The application of the tree node keyed name, if that node is an application's.
    PackApp* appInTree(const QString& name);
    // Fills app from the data file's record called name; false when there is none.
    bool appWithRecord(const QString& name, PackApp& app);
    void exitFinalSteps();

    // Connects the commands that edit the catalog (editor, registration, folders, drops)
    // and enables their controls.
    void connectEditingCommands();

    CatalogTree* m_tree = nullptr;
    InfoPanel* m_info = nullptr;
    QLabel* m_panel1 = nullptr;
    QLabel* m_panel2 = nullptr;
    SizesPanel* m_sizesPanel = nullptr;
    QTimer* m_gcTimer = nullptr;

    MainMenus m_menus;

    // Init until the first tick reads the tree.
    WindowStage m_stage = WindowStage::Init;
    std::vector<PackApp> m_apps;
    IconLoader* m_icons = nullptr;
    // Set once a tree build has read the whole data file: only then does an application
    // missing from the tree really not exist, and may its leftovers be cleared at exit.
    bool m_catalogComplete = false;
    bool m_folderToggled = false;
    bool m_pointerOnNode = false;
    SearchPanel* m_search = nullptr;
    FullTextCommand* m_fullText = nullptr;
    TrayResidence* m_tray = nullptr;
    bool m_tickRunning = false;
    std::unique_ptr<LaterStarts> m_laterStarts;
    FolderMergeBase m_folderBase;
    SyncMergeNote m_syncMerge;
    bool m_sessionEnding = false;
    CommandGate m_commands{*this};
    ArchiveConflictOffers m_archiveConflicts;
    Pauses m_pauses;
    WaitingStores* m_waitingStores = nullptr;
    Registration* m_registration = nullptr;
    TreeEditing* m_treeEditing = nullptr;
    DisplayLayout* m_display = nullptr;
};

} // namespace vadok
