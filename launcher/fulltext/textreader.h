#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vadok {

// Reading, decoding and folding a text costs about as much as indexing it, so one thread
// reads the applications' texts in order while the indexing thread writes what it read: the
// two run on two cores. At most kReadAhead bytes wait between them, so memory stays small.

// One text ready to be written: its place, and its original and folded forms in UTF-8.
struct PreparedText {
    QString place;
    QByteArray original;
    QByteArray folded;
};

// What the reader hands over, per application in the order asked: its texts, then its end.
struct ReadItem {
    std::size_t job = 0;
    bool end = false; // the application's texts are complete
    PreparedText text;
    qint64 bytes = 0; // at the end: bytes of files taken
    bool cut = false; // at the end: some of its texts were left out
};

// How much text is taken: from one application, and from all the applications of a reader
// together (what the index may still grow by).
struct TextBudget {
    qint64 perApp = 0;
    qint64 all = 0;
};

// Where one application's texts come from.
struct TextJob {
    QString folder;  // read from this folder when set
    QString archive; // else from this archive when set
};

class TextReader {
public:
    static constexpr qint64 kReadAhead = 4 * 1024 * 1024;

    // at, when set, is called on the reading thread: "archive" as an archive is opened,
    // "text" after each text is read.
    TextReader(std::vector<TextJob> jobs, TextBudget budget,
               std::function<void(const char* point)> at = {});
    ~TextReader(); // stops the reader and waits for it
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    // The next item; false when every job has ended. What the reading thread threw (say, out
    // of memory on a text) is thrown here, after the items read before it.
    bool next(ReadItem& item);

private:
    void run();
    bool put(ReadItem item);

    std::vector<TextJob> m_jobs;
    TextBudget m_budget;
    std::function<void(const char* point)> m_at;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ReadItem> m_queue;
    qint64 m_queued = 0;
    bool m_done = false;
    bool m_stop = false;
    std::exception_ptr m_error;
    std::thread m_thread;
};

} // namespace vadok
