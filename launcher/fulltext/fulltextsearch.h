#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <QList>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace vadok {

// One application found: where the words were found and a one-line excerpt.
struct FullTextHit {
    QString title;          // the application's title (AppName)
    QString place;          // "名称", "説明", or the file's name inside the application
                            // as it is stored, e.g. "readme.txt" or "doc/usage.html"
    QString excerpt;        // one line (no line breaks), at most about 80 characters
    QList<QPair<int, int>> marks; // [start, length) in excerpt of each found word
};

// What a query found, or why it could not be answered: a failure is never "no hits".
struct FullTextAnswer {
    std::vector<FullTextHit> hits;
    QString error; // Japanese, for the user; empty when the query was answered
};

// What the launcher leaves at its defaults and tests change.
struct FullTextOptions {
    QString path; // the index file; empty: this machine's cache file for the program folder
    // The texts taken from one application, and from all together, in bytes of their files.
    qint64 appTextLimit = 4 * 1024 * 1024;
    qint64 indexTextLimit = 128 * 1024 * 1024;
    int busyTimeoutMs = 5000;
    // How long the destructor waits for the index's threads to end; past it, they are left
    // to end on their own (each stops at its next step) and the exit goes on.
    std::chrono::milliseconds exitWait{2000};
    // Called as each of the index's two threads is started ("worker start", "asker start"),
    // where tests throw std::system_error as a process out of threads would. Then on the
    // index's threads at fixed points: "pass" as a pass begins, "archive" as an
    // archive is opened for its texts, "text" after each text is read, "query" as a query begins, "worker ended" and "asker ended" as the
    // threads end. Tests hold a thread there, or throw.
    std::function<void(const char* point)> checkpoint;
};

// The full-text index of the catalog: titles, notes and the texts that came with each
// application, kept in this machine's cache folder (never in the program folder, which
// other machines and programs write to). Only a cache, and not trusted: a file that is not
// an index as vadok makes it is made anew.
// Lives on the GUI thread; the indexing and the queries asked with ask() run on threads of
// their own.
class FullTextSearch : public QObject {
    Q_OBJECT
public:
    explicit FullTextSearch(QObject* parent = nullptr, FullTextOptions options = {});
    ~FullTextSearch() override; // stops its threads, waiting for them at most exitWait

    // Brings the index up to date with the data file and the archives/expanded folders:
    // starts the worker when idle, or makes a running pass run once more when it ends.
    // Never blocks. Cheap when nothing changed (stat + compare per application).
    void refresh();

    // Best first; every space-separated word must occur; answers from what is indexed so
    // far. Runs on the calling thread.
    FullTextAnswer query(const QString& text, int limit = 100);
    // The same on the query thread, answered by answered(). A newer ask stops the one before
    // it, which is not answered.
    void ask(const QString& text, int limit = 100);

    bool isIndexing() const;
    // The applications whose texts were too many or too large to be indexed whole, as of the
    // last pass that ended.
    QStringList cutApplications() const;
    QString path() const;

    // For tests: waits until the worker is idle (no timing: returns when the pass ended).
    void waitUntilIdle();

signals:
    // Queued to the GUI thread: applications done of all in the current pass.
    void progress(int done, int total);
    // A pass ended (index up to date as of its start).
    void indexed();
    // A pass ended early on a failure; message is Japanese, for the status bar.
    void failed(const QString& message);
    // The database was damaged (or unreadable) and was recreated; message is Japanese,
    // for the status bar, e.g. "全文検索の索引が壊れていたため、作り直しています。"
    void rebuilt(const QString& message);
    // The answer to the latest ask().
    void answered(const QString& text, const vadok::FullTextAnswer& answer);

private:
    struct Private;
    std::shared_ptr<Private> d;
};

} // namespace vadok
