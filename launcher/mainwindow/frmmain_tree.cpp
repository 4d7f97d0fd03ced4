// Building the catalog tree from the data file, writing its folder structure back, and the
// selected node shown in the information panel.
#include "mainwindow/frmmain.h"

#include "catalog/appnamerules.h"
#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/datafilecache.h"
#include "catalog/datafilemerge.h"
#include "catalog/settings.h"
#include "catalog/xmldocument.h"
#include "mainwindow/appstate.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/foldermergebase.h"
#include "mainwindow/iconloader.h"
#include "mainwindow/infopanel.h"
#include "mainwindow/nodekeys.h"
#include "mainwindow/sizespanel.h"
#include "mainwindow/stoprequest.h"
#include "platform/prompter.h"
#include "util/statustext.h"

#include <QApplication>
#include <QFileInfo>
#include <QSet>
#include <QStyle>
#include <QTimer>
#include <QtDebug>

#include <exception>

namespace vadok {

namespace {

const QString kRoot = QStringLiteral("ROOT");
const QString kName = QStringLiteral("Name");
const QString kParent = QStringLiteral("Parent");
const QString kLoading = QStringLiteral("アプリケーション一覧を呼び出しています。");
// '!' is refused in titles, so no application's own image can take this key.
const QString kRefusedImage = QStringLiteral("!refused");

// Folders first, in file order: a folder listed before its parent finds no parent and is
// left out.
void addFolderNodes(CatalogTree& tree, const QList<XmlElement>& folders) {
    for (const XmlElement& folder : folders) {
        const QString name = folder.attribute(kName);
        if (name == kRoot)
            continue;
        tree.addNode(folderKey(folder.attribute(kParent)), folderKey(name), name,
                     QStringLiteral("folclose"), QStringLiteral("folopen"));
    }
}

// Gives each application node its record, in file order, and deletes the second record of a
// name already shown. A node whose title fails the title rules takes no record and loses
// none. False when a stop was requested on the way.
bool attachAppRecords(CatalogTree& tree, const QList<XmlElement>& records,
                      const QSet<QString>& appKeys, std::vector<PackApp>& apps) {
    const int last = int(records.size()) - 1;
    for (int i = 0; i < int(records.size()); ++i) {
        QString name;
        try {
            const XmlElement& element = records[i];
            name = element.firstChild(kName).text();
            QTreeWidgetItem* node = appKeys.contains(name) ? tree.node(name) : nullptr;
            if (node && CatalogTree::hasRefusedTitle(node)) {
                // Shown with its warning; its files are not this catalog's to touch.
            } else if (node && CatalogTree::tag(node).isEmpty()) {
                AppRecord record;
                ReadAppRecord(element, record);
                apps.emplace_back(record);
                CatalogTree::setTag(node, QString::number(apps.size() - 1));
            } else if (node) {
                // A second record of a name that is shown already.
                AppRecord duplicate;
                duplicate.AppName = name;
                DeleteAppRecord(duplicate);
            }
        } catch (const std::exception& e) {
            // One unreadable record must not keep the rest of the catalog from the tree.
            qWarning() << "application record" << i << name << "left out of the tree:" << e.what();
        }
        if (i % 10 == 0) {
            SetStatusText(kLoading + QStringLiteral(" (%1/%2)").arg(i).arg(last), 1);
            if (StopRequested)
                return false;
        }
    }
    return true;
}

} // namespace

void frmMain::LoadTree() {
    setStage(WindowStage::Boot);
    // Before the old nodes go: the icons of the last build must not arrive on this one.
    m_icons->reset();
    SetStatusText(kLoading, 1);
    startEmptyTree();

    m_catalogComplete = false;
    // Held to the end of the build: a duplicate record deleted on the way edits a copy of
    // its own and leaves this one whole.
    m_folderBase.countChanges();
    const std::shared_ptr<const XmlDocument> doc = readDataFile();
    const bool readable = doc->isLoaded();
    m_folderBase.remember(doc->documentElement().firstChild(QStringLiteral("Folders")));
    const QList<XmlElement> folders = doc->select(QStringLiteral("//Folder"));
    addFolderNodes(*m_tree, folders);
    if (QTreeWidgetItem* root = m_tree->node(kRoot))
        root->setExpanded(true);
    QCoreApplication::processEvents();

    m_apps.clear();
    m_apps.resize(1);
    const QSet<QString> appKeys = addAppNodes(folders);
    if (QTreeWidgetItem* root = m_tree->node(kRoot)) {
        m_tree->setCurrentItem(root);
        TreeView_NodeClick(root);
    }
    if (!attachAppRecords(*m_tree, doc->select(QStringLiteral("//App")), appKeys, m_apps))
        return;

    m_catalogComplete = readable;
    SetStatusText(QStringLiteral("読み込み完了しました。"), 1);
    setStage(WindowStage::IconLoad);
    for (int i = 1; i < int(m_apps.size()); ++i)
        refreshAppState(*m_tree, m_apps, i);
    m_sizesPanel->showShownNode();
    m_gcTimer->setInterval(10);
    m_gcTimer->start();
}

void frmMain::startEmptyTree() {
    if (!QFileInfo::exists(dataFilePath())) {
        showMessage(QStringLiteral("データファイルが見つかりません\r\n新規作成します"));
        QString error;
        if (!CreateDataFileFromTemplate(&error))
            reportDataFileError(error);
    }
    m_tree->clearNodes();
    if (QTreeWidgetItem* root =
            m_tree->addNode(QString(), kRoot, QStringLiteral("Vadok"), QStringLiteral("exeicon"),
                            QStringLiteral("exeicon")))
        CatalogTree::setTag(root, kRoot);
}

QSet<QString> frmMain::addAppNodes(const QList<XmlElement>& folders) {
    // Under their folders in AppItem order. Only these nodes may take an application record:
    // a record named like a folder or "ROOT" stays out of the tree. Icons of the root's
    // applications show at once, the others' are queued. A title that could not name a file
    // is shown with a warning and never becomes an icon's path.
    QSet<QString> appKeys;
    for (const XmlElement& folder : folders) {
        const QString folderName = folder.attribute(kName);
        const QString parentKey = folderName == kRoot ? kRoot : folderKey(folderName);
        for (const XmlElement& item : folder.children()) {
            const QString name = item.text();
            QTreeWidgetItem* node = m_tree->addNode(parentKey, name, name);
            if (!node)
                continue;
            appKeys.insert(name);
            if (const QString refusal = nameRefusal(name); !refusal.isEmpty()) {
                CatalogTree::setTag(node, CatalogTree::refusedTitleTag(name));
                if (!m_tree->hasImage(kRefusedImage))
                    m_tree->addImage(kRefusedImage, style()->standardIcon(QStyle::SP_MessageBoxWarning));
                m_tree->setImage(node, kRefusedImage);
                node->setToolTip(0, refusal);
                continue;
            }
            if (folderName == kRoot)
                m_icons->showNow(name);
            else
                m_icons->enqueue(name);
        }
    }
    return appKeys;
}

int frmMain::SelectedAppIndex() const {
    const QTreeWidgetItem* node = m_tree->currentItem();
    if (!node || !node->isSelected())
        return -1;
    return CatalogTree::appIndex(node, m_apps.size());
}

void frmMain::SaveFolders() {
    // Before the first build, and while a build runs, the tree holds only part of the
    // catalog: written back, it would drop the folders and applications not read yet.
    if (m_stage == WindowStage::Init || m_stage == WindowStage::Boot || !m_tree->node(kRoot)) {
        qWarning() << "folder structure not saved: the catalog tree is still being built";
        return;
    }
    DataFileEdit edit;
    if (!edit.isLoaded()) {
        showMessage(edit.errorString(), MsgIcon::Exclamation);
        return;
    }
    XmlElement root = edit.doc().documentElement();
    XmlElement folders = root.firstChild(QStringLiteral("Folders"));
    if (folders.isNull())
        folders = root.appendChild(QStringLiteral("Folders"));
    folders.removeChildren();
    if (QTreeWidgetItem* top = m_tree->node(kRoot))
        WriteFolder(top, kRoot, 1, folders);
    std::unique_ptr<XmlDocument> shown = FolderMergeBase::alone(folders);
    // The file changed behind our back since the tree was built: another machine's folders
    // and placings, which this tree has never shown, are merged in rather than written over.
    if (m_folderBase.fileChangedSince() && m_folderBase.folders()) {
        const std::shared_ptr<const XmlDocument> onDisk = readDataFile();
        mergeDataFiles(edit.doc(), *onDisk, *m_folderBase.folders());
    }
    if (!edit.save()) {
        showMessage(edit.errorString(), MsgIcon::Exclamation);
        return;
    }
    m_folderBase.remember(std::move(shown));
}

void frmMain::WriteFolder(QTreeWidgetItem* top, const QString& topParent, int topOrder,
                          XmlElement& folders) {
    // Parents are written before their children, which is the order the build reads. The
    // walk keeps its own stack: folders read from a file can nest as deep as it is long.
    struct Pending {
        QTreeWidgetItem* node;
        QString parentName;
        int order;
    };
    QList<Pending> pending{{top, topParent, topOrder}};
    while (!pending.isEmpty()) {
        const Pending next = pending.takeLast();
        QTreeWidgetItem* node = next.node;
        const QString name = CatalogTree::tag(node) == kRoot ? kRoot : node->text(0);
        XmlElement folder = folders.appendChild(QStringLiteral("Folder"));
        folder.setAttribute(kName, name);
        folder.setAttribute(kParent, next.parentName);
        folder.setAttribute(QStringLiteral("Order"), QString::number(next.order));
        for (int i = 0; i < node->childCount(); ++i) {
            const QTreeWidgetItem* child = node->child(i);
            if (!CatalogTree::tag(child).isEmpty())
                folder.appendChild(QStringLiteral("AppItem")).setText(child->text(0));
        }
        // Last child first onto the stack, so that the first is written first.
        for (int i = node->childCount() - 1; i >= 0; --i) {
            QTreeWidgetItem* child = node->child(i);
            if (CatalogTree::tag(child).isEmpty())
                pending.append({child, name, i + 1});
        }
    }
}

void frmMain::TreeView_NodeClick(QTreeWidgetItem* node) {
    m_folderToggled = false;
    if (!node)
        return;
    const QString key = CatalogTree::key(node);
    if (key == m_tree->shownKey())
        return;
    // Recorded before the selection moves, so that the selection's own notice finds the
    // panel drawn already.
    m_tree->setShownKey(key);

    const QString tag = CatalogTree::tag(node);
    if (tag == kRoot) {
        m_info->showRoot();
    } else if (tag.isEmpty()) {
        m_info->showFolder(node->text(0));
    } else if (CatalogTree::hasRefusedTitle(node)) {
        m_info->showRefusedTitle(CatalogTree::key(node));
    } else {
        const int index = CatalogTree::appIndex(node, m_apps.size());
        if (index >= 0) {
            PackApp& app = m_apps[size_t(index)];
            m_info->showApp(app);
            m_menus.pack->setEnabled(!app.NonPack());
            refreshAppState(*m_tree, m_apps, index);
        }
    }
    m_sizesPanel->show(node);
    m_tree->setCurrentItem(node);
}

void frmMain::TreeView_Expand(QTreeWidgetItem* node) {
    if (CatalogTree::imageKey(node) == u"folclose")
        m_tree->setImage(node, QStringLiteral("folopen"), CatalogTree::selectedImageKey(node));
    m_pointerOnNode = false;
    m_folderToggled = true;
}

void frmMain::TreeView_Collapse(QTreeWidgetItem* node) {
    if (CatalogTree::imageKey(node) == u"folopen")
        m_tree->setImage(node, QStringLiteral("folclose"), CatalogTree::selectedImageKey(node));
    m_pointerOnNode = false;
    m_folderToggled = true;
}

} // namespace vadok
