#include "catalog/apprecords.h"
#include "catalog/datafilecache.h"
#include "catalog/notessearch.h"
#include "catalog/titlematch.h"
#include "catalogfixture.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>

namespace vadok::test {
namespace {

class DataFileCacheTest : public CatalogTest {
protected:
    void SetUp() override {
        writeDataFile(appsFile(QStringLiteral("<App><Name>Alpha</Name><Text><Line>first "
                                              "tool</Line></Text></App>"
                                              "<App><Name>Beta</Name></App>")));
    }
    // Moves the file's modification time by ns nanoseconds, as a second write within the
    // same clock tick of the file system would not.
    void shiftModificationTime(long ns) const {
        struct stat status {};
        const QByteArray path = QFile::encodeName(dataFilePath());
        ASSERT_EQ(::stat(path.constData(), &status), 0);
        timespec times[2] = {status.st_atim, status.st_mtim};
        times[1].tv_nsec = (times[1].tv_nsec + ns) % 1000000000;
        ASSERT_EQ(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
    }
};

TEST_F(DataFileCacheTest, anUnchangedFileIsParsedOnce) {
    const auto first = readDataFile();
    EXPECT_EQ(readDataFile(), first);
    shiftModificationTime(1);
    EXPECT_NE(readDataFile(), first);
}

TEST_F(DataFileCacheTest, everyKindOfChangeByAnotherProgramIsSeenAtTheNextOperation) {
    EXPECT_EQ(SearchTitles(QStringLiteral("a")), (QStringList{"Alpha", "Beta"}));

    // Rewritten in place, one byte longer.
    writeDataFile(appsFile(QStringLiteral("<App><Name>Alpha2</Name></App><App><Name>Beta</Name></App>")));
    EXPECT_EQ(SearchTitles(QStringLiteral("a")), (QStringList{"Alpha2", "Beta"}));

    // Rewritten in place to the same length: only the time tells.
    writeDataFile(appsFile(QStringLiteral("<App><Name>Gamma2</Name></App><App><Name>Beta</Name></App>")));
    shiftModificationTime(1);
    EXPECT_EQ(SearchTitles(QStringLiteral("a")), (QStringList{"Gamma2", "Beta"}));

    // Replaced by a rename, as editors and our own saves do.
    const QString replacement = folder.file(QStringLiteral("other.xml"));
    QFile::copy(dataFilePath(), replacement);
    QFile::remove(dataFilePath());
    folder.writeFile(QStringLiteral("other.xml"),
                     Cp932Codec::instance().fromUnicode(
                         appsFile(QStringLiteral("<App><Name>Delta</Name></App>"))));
    ASSERT_TRUE(QFile::rename(replacement, dataFilePath()));
    EXPECT_EQ(SearchTitles(QStringLiteral("a")), QStringList{"Delta"});

    QFile::remove(dataFilePath());
    EXPECT_EQ(SearchTitles(QStringLiteral("a")), QStringList());
}

TEST_F(DataFileCacheTest, ourOwnSaveBecomesTheCachedDocument) {
    AppRecord app;
    app.AppName = QStringLiteral("Gamma");
    app.Info = QStringLiteral("second tool");
    ASSERT_TRUE(SaveAppRecord(app));
    const auto afterSave = readDataFile();
    EXPECT_EQ(SearchNotes(QStringLiteral("tool")), QStringLiteral("Alpha\tGamma"));
    EXPECT_EQ(readDataFile(), afterSave);
    // What is cached is what is on disk.
    EXPECT_EQ(afterSave->toBytes(), reload()->toBytes());
}

TEST_F(DataFileCacheTest, aReaderKeepsItsDocumentWholeWhileAnEditChangesTheFile) {
    const auto reading = readDataFile();
    const XmlElement alpha = findAppElement(*reading, QStringLiteral("Alpha"));
    ASSERT_FALSE(alpha.isNull());

    AppRecord gone;
    gone.AppName = QStringLiteral("Alpha");
    ASSERT_TRUE(DeleteAppRecord(gone));

    // The element the reader holds is still there to read; the file has moved on.
    EXPECT_EQ(alpha.firstChild(QStringLiteral("Name")).text(), QStringLiteral("Alpha"));
    EXPECT_TRUE(findAppElement(*readDataFile(), QStringLiteral("Alpha")).isNull());
    EXPECT_TRUE(findAppElement(*reload(), QStringLiteral("Alpha")).isNull());
}

TEST_F(DataFileCacheTest, anEditDroppedWithoutSavingIsNeverSeen) {
    readDataFile();
    {
        DataFileEdit edit;
        ASSERT_TRUE(edit.isLoaded());
        findAppElement(edit.doc(), QStringLiteral("Beta")).remove();
    }
    EXPECT_EQ(SearchTitles(QStringLiteral("Beta")), QStringList{"Beta"});

    {
        DataFileEdit edit;
        edit.keepUnchanged();
    }
    EXPECT_EQ(SearchTitles(QStringLiteral("Beta")), QStringList{"Beta"});
}

} // namespace
} // namespace vadok::test
