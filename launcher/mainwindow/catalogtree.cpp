#include "mainwindow/catalogtree.h"

#include "shell/statemark.h"

#include <QPixmap>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

namespace vadok {

namespace {

enum Role {
    KeyRole = Qt::UserRole + 1,
    TagRole,
    ImageRole,
    SelectedImageRole,
    ExpandedMarkRole,
};

// What a drag of one of our own nodes carries; the node itself is the selected one.
const QString kNodeMime = QStringLiteral("application/x-vadok-node");

bool isOwnNodeDrag(const QDropEvent* event, const QObject* tree) {
    return event->source() == tree && event->mimeData()->hasFormat(kNodeMime);
}

// Room for an icon, so that a row without one is indented like its neighbours.
QIcon blankIcon(const QSize& size) {
    QPixmap blank(size);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

} // namespace

CatalogTree::CatalogTree(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
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
    setImage(item, image, selectedImage);
    return item;
}

void CatalogTree::forget(QTreeWidgetItem* node) {
    // Without recursion: folders read from a file can nest as deep as the file is long.
    QList<QTreeWidgetItem*> pending{node};
    while (!pending.isEmpty()) {
        QTreeWidgetItem* next = pending.takeLast();
        for (int i = 0; i < next->childCount(); ++i)
            pending.append(next->child(i));
        if (next == m_dropHighlight)
            m_dropHighlight = nullptr;
        m_nodes.remove(key(next));
    }
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
    m_dropHighlight = nullptr;
    m_nodes.clear();
    clear();
}

bool CatalogTree::isBelow(const QTreeWidgetItem* node, const QTreeWidgetItem* ancestor) {
    for (const QTreeWidgetItem* up = node ? node->parent() : nullptr; up; up = up->parent()) {
        if (up == ancestor)
            return true;
    }
    return false;
}

bool CatalogTree::relocate(QTreeWidgetItem* node, QTreeWidgetItem* parent,
                           const std::function<int()>& place) {
    if (!node || node == parent || isBelow(parent, node))
        return false;
    const bool wasCurrent = currentItem() == node;
    if (QTreeWidgetItem* oldParent = node->parent())
        oldParent->removeChild(node);
    else
        takeTopLevelItem(indexOfTopLevelItem(node));
    if (parent)
        parent->insertChild(place(), node);
    else
        insertTopLevelItem(place(), node);
    if (wasCurrent)
        setCurrentItem(node);
    return true;
}

bool CatalogTree::moveNode(QTreeWidgetItem* node, QTreeWidgetItem* newParent) {
    if (!newParent)
        return false;
    return relocate(node, newParent, [newParent] { return newParent->childCount(); });
}

bool CatalogTree::moveNodeBeside(QTreeWidgetItem* node, QTreeWidgetItem* anchor, bool after) {
    if (!anchor || anchor == node)
        return false;
    QTreeWidgetItem* parent = anchor->parent();
    return relocate(node, parent, [this, parent, anchor, after] {
        const int at = parent ? parent->indexOfChild(anchor) : indexOfTopLevelItem(anchor);
        return at + (after ? 1 : 0);
    });
}

void CatalogTree::setDropHighlight(QTreeWidgetItem* node) {
    if (node == m_dropHighlight)
        return;
    if (m_dropHighlight)
        m_dropHighlight->setData(0, Qt::BackgroundRole, QVariant());
    m_dropHighlight = node;
    if (node)
        node->setBackground(0, palette().brush(QPalette::Highlight).color().lighter(160));
}

void CatalogTree::dragSelectedNode() {
    QTreeWidgetItem* node = currentItem();
    if (!node)
        return;
    auto* drag = new QDrag(this);
    auto* data = new QMimeData;
    data->setData(kNodeMime, key(node).toUtf8());
    drag->setMimeData(data);
    const QIcon icon = node->icon(0);
    if (!icon.isNull())
        drag->setPixmap(icon.pixmap(32, 32));
    drag->exec(Qt::MoveAction);
    setDropHighlight(nullptr);
}

QString CatalogTree::key(const QTreeWidgetItem* node) {
    return node ? node->data(0, KeyRole).toString() : QString();
}

QString CatalogTree::tag(const QTreeWidgetItem* node) {
    return node ? node->data(0, TagRole).toString() : QString();
}

int CatalogTree::appIndex(const QTreeWidgetItem* node, size_t appCount) {
    bool ok = false;
    const int index = tag(node).toInt(&ok);
    return ok && index >= 1 && size_t(index) < appCount ? index : -1;
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
    if (shown.isNull())
        shown = blankIcon(iconSize().isValid() ? iconSize() : QSize(16, 16));
    node->setIcon(0, node->data(0, ExpandedMarkRole).toBool() ? withExpandedMark(shown) : shown);
}

void CatalogTree::setExpandedMark(QTreeWidgetItem* node, bool expanded) {
    if (!node || node->data(0, ExpandedMarkRole).toBool() == expanded)
        return;
    node->setData(0, ExpandedMarkRole, expanded);
    setImage(node, imageKey(node), selectedImageKey(node));
}

void CatalogTree::mousePressEvent(QMouseEvent* event) {
    // Only the left button's press moves the selection; a right click selects its node when
    // the button is released, as the menu opens (frmMain).
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    m_leftPressed = true;
    m_pressPos = event->position().toPoint();
    QTreeWidget::mousePressEvent(event);
}

void CatalogTree::mouseMoveEvent(QMouseEvent* event) {
    // Drags are ours to start (the window decides whether one may begin); the view's own
    // would move items behind the catalog's back.
    if (m_leftPressed && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - m_pressPos).manhattanLength() >=
            QApplication::startDragDistance()) {
        m_leftPressed = false;
        emit dragStartRequested();
        return;
    }
    if (!(event->buttons() & Qt::LeftButton))
        QTreeWidget::mouseMoveEvent(event);
}

void CatalogTree::dragEnterEvent(QDragEnterEvent* event) {
    if (isOwnNodeDrag(event, this)) {
        event->acceptProposedAction();
        return;
    }
    QTreeWidget::dragEnterEvent(event);
}

void CatalogTree::dragMoveEvent(QDragMoveEvent* event) {
    if (!isOwnNodeDrag(event, this)) {
        QTreeWidget::dragMoveEvent(event);
        return;
    }
    event->acceptProposedAction();
    emit nodeDragOver(itemAt(event->position().toPoint()));
}

void CatalogTree::dropEvent(QDropEvent* event) {
    if (!isOwnNodeDrag(event, this)) {
        QTreeWidget::dropEvent(event);
        return;
    }
    // The catalog decides what the drop means; the view itself moves nothing.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    emit nodeDropped();
}

void CatalogTree::mouseReleaseEvent(QMouseEvent* event) {
    m_leftPressed = false;
    QTreeWidget::mouseReleaseEvent(event);
    emit nodeMouseUp(event->button(), itemAt(event->position().toPoint()),
                     event->globalPosition().toPoint());
}

void CatalogTree::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit nodeDoubleClicked();
}

void CatalogTree::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Menu || (key == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        event->accept();
        requestMenuByKey();
        return;
    }
    const bool shiftArrow =
        (key == Qt::Key_Up || key == Qt::Key_Down) && event->modifiers() == Qt::ShiftModifier;
    if (event->isAutoRepeat()) {
        // Held down, Shift+arrow still moves the node one place: the selection stays put.
        if (shiftArrow) {
            event->accept();
            return;
        }
    } else {
        m_keysDown.insert(key, event->modifiers());
    }
    QTreeWidget::keyPressEvent(event);
}

void CatalogTree::keyReleaseEvent(QKeyEvent* event) {
    QTreeWidget::keyReleaseEvent(event);
    if (event->isAutoRepeat())
        return;
    const int key = event->key();
    if (!m_keysDown.contains(key))
        return;
    // Shift counts as it was when the arrow went down: many let go of Shift first, and the
    // arrow then comes up without it.
    const Qt::KeyboardModifiers pressedWith = m_keysDown.take(key);
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        emit enterReleased();
    if ((key == Qt::Key_Up || key == Qt::Key_Down) && pressedWith == Qt::ShiftModifier)
        emit shiftArrowReleased(key);
    if (key == Qt::Key_Delete)
        emit deleteReleased();
}

void CatalogTree::focusOutEvent(QFocusEvent* event) {
    // Whatever is released elsewhere was not meant for the tree.
    m_keysDown.clear();
    QTreeWidget::focusOutEvent(event);
}

void CatalogTree::contextMenuEvent(QContextMenuEvent* event) {
    // The mouse's menu opens on the button's release (nodeMouseUp).
    if (event->reason() != QContextMenuEvent::Keyboard) {
        event->ignore();
        return;
    }
    event->accept();
    requestMenuByKey();
}

void CatalogTree::requestMenuByKey() {
    QTreeWidgetItem* node = currentItem();
    if (!node)
        return;
    scrollToItem(node);
    // Just past the node's icon, below its row: the menu covers neither.
    const QRect row = visualItemRect(node);
    emit nodeMenuRequested(node,
                           viewport()->mapToGlobal(QPoint(row.left() + row.height(), row.bottom())));
}

} // namespace vadok
