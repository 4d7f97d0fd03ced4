#pragma once

#include "dialogs/catalogtreecopy.h"
#include "util/mainwindowlink.h"

#include <QStringList>

#include <functional>

namespace vadok::test {

// Records what the core asked of the main window; installs itself while it lives.
class FakeMainWindow : public MainWindowLink {
public:
    FakeMainWindow();
    ~FakeMainWindow() override;

    void setStatusPanelText(int panel, const QString& text) override;
    void treeFoldersChanged() override { ++folderWrites; }
    void removeTreeNode(const QString& key) override { removedNodes.append(key); }
    bool isWindowVisible() const override { return visible; }
    bool isWindowStateNormal() const override { return normalState; }
    void setWindowStateNormal() override { normalState = true; }
    QPoint windowPositionTwips() const override { return positionTwips; }
    CatalogTreeCopy copyOfCatalogTree() const override { return catalogTree; }
    bool hasTreeNode(const QString& key) const override { return treeKeys.contains(key); }
    void renameAppNode(const QString& oldName, const QString& newName) override;
    void placeAppNode(const QString& name, const QString& folder) override;

    QString panel1, panel2;
    QStringList panel1History;
    // Called with every panel-1 text; archiver progress arrives here while a store runs.
    std::function<void(const QString&)> onPanel1Text;
    int folderWrites = 0;
    QStringList removedNodes;
    // The tree's keys; renames replace theirs, placements add theirs.
    QStringList treeKeys;
    QStringList renamedNodes; // "old>new"
    QStringList placedNodes;  // "name>folder"
    bool visible = false;
    bool normalState = true;
    QPoint positionTwips;
    CatalogTreeCopy catalogTree;
};

} // namespace vadok::test
