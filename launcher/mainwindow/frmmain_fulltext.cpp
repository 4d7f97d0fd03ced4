// Full-text search: the window's side. The window owns the index, has it follow every change
// to the catalog, and opens the dialog that asks it; a result chosen there is selected in the
// tree, or run, as if the user had found it in the tree.
#include "mainwindow/frmmain.h"

#include "dialogs/frmfulltext.h"
#include "fulltext/fulltextsearch.h"
#include "mainwindow/catalogtree.h"
#include "util/statustext.h"

#include <QAction>
#include <QKeySequence>

namespace vadok {

void frmMain::createFullTextSearch() {
    m_fullText = new FullTextSearch(this);
    connect(m_fullText, &FullTextSearch::rebuilt, this,
            [this](const QString& message) { SetStatusText(message, 1); });
    connect(m_fullText, &FullTextSearch::failed, this,
            [this](const QString& message) { SetStatusText(message, 1); });
    connect(m_fullText, &FullTextSearch::progress, this,
            [this](int done, int total) { m_fullTextProgress = {done, total}; });

    QAction* item = m_menus.fullTextSearch;
    item->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    // Also the window's own: the key works while the menu bar is hidden.
    addAction(item);
    connect(item, &QAction::triggered, this, &frmMain::mnuFullTextSearch_Click);
}

void frmMain::refreshFullTextIndex() {
    m_fullText->refresh();
}

void frmMain::mnuFullTextSearch_Click() {
    if (!m_fullTextDialog) {
        m_fullTextDialog = new frmFullText([this](const QString& text) { m_fullText->ask(text); }, this);
        connect(m_fullText, &FullTextSearch::answered, m_fullTextDialog,
                &frmFullText::showAnswer);
        connect(m_fullText, &FullTextSearch::progress, m_fullTextDialog,
                &frmFullText::showProgress);
        connect(m_fullText, &FullTextSearch::indexed, m_fullTextDialog,
                [this] { m_fullTextDialog->showIndexed(m_fullText->cutApplications()); });
        connect(m_fullText, &FullTextSearch::failed, m_fullTextDialog, &frmFullText::showFailed);
        connect(m_fullTextDialog, &frmFullText::selectRequested, this,
                &frmMain::selectAppByTitle);
        connect(m_fullTextDialog, &frmFullText::runRequested, this, [this](const QString& title) {
            if (selectAppByTitle(title))
                cmdExec_Click();
        });
        // Opened during a build, it says at once how far the build is; after one, what it cut.
        if (m_fullText->isIndexing())
            m_fullTextDialog->showProgress(m_fullTextProgress.first, m_fullTextProgress.second);
        else
            m_fullTextDialog->showIndexed(m_fullText->cutApplications());
    }
    m_fullTextDialog->bringUp();
}

bool frmMain::selectAppByTitle(const QString& title) {
    QTreeWidgetItem* node = FindNodeByTitle(title);
    if (!node) {
        // Deleted or renamed since the index last saw it.
        SetStatusText(u'[' + title + QStringLiteral("]は見つかりません。"), 1);
        return false;
    }
    activateWindow();
    m_tree->setFocus();
    // Opens the folders above it.
    m_tree->scrollToItem(node);
    m_tree->setCurrentItem(node);
    TreeView_NodeClick(node);
    return true;
}

} // namespace vadok
