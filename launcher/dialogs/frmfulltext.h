#pragma once

#include "fulltext/fulltextsearch.h"

#include <QDialog>

#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace vadok {

// The full-text search: a box, and the applications whose title, notes or bundled texts hold
// every word typed, best first, each with where the words were found and a line around them.
// Enter or a double click chooses the application, Ctrl+Enter runs it; either closes the
// dialog, as Escape does. Modeless: the window stays usable while the index is built, and the
// dialog says how far the build is and answers from what is indexed already.
class frmFullText : public QDialog {
    Q_OBJECT
public:
    using Query = std::function<std::vector<FullTextHit>(const QString& text)>;

    // The role of the excerpt column that holds the excerpt as rich text, its words in bold.
    static constexpr int MarkedExcerptRole = Qt::UserRole + 1;

    explicit frmFullText(Query query, QWidget* parent = nullptr);

    // The index is being built: applications done of all. Results follow as the build goes.
    void showProgress(int done, int total);
    // The build is over: the progress line goes and the results are asked for again.
    void showIndexed();
    // Brings the dialog up, active, with the last query selected so typing replaces it.
    void bringUp();

    // The excerpt with each [start, length) mark in bold, everything else escaped.
    static QString markedExcerpt(const QString& excerpt, const QList<QPair<int, int>>& marks);

signals:
    void selectRequested(const QString& title);
    void runRequested(const QString& title);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void search(bool keepChoice);
    void choose(bool run);
    void moveCurrent(int step);

    Query m_query;
    QLineEdit* m_box = nullptr;
    QLabel* m_progress = nullptr;
    QTreeWidget* m_results = nullptr;
    // Progress comes once an application; asking again each time would hold up typing.
    QTimer* m_requery = nullptr;
};

} // namespace vadok
