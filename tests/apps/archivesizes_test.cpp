#include "apps/archivesizes.h"
#include "support/files.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vadok::test {
namespace {

class ArchiveSizeCacheTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.path() + u'/' + QString::fromUtf8(name); }
    // Records what the archive at path holds now, as a header read would.
    void remember(ArchiveSizeCache& cache, const QString& archive, quint64 expanded) {
        cache.remember(archive, *fileIdentity(archive), ArchiveContent{3, expanded});
    }
    QTemporaryDir dir;
};

TEST_F(ArchiveSizeCacheTest, anUnchangedArchiveIsAnsweredFromTheCacheInThisRunAndTheNext) {
    const QString archive = path("Tool.lzh");
    writeFile(archive, QByteArray(1000, 'x'));
    {
        ArchiveSizeCache cache(path("vadok.sizes"));
        EXPECT_FALSE(cache.lookup(archive));
        remember(cache, archive, 5000);
        ASSERT_TRUE(cache.lookup(archive));
        EXPECT_EQ(cache.lookup(archive)->packedBytes, 1000u);
        EXPECT_EQ(cache.lookup(archive)->expandedBytes, 5000u);
        ASSERT_TRUE(cache.save());
    }
    ArchiveSizeCache reloaded(path("vadok.sizes"));
    ASSERT_TRUE(reloaded.lookup(archive));
    EXPECT_EQ(reloaded.lookup(archive)->expandedBytes, 5000u);
}

TEST_F(ArchiveSizeCacheTest, aReplacedOrRewrittenArchiveIsReadAgain) {
    const QString archive = path("Tool.lzh");
    writeFile(archive, QByteArray(1000, 'x'));
    ArchiveSizeCache cache(path("vadok.sizes"));
    remember(cache, archive, 5000);
    // A store replaces the archive by a rename: another inode, whatever the size.
    writeFile(path("new.lzh"), QByteArray(1000, 'y'));
    ASSERT_TRUE(QFile::remove(archive));
    ASSERT_TRUE(QFile::rename(path("new.lzh"), archive));
    EXPECT_FALSE(cache.lookup(archive));
    remember(cache, archive, 6000);
    EXPECT_EQ(cache.lookup(archive)->expandedBytes, 6000u);
    // Written in place to the same size: the modification time tells.
    QFile same(archive);
    ASSERT_TRUE(same.open(QIODevice::ReadWrite));
    same.write("z");
    same.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
    same.close();
    EXPECT_FALSE(cache.lookup(archive));
}

TEST_F(ArchiveSizeCacheTest, damagedLinesOfTheStoreAreIgnored) {
    const QString archive = path("Tool.lzh");
    writeFile(archive, QByteArray(10, 'x'));
    const FileIdentity id = *fileIdentity(archive);
    const QByteArray good = QByteArray::number(id.device) + ' ' + QByteArray::number(id.inode) +
                            " 10 " + QByteArray::number(id.modifiedNs) + " 2 77\t" +
                            archive.toUtf8() + '\n';
    // A figure no expansion can reach would wrap the panel's totals: read that archive again.
    const QString planted = path("Planted.lzh");
    writeFile(planted, QByteArray(10, 'y'));
    const FileIdentity plantedId = *fileIdentity(planted);
    const QByteArray huge = QByteArray::number(plantedId.device) + ' ' +
                            QByteArray::number(plantedId.inode) + " 10 " +
                            QByteArray::number(plantedId.modifiedNs) + " 2 18446744073709551615\t" +
                            planted.toUtf8() + '\n';
    writeFile(path("vadok.sizes"), "garbage\n1 2 3\tx\n" + good + "1 2 x 4 5 6\t" +
                                       path("Other.lzh").toUtf8() + "\n" + huge);
    ArchiveSizeCache cache(path("vadok.sizes"));
    ASSERT_TRUE(cache.lookup(archive));
    EXPECT_EQ(cache.lookup(archive)->expandedBytes, 77u);
    EXPECT_FALSE(cache.lookup(planted));
}

} // namespace
} // namespace vadok::test
