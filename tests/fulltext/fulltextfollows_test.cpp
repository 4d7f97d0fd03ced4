// The index follows the catalog and the files: what changed is read again, what did not is
// not, and a damaged, foreign or deleted index file is made anew.

#include "fulltextfixture.h"

#include "catalog/apprecords.h"
#include "catalog/settings.h"
#include "catalog/datafile.h"
#include "fulltext/bundledtexts.h"
#include "fulltext/indexfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <functional>

using namespace vadok;
using namespace vadok::test;

class FullTextFollows : public FullTextFixture {};

namespace {

// Overwrites the index file with garbage, from its second page on when keepHeader (the first
// holds the header and the list of tables), else whole.
void damage(const QString& path, bool keepHeader) {
    QFile db(path);
    ASSERT_TRUE(db.open(QIODevice::ReadWrite));
    const QByteArray header = db.read(18);
    ASSERT_EQ(header.left(6), "SQLite");
    const qint64 pageSize = (quint8(header[16]) << 8) | quint8(header[17]);
    ASSERT_GT(db.size(), pageSize);
    const qint64 at = keepHeader ? pageSize : 0;
    db.seek(at);
    db.write(QByteArray(db.size() - at, '\x5a'));
}

void runSql(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

TEST_F(FullTextFollows, anArchiveIsReadAgainOnlyWhenItsIdentityChanged) {
    addApp(QStringLiteral("Tool"), QString(), {{"readme.txt", "first edition"}});
    addApp(QStringLiteral("Other"), QString(), {{"readme.txt", "unchanged"}});
    update();
    ASSERT_EQ(titles(QStringLiteral("first")), QStringList{"Tool"});
    const int afterBuild = archiveReads.load();

    update();
    EXPECT_EQ(archiveReads.load(), afterBuild) << "nothing changed, nothing read";

    // Replaced behind vadok's back by another store: another inode, size and time.
    storeArchive(QStringLiteral("Tool"), {{"readme.txt", "second edition"}});
    update();
    EXPECT_EQ(archiveReads.load(), afterBuild + 1);
    EXPECT_EQ(titles(QStringLiteral("second")), QStringList{"Tool"});
    EXPECT_TRUE(titles(QStringLiteral("first")).isEmpty());

    // Rewritten in place with the same size: only its modification time tells.
    const QString archive = archiveOf(QStringLiteral("Tool"));
    QByteArray bytes;
    {
        QFile f(archive);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        bytes = f.readAll();
    }
    const struct timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(archive).constData(), times), 0);
    update();
    EXPECT_EQ(archiveReads.load(), afterBuild + 2);
}

TEST_F(FullTextFollows, anExpandedApplicationIsReadFromItsFolder) {
    addApp(QStringLiteral("Tool"), QString(), {{"readme.txt", "packed words"}});
    update();
    const int before = archiveReads.load();
    expand(QStringLiteral("Tool"), {{"readme.txt", "expanded words"}, {"sub/notes.md", "deeper words"}});
    update();
    EXPECT_EQ(archiveReads.load(), before);
    EXPECT_TRUE(titles(QStringLiteral("packed")).isEmpty());
    EXPECT_EQ(titles(QStringLiteral("expanded")), QStringList{"Tool"});
    const std::vector<FullTextHit> deeper = index->query(QStringLiteral("deeper")).hits;
    ASSERT_EQ(deeper.size(), 1u);
    EXPECT_EQ(deeper[0].place, QStringLiteral("sub/notes.md"));

    // A text changed in the folder is read again; removing the folder goes back to the archive.
    // Another size: a rewrite of the same size within the file system's clock tick would
    // look unchanged to any stat.
    expand(QStringLiteral("Tool"), {{"sub/notes.md", "edited words, more of them"}});
    update();
    EXPECT_EQ(titles(QStringLiteral("edited")), QStringList{"Tool"});
    ASSERT_TRUE(QDir(settings().ExecDir + QStringLiteral("Tool")).removeRecursively());
    update();
    EXPECT_EQ(titles(QStringLiteral("packed")), QStringList{"Tool"});
    EXPECT_TRUE(titles(QStringLiteral("edited")).isEmpty());
}

TEST_F(FullTextFollows, notesRenamesAndDeletionsAreFollowed) {
    addApp(QStringLiteral("Old Name"), QStringLiteral("old notes"), {{"readme.txt", "bundled words"}});
    addApp(QStringLiteral("Doomed"), QStringLiteral("doomed notes"), {{"readme.txt", "doomed text"}});
    update();

    AppRecord record;
    ASSERT_TRUE(FindAppByName(QStringLiteral("Old Name"), record));
    record.AppName = QStringLiteral("New Name");
    record.Info = QStringLiteral("new notes");
    ASSERT_TRUE(SaveAppRecord(record, QStringLiteral("Old Name")));
    ASSERT_TRUE(QFile::rename(archiveOf(QStringLiteral("Old Name")), archiveOf(QStringLiteral("New Name"))));
    AppRecord doomed;
    doomed.AppName = QStringLiteral("Doomed");
    ASSERT_TRUE(DeleteAppRecord(doomed));
    const int before = archiveReads.load();
    update();

    EXPECT_EQ(archiveReads.load(), before) << "a renamed archive keeps its texts";
    EXPECT_EQ(titles(QStringLiteral("bundled")), QStringList{"New Name"});
    EXPECT_EQ(titles(QStringLiteral("new notes")), QStringList{"New Name"});
    EXPECT_TRUE(titles(QStringLiteral("old")).isEmpty());
    EXPECT_TRUE(titles(QStringLiteral("doomed")).isEmpty());
}

TEST_F(FullTextFollows, reportsProgressAndTheEndOfEachPass) {
    addApp(QStringLiteral("One"), QString());
    addApp(QStringLiteral("Two"), QString());
    QSignalSpy progress(index.get(), &FullTextSearch::progress);
    QSignalSpy indexed(index.get(), &FullTextSearch::indexed);
    update();
    EXPECT_FALSE(index->isIndexing());
    ASSERT_EQ(indexed.size(), 1);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last(), (QList<QVariant>{2, 2}));
}

namespace {

enum class Plant { Garbage, DamagedPages, Link, HardLink, LinkAsWal, Sql, Fifo, Folder };

struct IndexFileCase {
    const char* name;
    Plant plant;
    const char* sql = nullptr; // run on the index, for Plant::Sql
};

void PrintTo(const IndexFileCase& c, std::ostream* out) { *out << c.name; }

void plant(const IndexFileCase& c, const QString& db, const QString& other) {
    const QByteArray index = QFile::encodeName(db);
    if (c.plant == Plant::Link || c.plant == Plant::HardLink || c.plant == Plant::Fifo ||
        c.plant == Plant::Folder)
        removeIndexEntries(db);
    switch (c.plant) {
    case Plant::Garbage: damage(db, false); break;
    case Plant::DamagedPages: damage(db, true); break;
    case Plant::Link: ASSERT_TRUE(QFile::link(other, db)); break;
    case Plant::HardLink: ASSERT_EQ(::link(QFile::encodeName(other).constData(), index.constData()), 0); break;
    case Plant::LinkAsWal: ASSERT_TRUE(QFile::link(other, db + QStringLiteral("-wal"))); break;
    case Plant::Sql: runSql(db, c.sql); break;
    case Plant::Fifo: ASSERT_EQ(::mkfifo(index.constData(), 0600), 0); break;
    case Plant::Folder:
        ASSERT_TRUE(QDir().mkpath(db));
        writeFile(db + QStringLiteral("/keep.txt"), "kept");
        break;
    }
}

} // namespace

class IndexFiles : public FullTextFollows, public ::testing::WithParamInterface<IndexFileCase> {};

// What may lie where the index is looked for, planted between two runs: each is made anew,
// saying so, or (a folder) refused with a message; none is written through, and a file of
// somebody else's that it led to stays as it was.
TEST_P(IndexFiles, areMadeAnewOrRefusedAndWhatTheyLeadToIsUntouched) {
    const IndexFileCase c = GetParam();
    addApp(QStringLiteral("Tool"), QStringLiteral("searchable notes"), {{"readme.txt", "bundled words"}});
    update();
    index.reset();
    // Somebody's own database, with a table and a row, in rollback-journal mode.
    const QString other = scratch.path() + QStringLiteral("/theirs.db");
    runSql(other, "CREATE TABLE mine(x); INSERT INTO mine VALUES('precious');");
    const QByteArray otherBytes = contentsOf(other);
    plant(c, dbPath(), other);

    reopen();
    QSignalSpy rebuilt(index.get(), &FullTextSearch::rebuilt);
    QSignalSpy failed(index.get(), &FullTextSearch::failed);
    update();

    EXPECT_EQ(contentsOf(other), otherBytes);
    EXPECT_FALSE(QFileInfo::exists(other + QStringLiteral("-wal")));
    if (c.plant != Plant::Folder) {
        ASSERT_EQ(rebuilt.size(), 1);
        EXPECT_EQ(rebuilt.first().first().toString(),
                  QStringLiteral("全文検索の索引が壊れていたため、作り直しています。"));
        EXPECT_TRUE(failed.isEmpty());
        EXPECT_EQ(titles(QStringLiteral("bundled")), QStringList{"Tool"});
        return;
    }
    EXPECT_TRUE(rebuilt.isEmpty());
    ASSERT_EQ(failed.size(), 1);
    const QString cannotOpen = QStringLiteral("索引のファイルを開けません：") + dbPath() +
                               QStringLiteral(" の名前をフォルダが使っています");
    EXPECT_EQ(failed.first().first().toString(),
              QStringLiteral("全文検索の索引を更新できませんでした（") + cannotOpen + QStringLiteral("）。"));
    const FullTextAnswer answer = index->query(QStringLiteral("bundled"));
    EXPECT_EQ(answer.error, QStringLiteral("検索できませんでした（") + cannotOpen + QStringLiteral("）。"));
    EXPECT_EQ(contentsOf(dbPath() + QStringLiteral("/keep.txt")), "kept");
}

INSTANTIATE_TEST_SUITE_P(
    Planted, IndexFiles,
    ::testing::Values(
        IndexFileCase{"notADatabaseAtAll", Plant::Garbage},
        IndexFileCase{"damagedPagesAfterTheFirst", Plant::DamagedPages},
        IndexFileCase{"aLinkToAnotherDatabase", Plant::Link},
        IndexFileCase{"aHardLinkToAnotherDatabase", Plant::HardLink},
        IndexFileCase{"aLinkInPlaceOfItsWriteAheadLog", Plant::LinkAsWal},
        IndexFileCase{"aTableReplacedByAnEndlessView", Plant::Sql,
                      "DROP TABLE apps; CREATE VIEW apps AS WITH RECURSIVE r(id, title, notes, "
                      "source, textbytes) AS (SELECT 1, 'x', '', '', 0 UNION ALL SELECT id + 1, "
                      "'x' || id, '', '', 0 FROM r) SELECT * FROM r;"},
        IndexFileCase{"aTriggerOfItsOwn", Plant::Sql,
                      "CREATE TRIGGER t AFTER INSERT ON docmeta BEGIN DELETE FROM apps; END;"},
        IndexFileCase{"aTableOfItsOwn", Plant::Sql, "CREATE TABLE extra(x);"},
        IndexFileCase{"fullTextSettingsOfItsOwn", Plant::Sql,
                      "INSERT INTO docs(docs, rank) VALUES('hashsize', 2000000000);"},
        IndexFileCase{"aFifo", Plant::Fifo},
        IndexFileCase{"aFolder", Plant::Folder}),
    [](const ::testing::TestParamInfo<IndexFileCase>& info) { return info.param.name; });

// The index an older vadok kept beside the data file, which a sync engine shares between
// machines: removed once, when this machine's own index is made, and only if it is one.
TEST_F(FullTextFollows, theOldIndexBesideTheDataFileGoesOnceAndOnlyIfItIsOne) {
    const QString old = QFileInfo(dataFilePath()).absolutePath() + QStringLiteral("/vadok.search.db");
    const QString other = scratch.path() + QStringLiteral("/theirs.db");
    const struct {
        const char* name;
        std::function<void()> plant;
        bool ownIndexFirst;
        bool gone;
    } cases[] = {
        {"an old index with its -wal and -shm",
         [&] {
             runSql(old, "PRAGMA journal_mode=WAL; CREATE TABLE t(x);");
             writeFile(old + QStringLiteral("-wal"), "wal");
             writeFile(old + QStringLiteral("-shm"), "shm");
         },
         false, true},
        {"a link under its name", [&] { ASSERT_TRUE(QFile::link(other, old)); }, false, false},
        {"a file that is no database", [&] { writeFile(old, "not sqlite"); }, false, false},
        {"an old index once this machine has its own",
         [&] { runSql(old, "CREATE TABLE t(x);"); }, true, false},
    };
    runSql(other, "CREATE TABLE mine(x);");
    const QByteArray otherBytes = contentsOf(other);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        index.reset();
        removeIndexEntries(dbPath());
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(old + QLatin1String(suffix));
        reopen();
        if (c.ownIndexFirst)
            update();
        c.plant();
        reopen();
        update();
        EXPECT_NE(QFileInfo(old).isSymLink() || QFileInfo::exists(old), c.gone);
        for (const char* suffix : {"-wal", "-shm"})
            EXPECT_FALSE(c.gone && QFileInfo::exists(old + QLatin1String(suffix))) << suffix;
        EXPECT_EQ(contentsOf(other), otherBytes);
    }
}

TEST_F(FullTextFollows, aDeletedIndexIsSimplyMadeAgain) {
    addApp(QStringLiteral("Tool"), QString(), {{"readme.txt", "bundled words"}});
    update();
    QSignalSpy rebuilt(index.get(), &FullTextSearch::rebuilt);
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(dbPath() + QLatin1String(suffix));
    update();
    EXPECT_TRUE(QFileInfo::exists(dbPath()));
    EXPECT_EQ(titles(QStringLiteral("bundled")), QStringList{"Tool"});
    EXPECT_TRUE(rebuilt.isEmpty());
}

TEST_F(FullTextFollows, aQueryThatMeetsDamageSaysSoAndHasTheIndexMadeAnew) {
    addApp(QStringLiteral("Tool"), QString(), {{"readme.txt", "bundled words"}});
    update();
    index.reset();
    damage(dbPath(), true);
    index = std::make_unique<FullTextSearch>();
    QSignalSpy rebuilt(index.get(), &FullTextSearch::rebuilt);
    const FullTextAnswer damaged = index->query(QStringLiteral("bundled"));
    EXPECT_TRUE(damaged.hits.empty());
    EXPECT_EQ(damaged.error, QStringLiteral("全文検索の索引が壊れていたため、作り直しています。"));
    index->waitUntilIdle();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(rebuilt.size(), 1);
    EXPECT_EQ(titles(QStringLiteral("bundled")), QStringList{"Tool"});
}
