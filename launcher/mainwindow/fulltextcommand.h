#pragma once

#include <QObject>
#include <utility>

class QAction;
class QWidget;

namespace vadok {

class FullTextSearch;
class frmFullText;

// Full-text search: the window's side. It owns the index, which the window has follow every
// change to the catalog, and opens the dialog that asks it; a result chosen there goes back
// to the window to be selected in the tree, or run, as if the user had found it there.
class FullTextCommand : public QObject {
    Q_OBJECT
public:
    // action opens the dialog; its key works on window also while the menu bar is hidden.
    FullTextCommand(QWidget& window, QAction* action);

    FullTextSearch& search() const { return *m_search; }
    // Has the index catch up with the data file and the archives; never waits for it.
    void refresh();
    // Opens the dialog, or brings it up again.
    void open();

signals:
    void selectRequested(const QString& title);
    void runRequested(const QString& title);

private:
    QWidget& m_window;
    FullTextSearch* m_search = nullptr;
    frmFullText* m_dialog = nullptr;
    // Applications done of all in the index's current build.
    std::pair<int, int> m_progress{0, 0};
};

} // namespace vadok
