#pragma once

#include <QPoint>
#include <QString>

namespace vadok {

// The catalog tree as another window shows it (dialogs/catalogtreecopy.h): only the windows
// ask for it and look into it, so the core needs no more than its name.
struct CatalogTreeCopy;

// What the core needs from the main window. frmMain implements it; tests use a fake.
class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;
    // panel is 1 or 2.
    virtual void setStatusPanelText(int panel, const QString& text) = 0;
    // The core changed the tree (removeTreeNode): the window writes its folder structure.
    virtual void treeFoldersChanged() = 0;
    virtual void removeTreeNode(const QString& key) = 0;
    virtual bool isWindowVisible() const = 0;
    virtual bool isWindowStateNormal() const = 0;
    virtual void setWindowStateNormal() = 0;
    // Top-left corner of the window in twips.
    virtual QPoint windowPositionTwips() const = 0;
    // An identifier of the window for calls that want an owner; 0 when there is none.
    virtual quintptr windowId() const { return 0; }
    virtual CatalogTreeCopy copyOfCatalogTree() const = 0;
    // Whether the catalog tree has a node (root, folder or application) keyed key.
    virtual bool hasTreeNode(const QString& key) const = 0;
    // The application node keyed oldName takes newName as key and text; the folder
    // structure is written.
    virtual void renameAppNode(const QString& oldName, const QString& newName) = 0;
    // Puts the application's node last into the catalog folder named folder ("ROOT": the
    // top level, also for a folder the tree does not have), adding the node when the tree has
    // none yet; the folder structure is written.
    virtual void placeAppNode(const QString& name, const QString& folder) = 0;
};

// nullptr while no main window exists (start-up branches, command-line tools).
MainWindowLink* mainWindowLink();
void setMainWindowLink(MainWindowLink* link);

} // namespace vadok
