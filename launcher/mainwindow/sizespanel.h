#pragma once

#include "apps/packapp.h"

#include <QObject>
#include <vector>

class QLabel;
class QStatusBar;
class QTreeWidgetItem;

namespace vadok {

class CatalogSizes;
class CatalogTree;

// The third status panel: what the selected application, or every application below the
// selected folder, takes in the pack folder against what it expands to. The archives are
// read in the background; the panel catches up as their answers come in.
class SizesPanel : public QObject {
    Q_OBJECT
public:
    // apps is the window's list (1-based), read each time a node is shown.
    SizesPanel(QStatusBar& bar, const CatalogTree& tree, const std::vector<PackApp>& apps,
               QObject* parent);

    // The sizes below node; an empty panel for none.
    void show(QTreeWidgetItem* node);
    // The sizes below the node the information panel shows.
    void showShownNode();

private:
    void collectArchives(QTreeWidgetItem* node, QStringList& archives) const;

    QLabel* m_label = nullptr;
    CatalogSizes* m_sizes = nullptr;
    const CatalogTree& m_tree;
    const std::vector<PackApp>& m_apps;
};

} // namespace vadok
