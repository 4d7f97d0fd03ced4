#pragma once
#include <QObject>
#include <QString>
#include <QList>
#include <vector>
#include <memory>

namespace vadok {

// One application found: where the words were found and a one-line excerpt.
struct FullTextHit {
    QString title;          // the application's title (AppName)
    QString place;          // "名称", "説明", or the file's name inside the application
                            // as it is stored, e.g. "readme.txt" or "doc/usage.html"
    QString excerpt;        // one line (no line breaks), at most about 80 characters
    QList<QPair<int, int>> marks; // [start, length) in excerpt of each found word
};

// The full-text index of the catalog: titles, notes and the texts that came with each
// application, kept in vadok.search.db beside the data file. Only a cache.
// Lives on the GUI thread; the indexing runs on its own worker thread.
class FullTextSearch : public QObject {
    Q_OBJECT
public:
    explicit FullTextSearch(QObject* parent = nullptr);  // db path: beside dataFilePath()
    ~FullTextSearch() override;                          // stops and joins the worker

    // Brings the index up to date with the data file and the archives/expanded folders:
    // starts the worker when idle, or makes a running pass run once more when it ends.
    // Never blocks. Cheap when nothing changed (stat + compare per application).
    void refresh();

    // Best first; every space-separated word must occur; answers from what is indexed so
    // far. Blocks only for the query itself (target < 30 ms at 1,000 apps / 50 MB).
    std::vector<FullTextHit> query(const QString& text, int limit = 100);

    bool isIndexing() const;

    // For tests: waits until the worker is idle (no timing: returns when the pass ended).
    void waitUntilIdle();

signals:
    // Queued to the GUI thread: applications done of all in the current pass.
    void progress(int done, int total);
    // A pass ended (index up to date as of its start).
    void indexed();
    // The database was damaged (or unreadable) and was recreated; message is Japanese,
    // for the status bar, e.g. "全文検索の索引が壊れていたため、作り直しています。"
    void rebuilt(const QString& message);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace vadok
