#include "mainwindow/sizespanel.h"

#include "mainwindow/catalogsizes.h"
#include "mainwindow/catalogtree.h"
#include "platform/programfolder.h"
#include "util/conflictcopies.h"
#include "util/sizetext.h"

#include <QFile>
#include <QLabel>
#include <QStatusBar>
#include <QTreeWidgetItem>

namespace vadok {

namespace {

QString appSizesText(const CatalogSizes::Totals& t) {
    return QStringLiteral("格納 %1 / 展開 %2").arg(sizeText(t.packedBytes), sizeText(t.expandedBytes));
}

QString folderSizesText(const CatalogSizes::Totals& t) {
    const quint64 saved = t.expandedBytes > t.packedBytes ? t.expandedBytes - t.packedBytes : 0;
    return QStringLiteral("%1 本 格納 %2 / 展開 %3 (%4 節約)")
        .arg(t.archives)
        .arg(sizeText(t.packedBytes), sizeText(t.expandedBytes), sizeText(saved));
}

} // namespace

SizesPanel::SizesPanel(QStatusBar& bar, const CatalogTree& tree,
                       const std::vector<PackApp>& apps, QObject* parent)
    : QObject(parent), m_tree(tree), m_apps(apps) {
    // Right of the two panels every launcher has: the space the archives save.
    m_label = new QLabel(&bar);
    m_label->setObjectName(QStringLiteral("StatusBarSizes"));
    bar.addPermanentWidget(m_label);

    // The answers name this machine's inodes, so they are kept outside the program folder. A
    // store left there by an earlier version, and the conflict copies a sync engine made of
    // it when two machines wrote it at once, are only a cache: they go.
    const QString shared = programFolder() + QStringLiteral("vadok.sizes");
    QStringList stale = conflictCopiesOf(shared);
    stale << shared;
    for (const QString& file : std::as_const(stale))
        QFile::remove(file);
    m_sizes = new CatalogSizes(machineCacheFile(QStringLiteral("vadok.sizes")), this);
    connect(m_sizes, &CatalogSizes::updated, this, &SizesPanel::showShownNode);
}

void SizesPanel::collectArchives(QTreeWidgetItem* node, QStringList& archives) const {
    const int index = CatalogTree::appIndex(node, m_apps.size());
    if (index >= 0) {
        const PackApp& app = m_apps[size_t(index)];
        if (!app.ShortCut())
            archives.append(app.archivePath());
        return;
    }
    for (int i = 0; i < node->childCount(); ++i)
        collectArchives(node->child(i), archives);
}

void SizesPanel::show(QTreeWidgetItem* node) {
    if (!node) {
        m_label->clear();
        return;
    }
    QStringList archives;
    collectArchives(node, archives);
    const bool folder = !CatalogTree::tag(node).toInt();
    const CatalogSizes::Totals totals = m_sizes->totals(archives);
    if (!totals.complete)
        m_label->setText(QStringLiteral("サイズを集計しています..."));
    else if (folder)
        m_label->setText(folderSizesText(totals));
    else
        // A shortcut entry, or an application without an archive, has nothing to show.
        m_label->setText(totals.archives ? appSizesText(totals) : QString());
}

void SizesPanel::showShownNode() {
    show(m_tree.node(m_tree.shownKey()));
}

} // namespace vadok
