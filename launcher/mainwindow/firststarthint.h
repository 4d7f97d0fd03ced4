#pragma once

#include <QLabel>

namespace vadok {

class CatalogTree;

// Tells a new user how to take in an application, written over the empty part of the tree
// while the catalog holds no application; it goes as soon as one is there, and comes back
// when the last one is deleted. It lets the mouse and drops through to the tree.
class FirstStartHint : public QLabel {
    Q_OBJECT
public:
    explicit FirstStartHint(CatalogTree* tree);

    static QString text();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Counted once the tree has settled: many nodes change in one go while it is built.
    void scheduleRefresh();
    void refresh();
    void place();

    CatalogTree* m_tree;
    bool m_refreshPending = false;
};

} // namespace vadok
