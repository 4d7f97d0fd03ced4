#include "mainwindowfixture.h"

#include "platform/programfolder.h"

#include "apps/archivecheckjob.h"
#include "catalog/settings.h"
#include "mainwindow/catalogtree.h"
#include "util/sizetext.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QPushButton>
#include <QAction>
#include <QTreeWidgetItem>

namespace vadok::test {
namespace {

// Bytes that do not compress, so that packed and expanded sizes differ predictably little.
QByteArray noise(int size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char& b : bytes)
        b = char(random.generate());
    return bytes;
}

// ROOT holds Top and the folder A; A holds One, the shortcut entry Link and the folder Sub,
// which holds Two. Each stored application has one file, a.txt: text that compresses well,
// but for those of One and Two, which do not compress at all.
class ArchiveState : public MainWindowFixture {
protected:
    ArchiveState() {
        writeFolders({{QStringLiteral("ROOT"), QString(), {QStringLiteral("Top")}},
                      {QStringLiteral("A"), QStringLiteral("ROOT"), {QStringLiteral("One"), QStringLiteral("Link")}},
                      {QStringLiteral("Sub"), QStringLiteral("A"), {QStringLiteral("Two")}}});
        const QList<std::tuple<QString, QString, QByteArray>> apps = {
            {QStringLiteral("Top"), QStringLiteral("ROOT"), QByteArray(100000, 'a')},
            {QStringLiteral("One"), QStringLiteral("A"), noise(20000, 1)},
            {QStringLiteral("Two"), QStringLiteral("Sub"), noise(3000, 2)}};
        for (const auto& [name, folder, bytes] : apps) {
            storeArchive(name, {{QStringLiteral("a.txt"), bytes}});
            expandedBytes[name] = quint64(bytes.size());
            appendRecord(record(name, folder));
        }
        AppRecord link = record(QStringLiteral("Link"), QStringLiteral("A"), QStringLiteral("/bin/true"));
        link.ShortCut = true;
        link.OverRideBasePath = QStringLiteral("/bin/");
        appendRecord(link);
    }

    quint64 packed(const QString& name) const { return quint64(QFileInfo(archiveOf(name)).size()); }
    QString sizesShown() const { return window->findChild<QLabel*>(QStringLiteral("StatusBarSizes"))->text(); }
    // Selects the node and waits for its sizes, reading archives in the background if need be.
    QString sizesOf(const QString& key) {
        clickNode(*window, key);
        EXPECT_TRUE(waitUntil([&] { return !sizesShown().startsWith(QStringLiteral("サイズを集計")); }));
        return sizesShown();
    }
    QString totals(const QStringList& names) const {
        quint64 p = 0, e = 0;
        for (const QString& name : names) {
            p += packed(name);
            e += expandedBytes.value(name);
        }
        return QStringLiteral("%1 本 格納 %2 / 展開 %3 (%4 節約)")
            .arg(names.size())
            .arg(sizeText(p), sizeText(e), sizeText(e > p ? e - p : 0)); // nothing saved: 0 B
    }

    QHash<QString, quint64> expandedBytes;
    std::unique_ptr<frmMain> window;
};

TEST_F(ArchiveState, theSizesPanelTotalsTheApplicationsBelowTheSelectedNode) {
    // Where earlier versions kept the answers, with a copy a sync engine made of them.
    folder.writeFile(QStringLiteral("vadok.sizes"), "1 2 3 4 5 6\tTop.lzh\n");
    folder.writeFile(QStringLiteral("vadok.sync-conflict-20261208-101500-ABCDEFG.sizes"), "");
    window = openWindow();
    EXPECT_FALSE(QFileInfo::exists(folder.file(QStringLiteral("vadok.sync-conflict-20261208-101500-ABCDEFG.sizes"))));
    EXPECT_EQ(sizesOf(QStringLiteral("ROOT")), totals({"Top", "One", "Two"}));
    EXPECT_EQ(sizesOf(QStringLiteral("A")), totals({"One", "Two"})); // Sub's too
    EXPECT_EQ(sizesOf(QStringLiteral("One")),
              QStringLiteral("格納 %1 / 展開 %2").arg(sizeText(packed("One")), sizeText(20000)));
    EXPECT_EQ(sizesOf(QStringLiteral("Link")), QString());
    // What was read is kept for the next run, on this machine and outside the program
    // folder, which other machines may share.
    EXPECT_TRUE(QFileInfo::exists(machineCacheFile(QStringLiteral("vadok.sizes"))));
    EXPECT_FALSE(QFileInfo::exists(folder.file(QStringLiteral("vadok.sizes"))));
}

TEST_F(ArchiveState, anArchiveReplacedByAStoreIsReadAgain) {
    window = openWindow();
    sizesOf(QStringLiteral("Top"));
    expand(QStringLiteral("Top"), {{QStringLiteral("b.bin"), noise(5000, 7)}});
    heldKeys.insert(settings().PackKey); // a rebuild: the archive holds b.bin alone
    window->findChild<QPushButton*>(QStringLiteral("cmdPack"))->click();
    heldKeys.clear();
    clickNode(*window, QStringLiteral("ROOT"));
    EXPECT_EQ(sizesOf(QStringLiteral("Top")),
              QStringLiteral("格納 %1 / 展開 %2").arg(sizeText(packed("Top")), sizeText(5000)));
}

TEST_F(ArchiveState, anExpandedApplicationIsMarkedAndItsTipCountsTheDaysLeft) {
    settings().Config.PackDate = 5;
    expand(QStringLiteral("Top"), {{QStringLiteral("a.txt"), "changed"}});
    window = openWindow();
    const auto tip = [&](const char* key) { return node(*window, QString::fromLatin1(key))->toolTip(0); };
    // Never run: its last use reads as now, so six midnights are left.
    EXPECT_EQ(tip("Top"), QStringLiteral("展開中 (あと 6 日で格納)"));
    EXPECT_EQ(tip("One"), QStringLiteral("格納済み"));
    EXPECT_EQ(tip("Link"), QString());
    const QImage marked = node(*window, QStringLiteral("Top"))->icon(0).pixmap(32, 32).toImage();
    const QImage plain = node(*window, QStringLiteral("One"))->icon(0).pixmap(32, 32).toImage();
    EXPECT_NE(marked.pixelColor(24, 28), plain.pixelColor(24, 28));

    clickNode(*window, QStringLiteral("Top"));
    window->findChild<QPushButton*>(QStringLiteral("cmdPack"))->click();
    EXPECT_EQ(tip("Top"), QStringLiteral("格納済み"));
    EXPECT_EQ(node(*window, QStringLiteral("Top"))->icon(0).pixmap(32, 32).toImage(), plain);

    settings().Config.PackDate = -1;
    expand(QStringLiteral("One"), {{QStringLiteral("a.txt"), "x"}});
    clickNode(*window, QStringLiteral("One"));
    EXPECT_EQ(tip("One"), QStringLiteral("展開中 (格納しない)"));
}

// Flips one byte of the archive at offset from its end (0: the last byte).
void damage(const QString& archive, qint64 fromEnd) {
    QFile f(archive);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const qint64 at = f.size() - 1 - fromEnd;
    f.seek(at);
    char c = 0;
    f.getChar(&c);
    f.seek(at);
    f.putChar(char(c ^ 0x40));
}

TEST_F(ArchiveState, checkingOneArchiveSaysWhetherItIsSoundAndWhatIsDamaged) {
    damage(archiveOf(QStringLiteral("One")), 10); // inside a.txt's data
    window = openWindow();
    clickNode(*window, QStringLiteral("Top"));
    prompter.expect(QStringLiteral("[Top]の圧縮ファイルは正常です。"));
    window->findChild<QAction*>(QStringLiteral("TreePopCheckArchive"))->trigger();
    clickNode(*window, QStringLiteral("One"));
    prompter.expect(QStringLiteral("[One]の圧縮ファイルが壊れています。\r\na.txt: データが壊れています(CRCが一致しません)"));
    window->findChild<QAction*>(QStringLiteral("TreePopCheckArchive"))->trigger();
}

TEST_F(ArchiveState, checkingEveryArchiveListsTheDamagedOnes) {
    window = openWindow();
    prompter.expect(QStringLiteral("3 個の圧縮ファイルはすべて正常です。"));
    window->findChild<QAction*>(QStringLiteral("mnuCheckArchives"))->trigger();
    QFile cut(archiveOf(QStringLiteral("Two")));
    ASSERT_TRUE(cut.resize(cut.size() / 2));
    damage(archiveOf(QStringLiteral("One")), 10);
    prompter.expect(QStringLiteral("次の圧縮ファイルが壊れています。\r\n"
                                   "[One] a.txt: データが壊れています(CRCが一致しません)\r\n"
                                   "[Two] a.txt: ファイルが途中で切れています"));
    window->findChild<QAction*>(QStringLiteral("mnuCheckArchives"))->trigger();
}

TEST(ArchiveCheckJob, aCancelledCheckStopsHalfWayWithWhatItHadChecked) {
    QTemporaryDir dir;
    QList<ArchiveCheckJob::Item> items;
    for (int i = 0; i < 5; ++i)
        items.append({QString::number(i), dir.path() + QStringLiteral("/missing.lzh")});
    ArchiveCheckJob job(items);
    job.setArchiveCheckedHook([&job](int done) {
        if (done == 2)
            job.cancel();
    });
    bool finished = false;
    QObject::connect(&job, &ArchiveCheckJob::finished, [&] { finished = true; });
    job.start();
    ASSERT_TRUE(MainWindowFixture::waitUntil([&] { return finished; }));
    EXPECT_TRUE(job.wasCancelled());
    ASSERT_EQ(job.outcomes().size(), 2);
    EXPECT_FALSE(job.outcomes()[0].result.sound);
    EXPECT_EQ(job.outcomes()[0].result.fault, ArchiveFault::Unreadable);
}

} // namespace
} // namespace vadok::test
