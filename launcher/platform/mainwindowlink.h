#pragma once

#include <QHash>
#include <QIcon>
#include <QList>
#include <QPoint>
#include <QString>

namespace vadok {

// One node of the catalog tree, by value: the tree's own keys, texts, tags and image keys.
struct CatalogNode {
    QString parentKey; // empty for the root
    QString key;
    QString text;
    QString tag; // "ROOT" for the root, empty for a folder, the application's index otherwise
    QString image;
    QString selectedImage;
};

// A copy of the catalog tree for another window to show: it stays valid whatever the main
// window does with its own tree afterwards.
struct CatalogTreeCopy {
    // Every node after its parent; children in the order the tree shows them.
    QList<CatalogNode> nodes;
    // The pictures of the image keys the nodes name, as far as the tree has them.
    QHash<QString, QIcon> images;
};

// What the core needs from the main window. frmMain implements it; tests use a fake.
class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;
    // panel is 1 or 2.
    virtual void setStatusPanelText(int panel, const QString& text) = 0;
    virtual void saveFolders() = 0;
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
