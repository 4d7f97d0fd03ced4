#include "mainwindow/searchpanel.h"

#include "catalog/notessearch.h"
#include "catalog/settings.h"
#include "catalog/titlematch.h"
#include "mainwindow/searchbox.h"

#include <QEvent>
#include <QListWidget>
#include <QShortcut>

namespace vadok {

namespace {

// A hit carries the key and the tag of its tree node; the tag is what finds it again.
constexpr int kKeyRole = Qt::UserRole;
constexpr int kTagRole = Qt::UserRole + 1;

QString tagOf(const QListWidgetItem* item) {
    return item ? item->data(kTagRole).toString() : QString();
}

} // namespace

SearchPanel::SearchPanel(QWidget* parent, QWidget* window, HitLookup lookup)
    : QWidget(parent), m_lookup(std::move(lookup)) {
    setObjectName(QStringLiteral("searchPanel"));
    m_box = new SearchBox(this);
    m_box->setObjectName(QStringLiteral("txtSearch"));
    m_box->setToolTip(QStringLiteral("Shift+Enterを押すと名称・説明文から検索します。"));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("listviewSearch"));
    m_list->setIconSize(QSize(16, 16));
    m_list->setUniformItemSizes(true);
    // The always-shown box shows and hides its hits on its own.
    m_list->installEventFilter(this);
    setControlsVisible(false);

    connect(m_box, &QLineEdit::textChanged, this, &SearchPanel::txtSearch_Change);
    connect(m_box, &SearchBox::enterPressed, this, &SearchPanel::txtSearch_KeyDown);
    connect(m_box, &SearchBox::upPressed, this, &SearchPanel::txtSearch_Up);
    connect(m_box, &SearchBox::downPressed, this, &SearchPanel::txtSearch_Down);
    connect(m_list, &QListWidget::itemClicked, this, &SearchPanel::listviewSearch_ItemClick);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { listviewSearch_DblClick(); });

    // F3 or Ctrl+F, as FindKey says; with any other modifiers the key does nothing. Held
    // down, it toggles once.
    m_findShortcut = new QShortcut(window);
    m_findShortcut->setObjectName(QStringLiteral("FindKey"));
    m_findShortcut->setContext(Qt::WindowShortcut);
    m_findShortcut->setAutoRepeat(false);
    connect(m_findShortcut, &QShortcut::activated, this, &SearchPanel::findKeyPressed);
}

void SearchPanel::setFindKey(int findKey) {
    switch (findKey) {
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

void SearchPanel::setControlsVisible(bool visible) {
    m_box->setVisible(visible);
    m_list->setVisible(visible);
    fitToShownParts();
}

void SearchPanel::showBox() {
    m_box->show();
    fitToShownParts();
}

void SearchPanel::startSearch() {
    m_box->clear();
    // A notes search on an empty box leaves hits that no change of the text would clear.
    m_list->clear();
    m_box->setFocus();
}

void SearchPanel::focusBox() {
    m_box->setFocus();
}

int SearchPanel::boxHeightHint() const {
    return m_box->sizeHint().height();
}

void SearchPanel::place(const QRect& box, const QRect& list) {
    m_boxRect = box;
    m_listRect = list;
    m_box->setGeometry(box);
    m_list->setGeometry(list);
    // The hits cover the tree; the box sits over its top.
    m_list->raise();
    m_box->raise();
    fitToShownParts();
    raise();
}

void SearchPanel::fitToShownParts() {
    QRect shown;
    if (!m_box->isHidden())
        shown |= m_boxRect;
    if (!m_list->isHidden())
        shown |= m_listRect;
    setVisible(!m_box->isHidden() || !m_list->isHidden());
    // From the origin: the children keep the parent's coordinates.
    resize(std::max(shown.right() + 1, 0), std::max(shown.bottom() + 1, 0));
}

bool SearchPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list &&
        (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        fitToShownParts();
    return QWidget::eventFilter(watched, event);
}

void SearchPanel::addSearchHit(const QString& title) {
    const std::optional<Hit> hit = m_lookup(title);
    if (!hit)
        return;
    // Filled before it joins the list: every change to an item in a list looks the item up
    // among all the others.
    auto* item = new QListWidgetItem(hit->icon, hit->text);
    item->setData(kKeyRole, hit->key);
    item->setData(kTagRole, hit->tag);
    m_list->addItem(item);
}

void SearchPanel::selectSearchHit(int row) {
    m_list->setCurrentRow(row);
    if (QListWidgetItem* item = m_list->item(row))
        m_list->scrollToItem(item);
}

void SearchPanel::txtSearch_Change(const QString& text) {
    m_list->clear();
    const bool always = settings().Color.DispSearchTextBoxAnyTime;
    if (text.isEmpty()) {
        if (always)
            m_list->hide();
        return;
    }
    // The file as last saved, not the tree: an application renamed by another program is
    // found under its new title.
    for (const QString& title : SearchTitles(text))
        addSearchHit(title);
    // Nothing is selected until Down or Up: Enter straight after typing runs nothing.
    if (always)
        m_list->show();
}

void SearchPanel::txtSearch_KeyDown(Qt::KeyboardModifiers modifiers) {
    if (modifiers != Qt::NoModifier) {
        m_list->clear();
        for (const QString& title : SearchNotes(m_box->text()).split(u'\t', Qt::SkipEmptyParts))
            addSearchHit(title);
        return;
    }
    if (m_list->count() == 0)
        return;
    listviewSearch_DblClick();
    emit searchDone();
}

void SearchPanel::txtSearch_Up() {
    const int count = m_list->count();
    if (count == 0)
        return;
    const int row = m_list->currentRow();
    if (row < 0 || !m_list->currentItem()->isSelected())
        return;
    selectSearchHit(row == 0 ? count - 1 : row - 1);
    listviewSearch_Click();
}

void SearchPanel::txtSearch_Down() {
    const int count = m_list->count();
    if (count == 0)
        return;
    const QListWidgetItem* current = m_list->currentItem();
    const int row = current && current->isSelected() ? m_list->currentRow() : -1;
    selectSearchHit(row < 0 || row == count - 1 ? 0 : row + 1);
    listviewSearch_Click();
}

void SearchPanel::listviewSearch_Click() {
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (!selected.isEmpty())
        emit hitShown(tagOf(selected.first()));
}

void SearchPanel::listviewSearch_ItemClick(QListWidgetItem* item) {
    emit hitShown(tagOf(item));
}

void SearchPanel::listviewSearch_DblClick() {
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return;
    emit hitRun(tagOf(selected.first()));
}

} // namespace vadok
