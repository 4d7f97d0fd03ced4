// Rearranging the catalog in the tree: dragging applications and folders onto folders or
// after other applications, and Shift+Up/Down to move a node among its siblings. Every change
// is written to the data file at once.
#include "mainwindow/treeediting.h"

#include "catalog/apprecords.h"
#include "mainwindow/catalogtree.h"
#include "platform/prompter.h"
#include "util/statustext.h"

#include <QTreeWidgetItem>

namespace vadok {

namespace {

const QString kRoot = QStringLiteral("ROOT");

bool isRoot(const QTreeWidgetItem* node) { return CatalogTree::tag(node) == kRoot; }
bool isFolder(const QTreeWidgetItem* node) { return node && CatalogTree::tag(node).isEmpty(); }
// Folders and the root take dropped nodes.
bool isContainer(const QTreeWidgetItem* node) { return isFolder(node) || isRoot(node); }

int indexInParent(QTreeWidgetItem* node) {
    QTreeWidgetItem* parent = node->parent();
    return parent ? parent->indexOfChild(node) : node->treeWidget()->indexOfTopLevelItem(node);
}

bool askToMove(const QString& question) {
    return showMessage(question, MsgIcon::Question, MsgButtons::OkCancel) == MsgAnswer::Ok;
}

} // namespace

void TreeEditing::TreeView_MouseMove() {
    QTreeWidgetItem* selected = m_tree.currentItem();
    if (!selected || isRoot(selected))
        return;
    // The double click that toggled a folder ends with the button down: a small movement
    // then must not turn into a drag.
    if (m_hooks.takeFolderToggled())
        return;
    m_tree.dragSelectedNode();
}

void TreeEditing::TreeView_DragOver(QTreeWidgetItem* target) {
    if (!target)
        return;
    m_tree.setDropHighlight(target);
    const QTreeWidgetItem* dragged = m_tree.currentItem();
    if (isFolder(dragged))
        SetStatusText(QStringLiteral("フォルダの並び順変更はShift+↑↓で行ってください。"), 1);
    else if (isFolder(target))
        SetStatusText(QStringLiteral("選択されたフォルダ末尾に移動されます。"), 1);
    else
        SetStatusText(QStringLiteral("選択されたアイテムの次に移動されます。"), 1);
}

void TreeEditing::TreeView_DragDrop() {
    QTreeWidgetItem* target = m_tree.dropHighlight();
    QTreeWidgetItem* dragged = m_tree.currentItem();
    if (!target || !dragged)
        return;
    if (isRoot(dragged)) {
        SetStatusText(QStringLiteral("移動できません"), 1);
    } else if (isFolder(dragged)) {
        dropFolder(dragged, target);
    } else if (isContainer(target)) {
        if (target == dragged->parent())
            SetStatusText(QStringLiteral("同一フォルダ内の移動は無効です"), 1);
        else if (askToMove(dragged->text(0) + QStringLiteral(" を フォルダ：") + target->text(0) +
                           QStringLiteral(" に移動していいですか？")))
            MoveNode(CatalogTree::key(dragged), CatalogTree::key(target));
    } else if (target != dragged) {
        // Placed right after another application, in that one's folder: a new folder is
        // written into its record too, or the editor would offer (and keep) the old one.
        const bool otherFolder = target->parent() != dragged->parent();
        m_tree.moveNodeBeside(dragged, target, true);
        if (otherFolder)
            recordFolderOf(dragged);
        m_hooks.saveFolders();
    }
    m_tree.setDropHighlight(nullptr);
}

void TreeEditing::dropFolder(QTreeWidgetItem* folder, QTreeWidgetItem* target) {
    if (!isContainer(target)) {
        SetStatusText(QStringLiteral("フォルダにドロップしてください"), 1);
        return;
    }
    if (target == folder->parent()) {
        SetStatusText(QStringLiteral("同一フォルダ内の移動は無効です。"), 1);
        return;
    }
    if (target == folder) {
        SetStatusText(QStringLiteral("ドロップはキャンセルされました。"), 1);
        return;
    }
    // Into one of its own sub-folders the folder would cut itself and everything below it
    // off the tree.
    if (CatalogTree::isBelow(target, folder)) {
        SetStatusText(QStringLiteral("移動できません"), 1);
        return;
    }
    if (askToMove(QStringLiteral("フォルダ:") + folder->text(0) + QStringLiteral(" を フォルダ：") +
                  target->text(0) + QStringLiteral(" に移動していいですか？")))
        m_tree.moveNode(folder, target);
    m_hooks.saveFolders();
}

bool TreeEditing::MoveNode(const QString& sourceKey, const QString& destinationKey) {
    QTreeWidgetItem* source = m_tree.node(sourceKey);
    if (!source) {
        showMessage(u'[' + sourceKey + QStringLiteral("]が見つかりません"), MsgIcon::Exclamation);
        return false;
    }
    QTreeWidgetItem* destination = m_tree.node(destinationKey);
    if (isFolder(source))
        return destination && m_tree.moveNode(source, destination);
    if (!destination) {
        showMessage(u'[' + destinationKey + QStringLiteral("]が見つかりません"),
                    MsgIcon::Exclamation);
        return false;
    }
    if (!m_tree.moveNode(source, destination))
        return false;
    recordFolderOf(source);
    m_hooks.saveFolders();
    return true;
}

void TreeEditing::recordFolderOf(QTreeWidgetItem* appNode) {
    QTreeWidgetItem* folder = appNode->parent();
    const int index = CatalogTree::appIndex(appNode, m_apps.size());
    if (!folder || index < 0)
        return;
    PackApp& app = m_apps[size_t(index)];
    app.setAppDir(isRoot(folder) ? kRoot : folder->text(0));
    app.SaveConfig();
}

void TreeEditing::TreeView_ShiftArrow(int key) {
    // The tree has already moved the selection one row in the arrow's direction: the node
    // to move is the one the user had selected, beside the one selected now.
    const bool up = key == Qt::Key_Up;
    QTreeWidgetItem* now = m_tree.currentItem();
    if (!now)
        return;
    QTreeWidgetItem* parent = now->parent();
    const int at = indexInParent(now);
    const int movingAt = up ? at + 1 : at - 1;
    const int siblings = parent ? parent->childCount() : m_tree.topLevelItemCount();
    if (movingAt < 0 || movingAt >= siblings)
        return;
    QTreeWidgetItem* moving = parent ? parent->child(movingAt) : m_tree.topLevelItem(movingAt);
    if (isRoot(moving))
        return;

    if (isFolder(moving)) {
        if (!up && !isFolder(now)) {
            refuseReorder(moving);
            return;
        }
        SetStatusText(QStringLiteral("順番を入れ替えています..."), 1);
        m_tree.moveNodeBeside(moving, now, !up);
        moving->setExpanded(false);
        m_tree.setCurrentItem(moving);
        m_hooks.saveFolders();
        SetStatusText(QString(), 1);
        return;
    }
    // Sub-folders come before the applications of a folder.
    if (up && isFolder(now)) {
        refuseReorder(moving);
        return;
    }
    m_tree.moveNodeBeside(moving, now, !up);
    m_tree.setCurrentItem(moving);
    m_hooks.saveFolders();
}

void TreeEditing::refuseReorder(QTreeWidgetItem* moving) {
    prompter().beep();
    m_tree.setCurrentItem(moving);
}

} // namespace vadok
