#pragma once

#include "fulltext/fulltextsearch.h"

#include <QDialog>

#include <functional>
#include <optional>
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
// dialog says how far the build is and answers from what is indexed already. Queries are
// asked, not run: the answer comes back through showAnswer(), and the window never waits.
class frmFullText : public QDialog {
    Q_OBJECT
public:
    // Asks the index for text; the answer is handed to showAnswer() later (or at once).
    using Ask = std::function<void(const QString& text)>;

    // The role of the excerpt column that holds the excerpt as rich text, its words in bold.
    static constexpr int MarkedExcerptRole = Qt::UserRole + 1;

    explicit frmFullText(Ask ask, QWidget* parent = nullptr);

    // The answer to text; one for a text no longer in the box is dropped.
    void showAnswer(const QString& text, const FullTextAnswer& answer);
    // The index is being built: applications done of all. Results follow as the build goes.
    void showProgress(int done, int total);
    // The build is over: the progress line goes and the results are asked for again; cut
    // names the applications whose texts were indexed only in part.
    void showIndexed(const QStringList& cut);
    // The build ended early: the results are what was indexed before, and message says why.
    void showFailed(const QString& message);
    // Whether the answer to the text in the box is still awaited.
    bool isAsking() const { return !m_asked.isEmpty(); }
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

    Ask m_ask;
    QString m_asked;  // the text whose answer is awaited
    QString m_chosen; // the title to keep current when the answer still holds it
    std::optional<bool> m_chooseOnAnswer; // Enter (true: Ctrl+Enter) came before the answer
    QLineEdit* m_box = nullptr;
    QLabel* m_progress = nullptr;
    QLabel* m_failure = nullptr; // why the last query found nothing, when it failed
    QLabel* m_cut = nullptr;
    QTreeWidget* m_results = nullptr;
    // Progress comes once an application; asking again each time would hold up typing.
    QTimer* m_requery = nullptr;
};

} // namespace vadok
