// Search: titles as the user types, notes on Shift/Ctrl/Alt+Enter, in a list over the tree;
// Up and Down move through the hits and show each one, Enter runs the one selected or,
// with none selected, only leaves the search.
#include "mainwindow/frmmain.h"

#include "catalog/notessearch.h"
#include "catalog/settings.h"
#include "catalog/titlematch.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/searchbox.h"
#include "util/statustext.h"

#include <QAction>
#include <QListWidget>
#include <QShortcut>
#include <QTreeWidgetItemIterator>

namespace vadok {

namespace {

// A hit carries the key and the tag of its tree node; the tag is what finds it again.
constexpr int kKeyRole = Qt::UserRole;
constexpr int kTagRole = Qt::UserRole + 1;

QString tagOf(const QListWidgetItem* item) {
    return item ? item->data(kTagRole).toString() : QString();
}

} // namespace

void frmMain::createSearchControls() {
    m_txtSearch = new SearchBox(centralWidget());
    m_txtSearch->setObjectName(QStringLiteral("txtSearch"));
    m_txtSearch->setToolTip(QStringLiteral("Shift+Enterを押すと名称・説明文から検索します。"));
    m_listSearch = new QListWidget(centralWidget());
    m_listSearch->setObjectName(QStringLiteral("listviewSearch"));
    m_listSearch->setIconSize(QSize(16, 16));
    m_listSearch->setUniformItemSizes(true);
    SetSearchControlsVisible(false);

    connect(m_txtSearch, &QLineEdit::textChanged, this, &frmMain::txtSearch_Change);
    connect(m_txtSearch, &SearchBox::enterPressed, this, &frmMain::txtSearch_KeyDown);
    connect(m_txtSearch, &SearchBox::upPressed, this, &frmMain::txtSearch_Up);
    connect(m_txtSearch, &SearchBox::downPressed, this, &frmMain::txtSearch_Down);
    connect(m_listSearch, &QListWidget::itemClicked, this, &frmMain::listviewSearch_ItemClick);
    connect(m_listSearch, &QListWidget::itemDoubleClicked, this,
            [this] { listviewSearch_DblClick(); });

    // F3 or Ctrl+F, as FindKey says; with any other modifiers the key does nothing. Held
    // down, it toggles once.
    m_findShortcut = new QShortcut(this);
    m_findShortcut->setObjectName(QStringLiteral("FindKey"));
    m_findShortcut->setContext(Qt::WindowShortcut);
    m_findShortcut->setAutoRepeat(false);
    connect(m_findShortcut, &QShortcut::activated, this, &frmMain::ToggleSearchMode);
    applyFindKey();

    connect(menuCommand("mnuSearch"), &QAction::triggered, this, &frmMain::ToggleSearchMode);
}

void frmMain::applyFindKey() {
    switch (settings().Key.FindKey) {
    case 1:
        m_findShortcut->setKey(QKeySequence(Qt::Key_F3));
        break;
    case 2:
        m_findShortcut->setKey(QKeySequence(Qt::CTRL | Qt::Key_F));
        break;
    default:
        m_findShortcut->setKey(QKeySequence());
        break;
    }
}

void frmMain::ToggleSearchMode() {
    if (settings().Color.DispSearchTextBoxAnyTime) {
        // The box is always there: the key only takes the user to it.
        m_txtSearch->setFocus();
        return;
    }
    m_searchMode = !m_searchMode;
    SetSearchControlsVisible(m_searchMode);
    ResizeLayout();
    if (!m_searchMode) {
        m_tree->setFocus();
        SetStatusText(QString(), 1);
        return;
    }
    m_txtSearch->clear();
    // A notes search on an empty box leaves hits that no change of the text would clear.
    m_listSearch->clear();
    m_txtSearch->setFocus();
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

void frmMain::addSearchHit(const QString& title) {
    const QTreeWidgetItem* node = FindNodeByTitle(title);
    if (!node)
        return;
    const QString text = node->text(0);
    // Filled before it joins the list: every change to an item in a list looks the item up
    // among all the others.
    auto* item = new QListWidgetItem(m_tree->image(text), text);
    item->setData(kKeyRole, CatalogTree::key(node));
    item->setData(kTagRole, CatalogTree::tag(node));
    m_listSearch->addItem(item);
}

void frmMain::selectSearchHit(int row) {
    m_listSearch->setCurrentRow(row);
    if (QListWidgetItem* item = m_listSearch->item(row))
        m_listSearch->scrollToItem(item);
}

void frmMain::txtSearch_Change(const QString& text) {
    m_listSearch->clear();
    const bool always = settings().Color.DispSearchTextBoxAnyTime;
    if (text.isEmpty()) {
        if (always)
            m_listSearch->hide();
        return;
    }
    // The file as last saved, not the tree: an application renamed by another program is
    // found under its new title.
    for (const QString& title : SearchTitles(text))
        addSearchHit(title);
    // Nothing is selected until Down or Up: Enter straight after typing runs nothing.
    if (always)
        m_listSearch->show();
}

void frmMain::txtSearch_KeyDown(Qt::KeyboardModifiers modifiers) {
    if (modifiers != Qt::NoModifier) {
        m_listSearch->clear();
        for (const QString& title : SearchNotes(m_txtSearch->text()).split(u'\t', Qt::SkipEmptyParts))
            addSearchHit(title);
        return;
    }
    if (m_listSearch->count() == 0)
        return;
    listviewSearch_DblClick();
    ToggleSearchMode();
}

void frmMain::txtSearch_Up() {
    const int count = m_listSearch->count();
    if (count == 0)
        return;
    const int row = m_listSearch->currentRow();
    if (row < 0 || !m_listSearch->currentItem()->isSelected())
        return;
    selectSearchHit(row == 0 ? count - 1 : row - 1);
    listviewSearch_Click();
}

void frmMain::txtSearch_Down() {
    const int count = m_listSearch->count();
    if (count == 0)
        return;
    const QListWidgetItem* current = m_listSearch->currentItem();
    const int row = current && current->isSelected() ? m_listSearch->currentRow() : -1;
    selectSearchHit(row < 0 || row == count - 1 ? 0 : row + 1);
    listviewSearch_Click();
}

void frmMain::listviewSearch_Click() {
    const QList<QListWidgetItem*> selected = m_listSearch->selectedItems();
    if (!selected.isEmpty())
        ShowAppByTag(tagOf(selected.first()));
}

void frmMain::listviewSearch_ItemClick(QListWidgetItem* item) {
    ShowAppByTag(tagOf(item));
}

void frmMain::listviewSearch_DblClick() {
    const QList<QListWidgetItem*> selected = m_listSearch->selectedItems();
    if (selected.isEmpty())
        return;
    ShowAppByTag(tagOf(selected.first()));
    cmdExec_Click();
}

} // namespace vadok
