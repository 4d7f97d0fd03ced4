#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace vadok {

// The index file: one SQLite database in WAL mode, so that a reader answers while the
// indexing thread writes. It is only a cache, so nothing is synced to disk.
//
//   apps(id, title UNIQUE, notes, source,    one row per indexed application; source says
//        textbytes, cut)                     which version of its texts is indexed,
//                                            textbytes how many bytes of files they came
//                                            from, cut whether some were left out
//   docs(body) FTS5, trigram tokens          one row per searchable text, folded
//   docmeta(id = docs.rowid, app, tier,      where each text comes from: tier 0 the title,
//           place, original)                 1 the notes, 2 a bundled text named place;
//                                            original is the text as written, for excerpts
//
// user_version names the layout. Whatever else is in the file is not trusted: a file whose
// schema (tables, indexes, views, triggers, the full-text table's settings) is not exactly
// the one made here is treated as damaged and made anew, and connections run with views,
// triggers and functions of the file's own switched off.

// A failed statement. Thrown by the helpers below so that a pass or a query gives up at the
// first failure; damage() tells a file to be made anew from a passing failure (a full disk).
struct SqlError {
    int code = 0;
    std::string message;
    bool foreign = false; // the file is not an index as SearchDb makes it
    bool damage() const;
    bool interrupted() const;
};

// Why the index could not be used, in the user's words.
QString reasonOf(const SqlError& error);

class SqlStatement {
public:
    SqlStatement(sqlite3* db, const char* sql);
    ~SqlStatement();
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;

    SqlStatement& bind(int index, qint64 value);
    SqlStatement& bind(int index, const QString& value);
    // Text already in UTF-8, which must outlive the statement's next step.
    SqlStatement& bindUtf8(int index, const QByteArray& utf8);
    // True while a row is there to read.
    bool step();
    // Runs a statement that returns no rows, and makes it ready to run again.
    void run();
    void reset();
    qint64 integer(int column) const;
    double real(int column) const;
    QString text(int column) const;
    int columnCount() const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

class SearchDb {
public:
    SearchDb() = default;
    ~SearchDb();
    SearchDb(const SearchDb&) = delete;
    SearchDb& operator=(const SearchDb&) = delete;

    // Asked every few thousand steps of a statement; true stops it (SQLITE_INTERRUPT).
    using Cancel = std::function<bool()>;

    // Opens (creating it and its tables when needed) the file for the indexing thread.
    // Throws SqlError: one whose damage() is true for a damaged or foreign file, which the
    // caller removes (removeIndexEntries) before it opens again.
    void openForWriting(const QString& path, int busyTimeoutMs, Cancel cancel = {});
    // Opens an existing file for queries; false when there is none yet. Throws as above.
    bool openForReading(const QString& path, Cancel cancel = {});
    void close();
    bool isOpen() const { return m_db != nullptr; }
    sqlite3* handle() const { return m_db; }

    void exec(const char* sql);

private:
    void open(const QString& path, int flags, Cancel cancel);
    // True when the file holds no tables yet (a new file, or one still being made).
    bool isEmpty();
    void checkLayout();
    void createTables();
    static int progress(void* self);

    sqlite3* m_db = nullptr;
    Cancel m_cancel;
};

} // namespace vadok
