#include "mainwindow/catalogtree.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace vadok {

namespace {

enum Role {
    KeyRole = Qt::UserRole + 1,
    TagRole,
    ImageRole,
    SelectedImageRole,
};

} // namespace

CatalogTree::CatalogTree(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

QTreeWidgetItem* CatalogTree::addNode(const QString& parentKey, const QString& key,
                                      const QString& text, const QString& image,
                                      const QString& selectedImage) {
    if (key.isEmpty() || m_nodes.contains(key))
        return nullptr;
    QTreeWidgetItem* parent = nullptr;
    if (!parentKey.isEmpty()) {
        parent = m_nodes.value(parentKey);
        if (!parent)
            return nullptr;
    }
    auto* item = new QTreeWidgetItem();
    item->setText(0, text);
    item->setData(0, KeyRole, key);
    if (parent)
        parent->addChild(item);
    else
        addTopLevelItem(item);
    m_nodes.insert(key, item);
    if (!image.isEmpty() || !selectedImage.isEmpty())
        setImage(item, image, selectedImage);
    return item;
}

void CatalogTree::forget(QTreeWidgetItem* node) {
    for (int i = 0; i < node->childCount(); ++i)
        forget(node->child(i));
    m_nodes.remove(key(node));
}

bool CatalogTree::renameNode(const QString& key, const QString& newKey, const QString& text) {
    QTreeWidgetItem* item = m_nodes.value(key);
    if (!item || newKey.isEmpty() || (newKey != key && m_nodes.contains(newKey)))
        return false;
    m_nodes.remove(key);
    m_nodes.insert(newKey, item);
    item->setData(0, KeyRole, newKey);
    item->setText(0, text);
    return true;
}

void CatalogTree::removeNode(const QString& key) {
    QTreeWidgetItem* item = m_nodes.value(key);
    if (!item)
        return;
    forget(item);
    delete item;
}

void CatalogTree::clearNodes() {
    m_nodes.clear();
    clear();
}

QString CatalogTree::key(const QTreeWidgetItem* node) {
    return node ? node->data(0, KeyRole).toString() : QString();
}

QString CatalogTree::tag(const QTreeWidgetItem* node) {
    return node ? node->data(0, TagRole).toString() : QString();
}

void CatalogTree::setTag(QTreeWidgetItem* node, const QString& tag) {
    if (node)
        node->setData(0, TagRole, tag);
}

QString CatalogTree::imageKey(const QTreeWidgetItem* node) {
    return node ? node->data(0, ImageRole).toString() : QString();
}

QString CatalogTree::selectedImageKey(const QTreeWidgetItem* node) {
    return node ? node->data(0, SelectedImageRole).toString() : QString();
}

void CatalogTree::setImage(QTreeWidgetItem* node, const QString& image,
                           const QString& selectedImage) {
    if (!node)
        return;
    node->setData(0, ImageRole, image);
    node->setData(0, SelectedImageRole, selectedImage);
    QIcon shown;
    const QIcon normal = m_images.value(image);
    const QIcon selected = m_images.value(selectedImage);
    if (image == selectedImage || selected.isNull()) {
        shown = normal;
    } else {
        // One icon that draws the selected image while the node is selected.
        for (const QSize& size : normal.availableSizes())
            shown.addPixmap(normal.pixmap(size), QIcon::Normal);
        for (const QSize& size : selected.availableSizes())
            shown.addPixmap(selected.pixmap(size), QIcon::Selected);
    }
    node->setIcon(0, shown);
}

void CatalogTree::mousePressEvent(QMouseEvent* event) {
    // Only the left button moves the selection; the context menu acts on the selected node.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CatalogTree::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    emit nodeMouseUp(event->button(), itemAt(event->position().toPoint()),
                     event->globalPosition().toPoint());
}

void CatalogTree::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit nodeDoubleClicked();
}

void CatalogTree::keyReleaseEvent(QKeyEvent* event) {
    QTreeWidget::keyReleaseEvent(event);
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat())
        emit enterReleased();
    if (event->key() == Qt::Key_Delete && !event->isAutoRepeat())
        emit deleteReleased();
}

} // namespace vadok
