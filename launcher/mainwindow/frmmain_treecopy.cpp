// The copy of the catalog tree that the application picker shows.
#include "mainwindow/frmmain.h"

#include "dialogs/catalogtreecopy.h"
#include "mainwindow/catalogtree.h"

#include <QTreeWidgetItemIterator>

namespace vadok {

CatalogTreeCopy frmMain::copyOfCatalogTree() const {
    CatalogTreeCopy copy;
    // Top to bottom as the tree shows it, so every parent comes before its children.
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        const QTreeWidgetItem* node = *it;
        CatalogNode record{CatalogTree::key(node->parent()),
                           CatalogTree::key(node),
                           node->text(0),
                           CatalogTree::tag(node),
                           CatalogTree::imageKey(node),
                           CatalogTree::selectedImageKey(node)};
        for (const QString& image : {record.image, record.selectedImage}) {
            if (m_tree->hasImage(image) && !copy.images.contains(image))
                copy.images.insert(image, m_tree->image(image));
        }
        copy.nodes.append(record);
    }
    return copy;
}

} // namespace vadok
