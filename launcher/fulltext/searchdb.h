#pragma once

#include <QByteArray>
#include <QString>

#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace vadok {

// The index file: one SQLite database in WAL mode, so that a reader answers while the
// indexing thread writes. It is only a cache, so nothing is synced to disk.
//
//   apps(id, title UNIQUE, notes, source)    one row per indexed application; source says
//                                            which version of its texts is indexed
//   docs(body) FTS5, trigram tokens          one row per searchable text, folded
//   docmeta(id = docs.rowid, app, tier,      where each text comes from: tier 0 the title,
//           place, original)                 1 the notes, 2 a bundled text named place;
//                                            original is the text as written, for excerpts
//
// user_version names the layout; a file of another layout is made anew.

// A failed statement. Thrown by the helpers below so that a pass or a query gives up at the
// first failure; damage() tells a damaged file from a passing failure (a full disk).
struct SqlError {
    int code = 0;
    std::string message;
    bool damage() const;
};

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

    // Opens (creating it and its tables when needed) the file for the indexing thread.
    // Throws SqlError; a file that is damaged throws one whose damage() is true.
    void openForWriting(const QString& path);
    // Opens an existing file for queries; false when there is none yet.
    bool openForReading(const QString& path);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    sqlite3* handle() const { return m_db; }

    void exec(const char* sql);

private:
    void createTables();

    sqlite3* m_db = nullptr;
};

// Removes the index file and what SQLite keeps beside it (-wal, -shm).
void removeSearchDbFiles(const QString& path);

} // namespace vadok
