#pragma once

#include <QHash>
#include <QIcon>
#include <QList>
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

} // namespace vadok
