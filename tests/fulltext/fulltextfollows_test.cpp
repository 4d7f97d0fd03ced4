// The index follows the catalog and the files: what changed is read again, what did not is
// not, and a damaged or deleted index file is made anew.

#include "fulltextfixture.h"

#include "catalog/apprecords.h"
#include "catalog/settings.h"
#include "fulltext/bundledtexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/time.h>

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

} // namespace

TEST_F(FullTextFollows, anArchiveIsReadAgainOnlyWhenItsIdentityChanged) {
    addApp(QStringLiteral("Tool"), QString(), {{"readme.txt", "first edition"}});
    addApp(QStringLiteral("Other"), QString(), {{"readme.txt", "unchanged"}});
    update();
    ASSERT_EQ(titles(QStringLiteral("first")), QStringList{"Tool"});
    const quint64 afterBuild = archiveTextReads();

    update();
    EXPECT_EQ(archiveTextReads(), afterBuild) << "nothing changed, nothing read";

    // Replaced behind vadok's back by another store: another inode, size and time.
    storeArchive(QStringLiteral("Tool"), {{"readme.txt", "second edition"}});
    update();
    EXPECT_EQ(archiveTextReads(), afterBuild + 1);
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
    EXPECT_EQ(archiveTextReads(), afterBuild + 2);
}

TEST_F(FullTextFollows, anExpandedApplicationIsReadFromItsFolder) {
    addApp(QStringLiteral("Tool"), QString(), {{"readme.txt", "packed words"}});
    update();
    const quint64 before = archiveTextReads();
    expand(QStringLiteral("Tool"), {{"readme.txt", "expanded words"}, {"sub/notes.md", "deeper words"}});
    update();
    EXPECT_EQ(archiveTextReads(), before);
    EXPECT_TRUE(titles(QStringLiteral("packed")).isEmpty());
    EXPECT_EQ(titles(QStringLiteral("expanded")), QStringList{"Tool"});
    const std::vector<FullTextHit> deeper = index->query(QStringLiteral("deeper"));
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
    const quint64 before = archiveTextReads();
    update();

    EXPECT_EQ(archiveTextReads(), before) << "a renamed archive keeps its texts";
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

TEST_F(FullTextFollows, aDamagedIndexIsMadeAnewAndSaysSo) {
    addApp(QStringLiteral("Tool"), QStringLiteral("searchable notes"), {{"readme.txt", "bundled words"}});
    update();
    index.reset();
    const struct {
        const char* name;
        bool keepHeader; // the first page (header and list of tables) stays readable
    } cases[] = {
        {"not a database at all", false},
        {"every page after the first overwritten", true},
    };
    for (const auto& c : cases) {
        damage(dbPath(), c.keepHeader);
        index = std::make_unique<FullTextSearch>();
        QSignalSpy rebuilt(index.get(), &FullTextSearch::rebuilt);
        update();
        ASSERT_EQ(rebuilt.size(), 1) << c.name;
        EXPECT_EQ(rebuilt.first().first().toString(),
                  QStringLiteral("全文検索の索引が壊れていたため、作り直しています。"));
        EXPECT_EQ(titles(QStringLiteral("bundled")), QStringList{"Tool"}) << c.name;
        index.reset();
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

TEST_F(FullTextFollows, aQueryThatMeetsDamageAnswersNothingAndHasTheIndexMadeAnew) {
    addApp(QStringLiteral("Tool"), QString(), {{"readme.txt", "bundled words"}});
    update();
    index.reset();
    damage(dbPath(), true);
    index = std::make_unique<FullTextSearch>();
    QSignalSpy rebuilt(index.get(), &FullTextSearch::rebuilt);
    EXPECT_TRUE(titles(QStringLiteral("bundled")).isEmpty());
    index->waitUntilIdle();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(rebuilt.size(), 1);
    EXPECT_EQ(titles(QStringLiteral("bundled")), QStringList{"Tool"});
}
