#include "fulltext/searchdb.h"

#include <QFile>

#include <sqlite3.h>

namespace vadok {

namespace {

constexpr int kLayout = 1;

[[noreturn]] void fail(sqlite3* db, int code) {
    throw SqlError{code, db ? sqlite3_errmsg(db) : sqlite3_errstr(code)};
}

} // namespace

bool SqlError::damage() const {
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
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

SearchDb::~SearchDb() { close(); }

void SearchDb::close() {
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void SearchDb::exec(const char* sql) {
    char* message = nullptr;
    if (const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &message); rc != SQLITE_OK) {
        SqlError error{rc, message ? message : sqlite3_errstr(rc)};
        sqlite3_free(message);
        throw error;
    }
}

void SearchDb::openForWriting(const QString& path) {
    close();
    const QByteArray name = QFile::encodeName(path);
    if (const int rc = sqlite3_open_v2(name.constData(), &m_db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        rc != SQLITE_OK) {
        SqlError error{rc, m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc)};
        close();
        throw error;
    }
    sqlite3_busy_timeout(m_db, 5000);
    try {
        // Large pages suit an index of large texts (a new file only: an old one keeps its own).
        exec("PRAGMA page_size=16384; PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;");
        qint64 layout = 0;
        {
            SqlStatement version(m_db, "PRAGMA user_version");
            if (version.step())
                layout = version.integer(0);
        }
        // Damage further in shows when a pass or a query reads it.
        if (layout != kLayout)
            createTables();
    } catch (...) {
        close();
        throw;
    }
}

void SearchDb::createTables() {
    // Terms wait in memory up to 'hashsize' bytes before they are written out: larger
    // batches index faster (fewer, larger segments to merge), at the cost of that memory.
    exec("BEGIN;"
         "DROP TABLE IF EXISTS docs; DROP TABLE IF EXISTS docmeta; DROP TABLE IF EXISTS apps;"
         "CREATE TABLE apps(id INTEGER PRIMARY KEY, title TEXT NOT NULL UNIQUE,"
         "                  notes TEXT NOT NULL, source TEXT NOT NULL);"
         "CREATE TABLE docmeta(id INTEGER PRIMARY KEY, app INTEGER NOT NULL,"
         "                     tier INTEGER NOT NULL, place TEXT NOT NULL,"
         "                     original TEXT NOT NULL);"
         "CREATE INDEX docmeta_app ON docmeta(app);"
         "CREATE VIRTUAL TABLE docs USING fts5(body, tokenize = 'trigram case_sensitive 1');"
         "INSERT INTO docs(docs, rank) VALUES('hashsize', 12582912);"
         "PRAGMA user_version = 1;"
         "COMMIT;");
}

bool SearchDb::openForReading(const QString& path) {
    close();
    if (!QFile::exists(path))
        return false;
    const QByteArray name = QFile::encodeName(path);
    if (sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, 200);
    return true;
}

void removeSearchDbFiles(const QString& path) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
}

} // namespace vadok
