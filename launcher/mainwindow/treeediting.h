#pragma once

#include "apps/packapp.h"

#include <QObject>
#include <functional>
#include <vector>

class QTreeWidgetItem;

namespace vadok {

class CatalogTree;

// Editing the catalog's structure in the tree: making, renaming and deleting folders, and
// moving applications and folders by dragging them or with Shift+Up/Down. Every change is
// written to the data file at once.
class TreeEditing : public QObject {
    Q_OBJECT
public:
    // What editing the tree asks of the window.
    struct Hooks {
        // Writes the tree's folder structure into the data file.
        std::function<void()> saveFolders;
        // Rebuilds the tree and the applications from the data file.
        std::function<void()> reloadTree;
        // Whether a double click has just opened or closed a folder; asking forgets it.
        std::function<bool()> takeFolderToggled;
    };

    TreeEditing(CatalogTree& tree, std::vector<PackApp>& apps, Hooks hooks, QObject* parent);

    // Moving in the tree. A drag begins from the selected node; target is the node under
    // the pointer; the drop acts on the target marked last.
    void TreeView_MouseMove();
    void TreeView_DragOver(QTreeWidgetItem* target);
    void TreeView_DragDrop();
    // Shift+Up (Qt::Key_Up) or Shift+Down released: moves the node among its siblings.
    void TreeView_ShiftArrow(int key);
    // Moves the node sourceKey under the folder destinationKey (as its last child); an
    // application takes that folder in its record. False with a warning for a missing key.
    bool MoveNode(const QString& sourceKey, const QString& destinationKey);

public slots:
    void TreeDirNew_Click();
    void TreeDirRen_Click();
    void TreeDirDel_Click();
    // The Delete key deletes nothing: it says where deleting is found.
    void TreeView_DeleteKey();

private:
    // The selected node when it is the root or a folder; otherwise a beep and nullptr.
    QTreeWidgetItem* selectedFolderNode();
    void dropFolder(QTreeWidgetItem* folder, QTreeWidgetItem* target);
    void refuseReorder(QTreeWidgetItem* moving);
    // Writes the folder an application's node now sits in into its record.
    void recordFolderOf(QTreeWidgetItem* appNode);

    CatalogTree& m_tree;
    // 1-based, as the window holds it.
    std::vector<PackApp>& m_apps;
    Hooks m_hooks;
};

} // namespace vadok
