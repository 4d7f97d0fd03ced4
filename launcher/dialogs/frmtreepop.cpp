#include "dialogs/frmtreepop.h"

#include "dialogs/catalogtreecopy.h"
#include "platform/prompter.h"
#include "resources/builtinimages.h"
#include "util/mainwindowlink.h"

#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vadok {

namespace {

enum Role { KeyRole = Qt::UserRole + 1, TagRole };

const QString kMainRoot = QStringLiteral("ROOT");

// One icon that draws selected while its node is selected, as the main window's tree does.
QIcon nodeIcon(const QHash<QString, QIcon>& images, const QString& image,
               const QString& selectedImage) {
    const QIcon normal = images.value(image);
    const QIcon selected = images.value(selectedImage);
    if (image == selectedImage || selected.isNull())
        return normal;
    QIcon icon;
    for (const QSize& size : normal.availableSizes())
        icon.addPixmap(normal.pixmap(size), QIcon::Normal);
    for (const QSize& size : selected.availableSizes())
        icon.addPixmap(selected.pixmap(size), QIcon::Selected);
    return icon;
}

// Applications carry their index, from 1; the root and folders carry no number.
bool isApplication(const QTreeWidgetItem* node) {
    if (!node)
        return false;
    bool number = false;
    const int index = node->data(0, TagRole).toString().toInt(&number);
    return number && index > 0;
}

} // namespace

frmTreePop::frmTreePop(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmTreePop"));
    setWindowTitle(QStringLiteral("AppSelection"));

    m_treeView = new QTreeWidget(this);
    m_treeView->setObjectName(QStringLiteral("TreeView"));
    m_treeView->setHeaderHidden(true);
    m_treeView->setColumnCount(1);
    m_lblInfo = new QLabel(QStringLiteral("アプリケーションを選択してOKを押してください"), this);
    m_lblInfo->setObjectName(QStringLiteral("lblInfo"));
    m_cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    m_cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdCancel->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblInfo);
    layout->addWidget(m_treeView, 1);
    layout->addLayout(buttons);
    resize(320, 420);

    connect(m_cmdOK, &QPushButton::clicked, this, &frmTreePop::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmTreePop::reject);
    // A double click picks an application; on a folder it only opens or closes it.
    connect(m_treeView, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* node) {
        if (isApplication(node))
            cmdOK_Click();
    });
}

void frmTreePop::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
}

void frmTreePop::Form_Load() {
    m_treeView->clear();
    const MainWindowLink* link = mainWindowLink();
    const CatalogTreeCopy tree = link ? link->copyOfCatalogTree() : CatalogTreeCopy();
    QHash<QString, QIcon> images = tree.images;
    if (!images.contains(QStringLiteral("exeicon")))
        images.insert(QStringLiteral("exeicon"), QIcon(builtinImage(QStringLiteral("exeicon"))));

    auto* root = new QTreeWidgetItem(m_treeView, {QStringLiteral("Vadok")});
    root->setData(0, KeyRole, QStringLiteral("Vadok"));
    root->setData(0, TagRole, kMainRoot);
    root->setIcon(0, images.value(QStringLiteral("exeicon")));

    // Looked up by the main tree's keys, under which the main root stands for this root: an
    // application called "Vadok" keeps its own node.
    QHash<QString, QTreeWidgetItem*> copies{{kMainRoot, root}};
    for (const CatalogNode& node : tree.nodes) {
        QTreeWidgetItem* parent = copies.value(node.parentKey);
        if (node.key == kMainRoot || !parent || copies.contains(node.key))
            continue;
        auto* item = new QTreeWidgetItem(parent, {node.text});
        item->setData(0, KeyRole, node.key);
        item->setData(0, TagRole, node.tag);
        item->setIcon(0, nodeIcon(images, node.image, node.selectedImage));
        copies.insert(node.key, item);
    }
    root->setExpanded(true);
    m_treeView->setCurrentItem(root);
}

void frmTreePop::cmdOK_Click() {
    const QTreeWidgetItem* node = m_treeView->currentItem();
    if (!isApplication(node)) {
        showMessage(QStringLiteral("アプリケーションを選択してください。"));
        return;
    }
    setWindowTitle(node->data(0, KeyRole).toString());
    accept();
}

void frmTreePop::reject() {
    setWindowTitle(QStringLiteral("Cancel"));
    QDialog::reject();
}

} // namespace vadok
