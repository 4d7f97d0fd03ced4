#pragma once

#include <QHash>
#include <QIcon>
#include <QTreeWidget>

#include <functional>

namespace vadok {

// The catalog tree: nodes with a unique string key, a tag and an image key, and the image
// list the keys refer to. The tag tells the kinds apart: "ROOT" for the root, empty for a
// folder, an index into the window's application list for an application, and "!" + title
// for an application whose title fails the title rules (catalog/appnamerules.h): it is
// shown with a warning but has no application object, so nothing ever builds a path from it.
class CatalogTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit CatalogTree(QWidget* parent = nullptr);

    // A new last child of the node parentKey (empty: a top-level node). nullptr when the key
    // is taken or the parent does not exist.
    QTreeWidgetItem* addNode(const QString& parentKey, const QString& key, const QString& text,
                             const QString& image = QString(),
                             const QString& selectedImage = QString());
    QTreeWidgetItem* node(const QString& key) const { return m_nodes.value(key); }
    // Gives the node keyed key a new key and text; false when newKey is taken or key unknown.
    bool renameNode(const QString& key, const QString& newKey, const QString& text);
    // Removes the node and everything below it; unknown keys are ignored.
    void removeNode(const QString& key);
    // Moves node, with everything below it, to be the last child of newParent, or to stand
    // right before or after its new sibling anchor. Keys, tags and images go with it. False
    // when the move would put a node below itself.
    bool moveNode(QTreeWidgetItem* node, QTreeWidgetItem* newParent);
    bool moveNodeBeside(QTreeWidgetItem* node, QTreeWidgetItem* anchor, bool after);
    // True when node lies somewhere below ancestor.
    static bool isBelow(const QTreeWidgetItem* node, const QTreeWidgetItem* ancestor);
    void clearNodes();
    int nodeCount() const { return int(m_nodes.size()); }

    static QString key(const QTreeWidgetItem* node);
    static QString tag(const QTreeWidgetItem* node);
    // The slot of a list of appCount applications (slot 0 unused) that node's tag names;
    // -1 for none, the root, a folder, a refused title or a slot outside the list.
    static int appIndex(const QTreeWidgetItem* node, size_t appCount);
    static void setTag(QTreeWidgetItem* node, const QString& tag);
    static QString refusedTitleTag(const QString& title) { return u'!' + title; }
    static bool hasRefusedTitle(const QTreeWidgetItem* node) { return tag(node).startsWith(u'!'); }
    static QString imageKey(const QTreeWidgetItem* node);
    static QString selectedImageKey(const QTreeWidgetItem* node);
    // Sets the node's image keys and shows the images the list holds for them.
    void setImage(QTreeWidgetItem* node, const QString& image, const QString& selectedImage);
    void setImage(QTreeWidgetItem* node, const QString& image) { setImage(node, image, image); }
    // Marks an application's node as expanded in the execution folder: its image, whatever it
    // is or becomes, is drawn with the expanded mark.
    void setExpandedMark(QTreeWidgetItem* node, bool expanded);

    // The image list. Adding an existing key replaces its image.
    void addImage(const QString& key, const QIcon& image) { m_images.insert(key, image); }
    bool hasImage(const QString& key) const { return m_images.contains(key); }
    QIcon image(const QString& key) const { return m_images.value(key); }

    // The node a drag is over, marked for the user while the drag lasts; nullptr for none.
    QTreeWidgetItem* dropHighlight() const { return m_dropHighlight; }
    // A label being edited or a node being dragged.
    bool isBusy() const { return state() != NoState || m_dropHighlight; }
    void setDropHighlight(QTreeWidgetItem* node);
    // Drags the selected node within the tree; returns when it has been dropped or given up.
    void dragSelectedNode();

    // The key of the node the information panel shows (the tree's own tag).
    QString shownKey() const { return m_shownKey; }
    void setShownKey(const QString& key) { m_shownKey = key; }

signals:
    // A mouse button was released; node is the node under the pointer or nullptr.
    void nodeMouseUp(Qt::MouseButton button, QTreeWidgetItem* node, const QPoint& globalPos);
    // Sent after the view has expanded or collapsed what the double click toggles.
    void nodeDoubleClicked();
    void enterReleased();
    // The arrow of Shift+Up or Shift+Down was released (key is Qt::Key_Up or Qt::Key_Down),
    // whenever Shift was.
    void shiftArrowReleased(int key);
    // The left button moved far enough with a node pressed to begin a drag.
    void dragStartRequested();
    // A drag of one of the tree's nodes is over target (nullptr: no node there).
    void nodeDragOver(QTreeWidgetItem* target);
    // A dragged node was dropped.
    void nodeDropped();
    void deleteReleased();
    // The menu key or Shift+F10 asks for the context menu of the current node, which the
    // keyboard user sees at globalPos.
    void nodeMenuRequested(QTreeWidgetItem* node, const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void forget(QTreeWidgetItem* node);
    void requestMenuByKey();
    // Takes node out of the tree and puts it back at index among parent's children (nullptr:
    // top level), index computed by place once the node is out.
    bool relocate(QTreeWidgetItem* node, QTreeWidgetItem* parent,
                  const std::function<int()>& place);

    QHash<QString, QTreeWidgetItem*> m_nodes;
    QHash<QString, QIcon> m_images;
    QString m_shownKey;
    QTreeWidgetItem* m_dropHighlight = nullptr;
    QPoint m_pressPos;
    // Keys pressed while the tree had the focus and not released since, with the modifiers
    // held then. A release acts only on a key pressed here: the Enter that chose a menu item
    // or ran a search hit comes back released on the tree.
    QHash<int, Qt::KeyboardModifiers> m_keysDown;
    bool m_leftPressed = false;
};

} // namespace vadok
