#include "mainwindowfixture.h"

#include "catalog/settings.h"
#include "mainwindow/catalogtree.h"
#include "platform/programfolder.h"
#include "shell/appiconcache.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QLabel>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok::test {
namespace {

QByteArray icoOf(Qt::GlobalColor color) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "ICO");
    return bytes;
}

struct stat statOf(const QString& path) {
    struct stat status {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &status), 0) << path.toStdString();
    return status;
}

void setModifiedTime(const QString& path, const timespec& when) {
    const timespec times[2] = {when, when};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

struct CacheCase {
    const char* what;
    // Done between the two starts, once the icon file holds a new picture under its old
    // identity (same inode, size and time).
    void (*tamper)(const QString& cacheFile, const QString& iconFile, const QString& scratch);
    // Whether the second start shows the picture the first start cached.
    bool cachedPictureShown;
};

void PrintTo(const CacheCase& c, std::ostream* out) {
    *out << c.what;
}

class IconCache : public MainWindowFixture, public ::testing::WithParamInterface<CacheCase> {};

// The first start reads a red icon and caches it. The icon file then turns blue without
// changing its identity, which only a cache that is read and trusted does not notice.
TEST_P(IconCache, aSecondStartTrustsOnlyItsOwnIntactCacheOfUnchangedIcons) {
    writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"), {QStringLiteral("Tool")}}});
    appendRecord(record(QStringLiteral("Tool")));
    const QString iconFile = settings().IconDir + QStringLiteral("Tool.ico");
    writeFile(iconFile, icoOf(Qt::red));
    const QString cacheFile = machineCacheFile(QStringLiteral("vadok.icons"));
    openWindow().reset(); // the window's end waits for the cache to be written

    const struct stat before = statOf(iconFile);
    QFile inPlace(iconFile);
    ASSERT_TRUE(inPlace.open(QIODevice::WriteOnly));
    ASSERT_EQ(inPlace.write(icoOf(Qt::blue)), before.st_size);
    inPlace.close();
    setModifiedTime(iconFile, before.st_mtim);
    GetParam().tamper(cacheFile, iconFile, scratch.path());
    const Files outside = filesBelow(scratch.path());

    auto window = openWindow();
    const QImage shown = window->treeView()->image(QStringLiteral("Tool")).pixmap(32).toImage();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.pixel(16, 16),
              GetParam().cachedPictureShown ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    window.reset();

    EXPECT_EQ(filesBelow(scratch.path()), outside) << "written outside the cache folder";
    // Rebuilt whole where it was rejected, as a file of its own.
    EXPECT_TRUE(S_ISREG(statOf(cacheFile).st_mode));
    AppIconCache cache;
    QString why;
    EXPECT_TRUE(cache.load(cacheFile, &why)) << why.toStdString();
    EXPECT_EQ(cache.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IconCache,
    ::testing::Values(
        CacheCase{"intact", [](const QString&, const QString&, const QString&) {}, true},
        CacheCase{"truncated",
                  [](const QString& cache, const QString&, const QString&) {
                      QFile file(cache);
                      ASSERT_TRUE(file.resize(file.size() / 2));
                  },
                  false},
        CacheCase{"byteAfterTheEnd",
                  [](const QString& cache, const QString&, const QString&) {
                      QFile file(cache);
                      ASSERT_TRUE(file.open(QIODevice::Append));
                      file.write("x");
                  },
                  false},
        CacheCase{"oversized",
                  [](const QString& cache, const QString&, const QString&) {
                      QFile file(cache);
                      ASSERT_TRUE(file.resize(AppIconCache::kMaxFileBytes + 1));
                  },
                  false},
        // A good cache elsewhere, reached through a link: never read, never written through.
        CacheCase{"link",
                  [](const QString& cache, const QString&, const QString& scratch) {
                      const QString elsewhere = scratch + QStringLiteral("/elsewhere");
                      ASSERT_TRUE(QFile::rename(cache, elsewhere));
                      ASSERT_TRUE(QFile::link(elsewhere, cache));
                  },
                  false},
        CacheCase{"fifo",
                  [](const QString& cache, const QString&, const QString&) {
                      ASSERT_TRUE(QFile::remove(cache));
                      ASSERT_EQ(::mkfifo(QFile::encodeName(cache).constData(), 0600), 0);
                  },
                  false},
        // Another inode, same size and time: a file renamed into its place.
        CacheCase{"iconReplaced",
                  [](const QString&, const QString& icon, const QString& scratch) {
                      const QString other = scratch + QStringLiteral("/other.ico");
                      ASSERT_TRUE(QFile::copy(icon, other));
                      setModifiedTime(other, statOf(icon).st_mtim);
                      ASSERT_EQ(::rename(QFile::encodeName(other).constData(),
                                         QFile::encodeName(icon).constData()),
                                0);
                  },
                  false},
        CacheCase{"iconRewritten",
                  [](const QString&, const QString& icon, const QString&) {
                      timespec later = statOf(icon).st_mtim;
                      later.tv_nsec = (later.tv_nsec + 1) % 1000000000;
                      setModifiedTime(icon, later);
                  },
                  false}),
    [](const ::testing::TestParamInfo<CacheCase>& info) { return info.param.what; });

// The big picture of the information panel is read as the tree's are: an icon name planted
// as a link to a picture elsewhere shows nothing, and one planted as a FIFO does not hang.
TEST_F(MainWindowFixture, theInformationPanelReadsNoIconThroughALinkNorFromAFifo) {
    writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"),
                   {QStringLiteral("Linked"), QStringLiteral("Piped")}}});
    appendRecord(record(QStringLiteral("Linked")));
    appendRecord(record(QStringLiteral("Piped")));
    const QString elsewhere = scratch.path() + QStringLiteral("/elsewhere.ico");
    writeFile(elsewhere, icoOf(Qt::red));
    ASSERT_TRUE(QFile::link(elsewhere, settings().IconDir + QStringLiteral("Linked.ico")));
    const QByteArray fifo = QFile::encodeName(settings().IconDir + QStringLiteral("Piped.ico"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    auto window = openWindow();
    for (const QString& title : {QStringLiteral("Linked"), QStringLiteral("Piped")}) {
        ASSERT_TRUE(window->selectAppByTitle(title));
        const QImage shown = window->findChild<QLabel*>(QStringLiteral("picBigIcon"))->pixmap().toImage();
        EXPECT_NE(shown.pixel(32, 32), qRgb(255, 0, 0)) << title.toStdString();
    }
}

} // namespace
} // namespace vadok::test
