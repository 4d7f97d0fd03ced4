// The third status panel: what the selected application, or every application below the
// selected folder, takes in the pack folder against what it expands to.
#include "mainwindow/frmmain.h"

#include "mainwindow/catalogsizes.h"
#include "mainwindow/catalogtree.h"
#include "platform/programfolder.h"
#include "util/conflictcopies.h"
#include "util/sizetext.h"

#include <QFile>

#include <QLabel>
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

void frmMain::createSizesPanel() {
    // The answers name this machine's inodes, so they are kept outside the program folder. A
    // store left there by an earlier version, and the conflict copies a sync engine made of
    // it when two machines wrote it at once, are only a cache: they go.
    const QString shared = programFolder() + QStringLiteral("vadok.sizes");
    QStringList stale = conflictCopiesOf(shared);
    stale << shared;
    for (const QString& file : std::as_const(stale))
        QFile::remove(file);
    m_sizes = new CatalogSizes(machineCacheFile(QStringLiteral("vadok.sizes")), this);
    connect(m_sizes, &CatalogSizes::updated, this, &frmMain::showSizesOfShownNode);
}

void frmMain::collectArchives(QTreeWidgetItem* node, QStringList& archives) const {
    bool ok = false;
    const int index = CatalogTree::tag(node).toInt(&ok);
    if (ok && index >= 1 && index < int(m_apps.size())) {
        const PackApp& app = m_apps[size_t(index)];
        if (!app.ShortCut())
            archives.append(app.archivePath());
        return;
    }
    for (int i = 0; i < node->childCount(); ++i)
        collectArchives(node->child(i), archives);
}

void frmMain::showSizes(QTreeWidgetItem* node) {
    if (!node || !m_sizes) {
        m_panel3->clear();
        return;
    }
    QStringList archives;
    collectArchives(node, archives);
    const bool folder = !CatalogTree::tag(node).toInt();
    const CatalogSizes::Totals totals = m_sizes->totals(archives);
    if (!totals.complete)
        m_panel3->setText(QStringLiteral("サイズを集計しています..."));
    else if (folder)
        m_panel3->setText(folderSizesText(totals));
    else
        // A shortcut entry, or an application without an archive, has nothing to show.
        m_panel3->setText(totals.archives ? appSizesText(totals) : QString());
}

void frmMain::showSizesOfShownNode() {
    showSizes(m_tree->node(m_tree->shownKey()));
}

} // namespace vadok
