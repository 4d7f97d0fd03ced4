// Search: the window's side of the search panel. The find key toggles the search, a hit the
// panel shows is shown in the information panel as a click on its node would, and a hit it
// runs is run like the selected application.
#include "mainwindow/frmmain.h"

#include "catalog/settings.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/displaylayout.h"
#include "mainwindow/fulltextcommand.h"
#include "mainwindow/searchpanel.h"
#include "util/statustext.h"

#include <QAction>
#include <QTreeWidgetItemIterator>

namespace vadok {

void frmMain::createSearchControls() {
    m_search = new SearchPanel(
        centralWidget(), this, [this](const QString& title) -> std::optional<SearchPanel::Hit> {
            const QTreeWidgetItem* node = FindNodeByTitle(title);
            if (!node)
                return std::nullopt;
            const QString text = node->text(0);
            return SearchPanel::Hit{text, CatalogTree::key(node), CatalogTree::tag(node),
                                    m_tree->image(text)};
        });
    connect(m_search, &SearchPanel::findKeyPressed, this, &frmMain::ToggleSearchMode);
    connect(m_search, &SearchPanel::hitShown, this, &frmMain::ShowAppByTag);
    connect(m_search, &SearchPanel::hitRun, this, [this](const QString& tag) {
        ShowAppByTag(tag);
        cmdExec_Click();
    });
    connect(m_search, &SearchPanel::searchDone, this, &frmMain::ToggleSearchMode);
    m_search->setFindKey(settings().Key.FindKey);

    connect(m_menus.search, &QAction::triggered, this, &frmMain::ToggleSearchMode);
}

FullTextSearch& frmMain::fullTextSearch() const {
    return m_fullText->search();
}

bool frmMain::searchMode() const {
    return m_search->searchMode();
}

void frmMain::ToggleSearchMode() {
    if (settings().Color.DispSearchTextBoxAnyTime) {
        // The box is always there: the key only takes the user to it.
        m_search->focusBox();
        return;
    }
    const bool on = !m_search->searchMode();
    m_search->setSearchMode(on);
    m_search->setControlsVisible(on);
    m_display->ResizeLayout();
    if (!on) {
        m_tree->setFocus();
        SetStatusText(QString(), 1);
        return;
    }
    m_search->startSearch();
    const QString rest = QStringLiteral("キーを押すと戻ります。Shift+Enterを押すとタイトルと説明文から検索します。");
    if (settings().Key.FindKey == 1)
        SetStatusText(QStringLiteral("検索モードです。F3") + rest, 1);
    else if (settings().Key.FindKey == 2)
        SetStatusText(QStringLiteral("検索モードです。Ctrl+F") + rest, 1);
}

QTreeWidgetItem* frmMain::FindNodeByTitle(const QString& title) const {
    // Applications are keyed by their title, so the key finds the one node that can be a
    // hit; a folder of that name (a numeric one is keyed apart) is never one.
    QTreeWidgetItem* node = m_tree->node(title);
    if (!node || node->text(0) != title)
        return nullptr;
    const QString tag = CatalogTree::tag(node);
    return tag.isEmpty() || tag == u"ROOT" ? nullptr : node;
}

void frmMain::ShowAppByTag(const QString& tag) {
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        if (CatalogTree::tag(*it) == tag) {
            TreeView_NodeClick(*it);
            m_tree->scrollToItem(*it);
            return;
        }
    }
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
