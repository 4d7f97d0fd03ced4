#pragma once

#include <QIcon>
#include <QRect>
#include <QWidget>

#include <functional>
#include <optional>

class QListWidget;
class QListWidgetItem;
class QShortcut;

namespace vadok {

class SearchBox;

// The search over the catalog tree: the box, the list of hits that covers the tree, the find
// key that toggles the search, and whether the search is on. Titles are searched as the user
// types, notes on Shift/Ctrl/Alt+Enter; Up and Down move through the hits and show each one,
// Enter runs the one selected or, with none selected, only leaves the search.
//
// The panel lies at the origin of its parent, so the box and the list are placed in the
// parent's coordinates; it covers only what it shows.
class SearchPanel : public QWidget {
    Q_OBJECT
public:
    // What a hit shows: the tree node an application title names.
    struct Hit {
        QString text;
        QString key;
        QString tag;
        QIcon icon;
    };
    using HitLookup = std::function<std::optional<Hit>(const QString& title)>;

    // The find key is a shortcut of window.
    SearchPanel(QWidget* parent, QWidget* window, HitLookup lookup);

    bool searchMode() const { return m_searchMode; }
    void setSearchMode(bool on) { m_searchMode = on; }
    // 1 F3, 2 Ctrl+F, anything else none.
    void setFindKey(int findKey);
    void setControlsVisible(bool visible);
    // The box shown on its own, as the always-shown box is.
    void showBox();
    // Empties the box and the hits and takes the focus.
    void startSearch();
    void focusBox();
    int boxHeightHint() const;
    // In the parent's coordinates.
    void place(const QRect& box, const QRect& list);

signals:
    void findKeyPressed();
    // A hit was selected: the window shows the node tagged tag.
    void hitShown(const QString& tag);
    // A hit is to be run.
    void hitRun(const QString& tag);
    // Enter ran the search's choice: the search is over.
    void searchDone();

private slots:
    void txtSearch_Change(const QString& text);
    void txtSearch_KeyDown(Qt::KeyboardModifiers modifiers);
    void txtSearch_Up();
    void txtSearch_Down();
    void listviewSearch_Click();
    void listviewSearch_ItemClick(QListWidgetItem* item);
    void listviewSearch_DblClick();

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void addSearchHit(const QString& title);
    void selectSearchHit(int row);
    // Covers from the origin to the far corner of what is shown, so that it takes no clicks
    // meant for the tree beside or below it.
    void fitToShownParts();

    SearchBox* m_box = nullptr;
    QListWidget* m_list = nullptr;
    QShortcut* m_findShortcut = nullptr;
    HitLookup m_lookup;
    QRect m_boxRect;
    QRect m_listRect;
    bool m_searchMode = false;
};

} // namespace vadok
