#include "mainwindowfixture.h"

#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/valueconv.h"
#include "catalog/xmldocument.h"
#include "mainwindow/catalogtree.h"
#include "support/trashhome.h"

#include <QDir>
#include <QFile>

namespace vadok::test {
namespace {

// Two machines share one program folder through a sync engine. This one is the fixture's
// folder; the other's data file is written here by hand, as the engine would deliver it.
class SyncConflicts : public MainWindowFixture {
protected:
    SyncConflicts() {
        writeFolders({{QStringLiteral("ROOT"), QStringLiteral("ROOT"), {}},
                      {QStringLiteral("メイン"),
                       QStringLiteral("ROOT"),
                       {QStringLiteral("Tool"), QStringLiteral("Keep")}},
                      {QStringLiteral("Sub"), QStringLiteral("ROOT"), {}}});
        appendRecord(
            record(QStringLiteral("Tool"), QStringLiteral("メイン"), QStringLiteral("tool.sh")));
        appendRecord(
            record(QStringLiteral("Keep"), QStringLiteral("メイン"), QStringLiteral("keep.sh")));
        // Both machines started from this version; the start-up snapshot keeps it.
        QFile::remove(dataFilePath() + QStringLiteral(".now"));
        QFile::copy(dataFilePath(), dataFilePath() + QStringLiteral(".now"));
    }

    // The data file as the other machine wrote it: Keep's notes, Tool's command and a new
    // application New, second in メイン.
    static QByteArray otherMachinesVersion(const QString& toolCommand) {
        XmlDocument doc;
        EXPECT_TRUE(doc.load(dataFilePath() + QStringLiteral(".now")));
        findAppElement(doc, QStringLiteral("Keep"))
            .firstChild(QStringLiteral("Text"))
            .firstChild(QStringLiteral("Line"))
            .setText(QStringLiteral("別のマシンのメモ"));
        findAppElement(doc, QStringLiteral("Tool"))
            .firstChild(QStringLiteral("Exec"))
            .setText(toolCommand);
        XmlElement added = doc.documentElement()
                               .firstChild(QStringLiteral("Apps"))
                               .appendCopy(findAppElement(doc, QStringLiteral("Keep")));
        added.firstChild(QStringLiteral("Name")).setText(QStringLiteral("New"));
        for (XmlElement f : doc.select(QStringLiteral("//Folder[@Name='メイン']"))) {
            f.removeChildren();
            for (const char* item : {"Tool", "New", "Keep"})
                f.appendChild(QStringLiteral("AppItem")).setText(QString::fromUtf8(item));
        }
        bool ok = false;
        const QByteArray bytes = doc.toBytes(&ok);
        EXPECT_TRUE(ok);
        return bytes;
    }

    // A new version arriving the way sync engines deliver files: written aside, then renamed.
    static void deliver(const QString& path, const QByteArray& bytes) {
        QFile file(path + QStringLiteral(".partial"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        QFile::remove(path);
        ASSERT_TRUE(QFile::rename(file.fileName(), path));
    }

    static QString stored(const QString& app, const char* field) {
        XmlDocument doc;
        EXPECT_TRUE(doc.load(dataFilePath()));
        return findAppElement(doc, app).firstChild(QLatin1String(field)).text();
    }

    void tick() { QMetaObject::invokeMethod(window.get(), "GCTimer_Timer", Qt::DirectConnection); }

    TrashHome trash;
    std::unique_ptr<frmMain> window;
};

class ConflictCopyNames : public SyncConflicts,
                          public ::testing::WithParamInterface<const char*> {};

TEST_P(ConflictCopyNames, areMergedAtStartAndGoToTheTrash) {
    // This machine changed Tool's command its own way meanwhile.
    AppRecord tool;
    ASSERT_TRUE(FindAppByName(QStringLiteral("Tool"), tool));
    tool.ExecCmd = QStringLiteral("mine.sh");
    ASSERT_TRUE(SaveAppRecord(tool));
    const QString copy = folder.file(QString::fromUtf8(GetParam()));
    folder.writeFile(QString::fromUtf8(GetParam()),
                     otherMachinesVersion(QStringLiteral("theirs.sh")));

    prompter.expect(QStringLiteral("同期の競合を統合しました。\r\n"
                                   "次の項目は両方のマシンで別々に変更されていたため、"
                                   "データファイルの値を残しました。\r\n\r\n"
                                   "・Tool の「実行コマンド」"),
                    MsgAnswer::Ok);
    window = openWindow();

    EXPECT_EQ(stored(QStringLiteral("Keep"), "Text"), u"別のマシンのメモ");
    EXPECT_EQ(stored(QStringLiteral("Tool"), "Exec"), u"mine.sh");
    EXPECT_NE(node(*window, QStringLiteral("New")), nullptr);
    EXPECT_FALSE(QFile::exists(copy));
    EXPECT_TRUE(QFile::exists(trash.filesFolder() + u'/' + QString::fromUtf8(GetParam())));
    EXPECT_TRUE(panel1History.contains(QStringLiteral("同期の競合を統合しました: Keep、New")))
        << panel1History.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(EachEngine, ConflictCopyNames,
                         ::testing::Values("vadok.sync-conflict-20261208-101500-ABCDEFG.xml",
                                           "vadok (conflicted copy 2026-12-08 101500).xml",
                                           "vadok (laptop's conflicted copy 2026-12-08).xml"));

TEST_F(SyncConflicts, aReplacedDataFileIsShownAtTheNextTickOnceNothingIsEdited) {
    window = openWindow();
    clickNode(*window, QStringLiteral("Keep"));
    deliver(dataFilePath(), otherMachinesVersion(QStringLiteral("tool.sh")));

    window->ToggleSearchMode();
    tick();
    EXPECT_EQ(node(*window, QStringLiteral("New")), nullptr) << "rebuilt under the search";

    window->ToggleSearchMode();
    tick();
    ASSERT_NE(node(*window, QStringLiteral("New")), nullptr);
    EXPECT_EQ(CatalogTree::key(window->treeView()->currentItem()), u"Keep");
    EXPECT_EQ(
        window->Apps()[size_t(CatalogTree::tag(node(*window, QStringLiteral("Keep"))).toInt())]
            .Info(),
        u"別のマシンのメモ\r\n");
}

TEST_F(SyncConflicts, savesAfterAReplacementChangeTheFileAsItIsOnDisk) {
    window = openWindow();
    deliver(dataFilePath(), otherMachinesVersion(QStringLiteral("theirs.sh")));

    // Before the tree has followed: the tree's record of Keep still has the old notes.
    PackApp keep =
        window->Apps()[size_t(CatalogTree::tag(node(*window, QStringLiteral("Keep"))).toInt())];
    keep.setLastOpenDateTime(now.addDays(1));
    ASSERT_TRUE(keep.SaveConfig());
    EXPECT_EQ(stored(QStringLiteral("Keep"), "Text"), u"別のマシンのメモ");
    EXPECT_EQ(stored(QStringLiteral("Keep"), "Date"), dateTimeText(now.addDays(1)));

    // The tree still lacks New; moving Tool writes the folders without losing New's place.
    ASSERT_TRUE(window->MoveNode(QStringLiteral("Tool"), QStringLiteral("Sub")));
    const std::vector<StoredFolder> folders = storedFolders();
    ASSERT_EQ(folders.size(), 3u);
    EXPECT_EQ(folders[1].apps, QStringList({QStringLiteral("New"), QStringLiteral("Keep")}));
    EXPECT_EQ(folders[2].apps, QStringList{QStringLiteral("Tool")});
    EXPECT_EQ(stored(QStringLiteral("Tool"), "Exec"), u"theirs.sh");
}

} // namespace
} // namespace vadok::test
