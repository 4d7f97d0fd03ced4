// Catalog folders from the tree's menus: create, rename and delete them; and the hint the
// Delete key gives instead of deleting.
#include "mainwindow/treeediting.h"

#include "catalog/appnamerules.h"
#include "catalog/apprecords.h"
#include "catalog/folderrecords.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/nodekeys.h"
#include "platform/prompter.h"
#include "util/statustext.h"

namespace vadok {

namespace {

const QString kRoot = QStringLiteral("ROOT");

void warn(const QString& text) {
    showMessage(text, MsgIcon::Exclamation);
}

QString existsMessage(const QString& name) {
    return QStringLiteral("指定されたフォルダ名 [") + name + QStringLiteral("] は既に存在します");
}

// Why a new folder cannot be called name; empty when it can.
QString newFolderRefusal(const QString& name) {
    if (name.isEmpty() || name == kRoot)
        return QStringLiteral("ディレクトリ名が入力されませんでした。");
    for (const QChar c : {u'&', u'>', u'<', u'\\', u'/', u'"'}) {
        if (name.contains(c))
            return c + QStringLiteral(" は使えません。");
    }
    if (isNumericName(name))
        return QStringLiteral("数字だけのフォルダ名は作成できません");
    return QString();
}

} // namespace

TreeEditing::TreeEditing(CatalogTree& tree, std::vector<PackApp>& apps, Hooks hooks,
                         QObject* parent)
    : QObject(parent), m_tree(tree), m_apps(apps), m_hooks(std::move(hooks)) {}

QTreeWidgetItem* TreeEditing::selectedFolderNode() {
    QTreeWidgetItem* node = m_tree.currentItem();
    const QString tag = CatalogTree::tag(node);
    if (node && (tag.isEmpty() || tag == kRoot))
        return node;
    // An application is selected: folder commands have nothing to act on.
    prompter().beep();
    SetStatusText(QStringLiteral("フォルダが選択されていません"), 1);
    return nullptr;
}

void TreeEditing::TreeDirNew_Click() {
    QTreeWidgetItem* parent = selectedFolderNode();
    if (!parent)
        return;
    if (showMessage(QStringLiteral("『") + parent->text(0) +
                        QStringLiteral("』の下に新規ディレクトリを作成しますか？"),
                    MsgIcon::None, MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    const QString name =
        prompter()
            .input(QStringLiteral("新しく作成するディレクトリ名を入力してください"), QString(), QString())
            .value_or(QString());
    QString refusal = newFolderRefusal(name);
    // Folders and applications share the tree's keys; the file may also hold a folder the
    // tree could not place.
    if (refusal.isEmpty() && (m_tree.node(name) || FolderExists(name)))
        refusal = existsMessage(name);
    if (!refusal.isEmpty()) {
        warn(refusal);
        return;
    }
    m_tree.addNode(CatalogTree::key(parent), folderKey(name), name, QStringLiteral("folclose"),
                    QStringLiteral("folopen"));
    const bool atTop = CatalogTree::tag(parent) == kRoot;
    AddFolder(name, atTop ? kRoot : parent->text(0));
    m_hooks.reloadTree();
}

void TreeEditing::TreeDirRen_Click() {
    QTreeWidgetItem* node = selectedFolderNode();
    if (!node || CatalogTree::tag(node) == kRoot)
        return;
    const QString oldName = node->text(0);
    const QString newName = prompter()
                                .input(QStringLiteral("新しいフォルダ名を入力してください"),
                                       u'[' + oldName + QStringLiteral("]の名前変更"), QString())
                                .value_or(QString());
    if (newName.isEmpty() || newName == kRoot) {
        warn(QStringLiteral("フォルダ名が入力されませんでした。"));
        return;
    }
    // The editor refuses to confirm an application in a folder named with "&": the folder
    // would hold applications that can no longer be edited.
    if (const QString refusal = folderNameRefusal(newName); !refusal.isEmpty()) {
        warn(refusal);
        return;
    }
    // An application's name would take the folder's place in the tree at the next build,
    // and the application would no longer be shown.
    const QTreeWidgetItem* sameKey = m_tree.node(newName);
    if (FolderExists(newName) || (sameKey && !CatalogTree::tag(sameKey).isEmpty())) {
        warn(existsMessage(newName));
        return;
    }
    if (!RenameFolder(oldName, QString(), newName))
        return;
    SetStatusText(oldName + QStringLiteral(" を ") + newName + QStringLiteral("に変更しました。"), 1);
    node->setText(0, newName);
    for (int i = 0; i < node->childCount(); ++i) {
        const int index = CatalogTree::appIndex(node->child(i), m_apps.size());
        if (index >= 0)
            m_apps[size_t(index)].setAppDir(newName);
    }
}

void TreeEditing::TreeDirDel_Click() {
    QTreeWidgetItem* node = selectedFolderNode();
    if (!node)
        return;
    if (CatalogTree::tag(node) == kRoot) {
        warn(QStringLiteral("削除できません"));
        return;
    }
    QTreeWidgetItem* parent = node->parent();
    if (node->childCount() > 0) {
        if (askBeforeDeleting(QStringLiteral("このフォルダに格納されているアイテムがあります\r\n"
                                             "それでも削除を実行しますか？"),
                              MsgIcon::None, MsgButtons::YesNo) != MsgAnswer::Yes)
            return;
        // Deleting a folder never deletes what it holds: everything moves up one level.
        const QString parentName = CatalogTree::tag(parent) == kRoot ? kRoot : parent->text(0);
        while (node->childCount() > 0) {
            QTreeWidgetItem* child = node->takeChild(0);
            parent->addChild(child);
            const int index = CatalogTree::appIndex(child, m_apps.size());
            if (index >= 0) {
                PackApp& app = m_apps[size_t(index)];
                app.setAppDir(parentName);
                app.SaveConfig();
            }
        }
    }
    m_tree.removeNode(CatalogTree::key(node));
    m_hooks.saveFolders();
    m_hooks.reloadTree();
}

void TreeEditing::TreeView_DeleteKey() {
    const QTreeWidgetItem* node = m_tree.currentItem();
    if (!node)
        return;
    const QString tag = CatalogTree::tag(node);
    if (tag == kRoot)
        return;
    if (tag.isEmpty())
        showMessage(QStringLiteral("フォルダの削除は...\r\n\r\nフォルダ右クリック → フォルダの削除"));
    else
        showMessage(QStringLiteral("アプリケーションの削除は...\r\n\r\nアプリ右クリック → プロパティ → 削除"));
}

} // namespace vadok
