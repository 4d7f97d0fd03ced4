#include "fulltext/searchdb.h"

#include "fulltext/indexfiles.h"

#include <QFile>

#include <sqlite3.h>

namespace vadok {

namespace {

// No value vadok writes comes near this (a text is at most a few MB); a larger one is
// refused rather than read into memory.
constexpr int kLargestValue = 64 * 1024 * 1024;

// Terms wait in memory up to 'hashsize' bytes before they are written out: larger batches
// index faster (fewer, larger segments to merge), at the cost of that memory. user_version
// is the layout's number.
constexpr const char* kTables =
    "CREATE TABLE apps(id INTEGER PRIMARY KEY, title TEXT NOT NULL UNIQUE,"
    "                  notes TEXT NOT NULL, source TEXT NOT NULL,"
    "                  textbytes INTEGER NOT NULL DEFAULT 0, cut INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE docmeta(id INTEGER PRIMARY KEY, app INTEGER NOT NULL,"
    "                     tier INTEGER NOT NULL, place TEXT NOT NULL,"
    "                     original TEXT NOT NULL);"
    "CREATE INDEX docmeta_app ON docmeta(app);"
    "CREATE VIRTUAL TABLE docs USING fts5(body, tokenize = 'trigram case_sensitive 1');"
    "INSERT INTO docs(docs, rank) VALUES('hashsize', 12582912);"
    "PRAGMA user_version = 2;";

[[noreturn]] void fail(sqlite3* db, int code) {
    throw SqlError{code, db ? sqlite3_errmsg(db) : sqlite3_errstr(code)};
}

void run(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message); rc != SQLITE_OK) {
        SqlError error{rc, message ? message : sqlite3_errstr(rc)};
        sqlite3_free(message);
        throw error;
    }
}

QString rowsOf(sqlite3* db, const char* sql) {
    QString rows;
    SqlStatement q(db, sql);
    const int columns = q.columnCount();
    while (q.step()) {
        for (int c = 0; c < columns; ++c)
            rows += q.text(c) + u'\x1f';
        rows += u'\x1e';
    }
    return rows;
}

// Everything that makes a file an index as made here, beyond the rows: its layout number
// and its schema as a whole (tables, indexes, views, triggers).
QString schemaOf(sqlite3* db) {
    return rowsOf(db, "PRAGMA user_version") +
           rowsOf(db, "SELECT type, name, tbl_name, sql FROM sqlite_schema ORDER BY type, name");
}

// The full-text table's settings; read only once the schema is ours.
QString settingsOf(sqlite3* db) { return rowsOf(db, "SELECT k, v FROM docs_config ORDER BY k"); }

// The schema and settings of a file made here, as this SQLite writes them.
struct Layout {
    QString schema;
    QString settings;
};

const Layout& ourLayout() {
    static const Layout layout = [] {
        sqlite3* db = nullptr;
        sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        Layout made;
        try {
            run(db, kTables);
            made = {schemaOf(db), settingsOf(db)};
        } catch (...) {
            sqlite3_close_v2(db);
            throw;
        }
        sqlite3_close_v2(db);
        return made;
    }();
    return layout;
}

[[noreturn]] void foreign(const char* what) { throw SqlError{SQLITE_CORRUPT, what, true}; }

} // namespace

bool SqlError::damage() const {
    const int primary = code & 0xFF;
    return foreign || primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB ||
           primary == SQLITE_TOOBIG;
}

bool SqlError::interrupted() const { return (code & 0xFF) == SQLITE_INTERRUPT; }

QString reasonOf(const SqlError& error) {
    QString reason;
    switch (error.code & 0xFF) {
    case SQLITE_FULL: reason = QStringLiteral("ディスクの空きが足りません"); break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: reason = QStringLiteral("索引のファイルに書き込めません"); break;
    case SQLITE_CANTOPEN: reason = QStringLiteral("索引のファイルを開けません"); break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: reason = QStringLiteral("索引のファイルをほかのプログラムが使っています"); break;
    case SQLITE_IOERR: reason = QStringLiteral("索引のファイルを読み書きできません"); break;
    case SQLITE_NOMEM: reason = QStringLiteral("メモリが足りません"); break;
    default: reason = QStringLiteral("索引のエラー"); break;
    }
    return reason + QStringLiteral("：") + QString::fromStdString(error.message);
}

SqlStatement::SqlStatement(sqlite3* db, const char* sql) : m_db(db) {
    if (const int rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); rc != SQLITE_OK)
        fail(db, rc);
}

SqlStatement::~SqlStatement() { sqlite3_finalize(m_stmt); }

SqlStatement& SqlStatement::bind(int index, qint64 value) {
    if (const int rc = sqlite3_bind_int64(m_stmt, index, value); rc != SQLITE_OK)
        fail(m_db, rc);
    return *this;
}

SqlStatement& SqlStatement::bind(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    if (const int rc = sqlite3_bind_text(m_stmt, index, utf8.constData(),
                                         static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        rc != SQLITE_OK)
        fail(m_db, rc);
    return *this;
}

SqlStatement& SqlStatement::bindUtf8(int index, const QByteArray& utf8) {
    if (const int rc = sqlite3_bind_text(m_stmt, index, utf8.constData(),
                                         static_cast<int>(utf8.size()), SQLITE_STATIC);
        rc != SQLITE_OK)
        fail(m_db, rc);
    return *this;
}

bool SqlStatement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    sqlite3_reset(m_stmt);
    fail(m_db, rc);
}

void SqlStatement::run() {
    step();
    reset();
}

void SqlStatement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

qint64 SqlStatement::integer(int column) const { return sqlite3_column_int64(m_stmt, column); }

double SqlStatement::real(int column) const { return sqlite3_column_double(m_stmt, column); }

QString SqlStatement::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, column));
}

int SqlStatement::columnCount() const { return sqlite3_column_count(m_stmt); }

SearchDb::~SearchDb() { close(); }

void SearchDb::close() {
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void SearchDb::exec(const char* sql) { run(m_db, sql); }

int SearchDb::progress(void* self) {
    const Cancel& cancel = static_cast<SearchDb*>(self)->m_cancel;
    return cancel && cancel() ? 1 : 0;
}

void SearchDb::open(const QString& path, int flags, Cancel cancel) {
    close();
    switch (inspectIndexEntries(path)) {
    case IndexEntries::Folder:
        throw SqlError{SQLITE_CANTOPEN, (path + QStringLiteral(" の名前をフォルダが使っています")).toStdString()};
    case IndexEntries::Foreign:
        foreign("another kind of file under the index's name");
    case IndexEntries::Absent:
    case IndexEntries::Regular:
        break;
    }
    const QByteArray name = QFile::encodeName(path);
    if (const int rc = sqlite3_open_v2(name.constData(), &m_db, flags | SQLITE_OPEN_NOFOLLOW, nullptr);
        rc != SQLITE_OK) {
        SqlError error{rc, m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc)};
        close();
        throw error;
    }
    try {
        // What the file brings along is never run: its views and triggers stay switched off,
        // and its schema may not reach functions with side effects.
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
        sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, kLargestValue);
        exec("PRAGMA trusted_schema = OFF");
        m_cancel = std::move(cancel);
        if (m_cancel)
            sqlite3_progress_handler(m_db, 4096, &SearchDb::progress, this);
    } catch (...) {
        close();
        throw;
    }
}

bool SearchDb::isEmpty() {
    SqlStatement count(m_db, "SELECT count(*) FROM sqlite_schema");
    return count.step() && count.integer(0) == 0;
}

void SearchDb::checkLayout() {
    const Layout& ours = ourLayout();
    if (schemaOf(m_db) != ours.schema)
        foreign("the index's schema is not vadok's");
    if (settingsOf(m_db) != ours.settings)
        foreign("the index's full-text settings are not vadok's");
}

void SearchDb::openForWriting(const QString& path, int busyTimeoutMs, Cancel cancel) {
    // Leftovers beside a missing index would be read into the new one.
    if (inspectIndexEntries(path) == IndexEntries::Absent)
        removeIndexEntries(path);
    open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, std::move(cancel));
    sqlite3_busy_timeout(m_db, busyTimeoutMs);
    try {
        // Damage further in shows when a pass or a query reads it.
        if (isEmpty()) {
            // Large pages suit an index of large texts; a page size holds from the first table.
            exec("PRAGMA page_size = 16384; PRAGMA journal_mode = WAL;");
            createTables();
        } else {
            // Checked before anything is written, so a file that is not ours stays as it was.
            checkLayout();
            exec("PRAGMA journal_mode = WAL;");
        }
        exec("PRAGMA synchronous = OFF;");
    } catch (...) {
        close();
        throw;
    }
}

void SearchDb::createTables() {
    exec("BEGIN");
    try {
        exec(kTables);
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

bool SearchDb::openForReading(const QString& path, Cancel cancel) {
    close();
    if (inspectIndexEntries(path) == IndexEntries::Absent)
        return false;
    open(path, SQLITE_OPEN_READWRITE, std::move(cancel));
    sqlite3_busy_timeout(m_db, 200);
    try {
        // Still being made by the indexing thread: nothing to answer from yet.
        if (isEmpty()) {
            close();
            return false;
        }
        checkLayout();
    } catch (...) {
        close();
        throw;
    }
    return true;
}

} // namespace vadok
