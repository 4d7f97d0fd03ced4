#include "mainwindowfixture.h"

#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/xmldocument.h"
#include "dialogs/frmfulltext.h"
#include "fulltext/fulltextsearch.h"
#include "mainwindow/catalogtree.h"
#include "platform/programfolder.h"

#include "support/modaldriver.h"
#include "support/scriptedchooser.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace vadok::test {
namespace {


// One application, Tool, stored with a readme and notes; each word below is in one place.
class FullTextWiring : public MainWindowFixture {
protected:
    FullTextWiring() {
        qputenv("XDG_DATA_HOME", scratch.path().toUtf8());
        writeFolders({{QStringLiteral("ROOT"), QStringLiteral("ROOT"), {}},
                      {QStringLiteral("メイン"), QStringLiteral("ROOT"), {QStringLiteral("Tool")}}});
        storeArchive(QStringLiteral("Tool"), {{QStringLiteral("run.sh"), "#!/bin/sh\n"},
                                              {QStringLiteral("readme.txt"), "hammer time\n"}});
        AppRecord tool = record(QStringLiteral("Tool"), QStringLiteral("メイン"),
                                QStringLiteral("run.sh"));
        tool.Info = QStringLiteral("wrench notes");
        appendRecord(tool);
    }
    ~FullTextWiring() override { qunsetenv("XDG_DATA_HOME"); }

    // The titles the index finds for text once the window is idle and the index caught up.
    QStringList found(const QString& text) {
        EXPECT_TRUE(waitUntil([&] { return window->stage() == u"NORMAL"; }));
        window->fullTextSearch().waitUntilIdle();
        QStringList titles;
        for (const FullTextHit& hit : window->fullTextSearch().query(text).hits)
            titles << hit.title;
        return titles;
    }
    void trigger(const char* action) {
        window->findChild<QAction*>(QString::fromLatin1(action))->trigger();
    }
    frmFullText* dialog() const { return window->findChild<frmFullText*>(); }
    QString current() const { return CatalogTree::key(window->treeView()->currentItem()); }

    ModalDriver driver;
    ScriptedChooser chooser;
    std::unique_ptr<frmMain> window;
};

TEST_F(FullTextWiring, theFileMenuOffersItAfterTheSearchWithItsShortcut) {
    window = openWindow();
    const QList<QAction*> items = window->findChild<QMenu*>(QStringLiteral("mnuFile"))->actions();
    QStringList names;
    for (const QAction* item : items)
        names << item->objectName();
    const qsizetype search = names.indexOf(u"mnuSearch"_qs);
    ASSERT_GE(search, 0);
    ASSERT_EQ(names.value(search + 1), u"mnuFullTextSearch"_qs);
    const QAction* item = items[search + 1];
    EXPECT_EQ(item->text(), u"全文検索(&T)..."_qs);
    EXPECT_EQ(item->shortcut(), QKeySequence(u"Ctrl+Shift+F"_qs));

    // The key works with the menu bar hidden too.
    window->menuBar()->hide();
    QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_NE(dialog(), nullptr);
    EXPECT_TRUE(dialog()->isVisible());
    EXPECT_EQ(dialog()->windowTitle(), u"全文検索"_qs);
}

TEST_F(FullTextWiring, builtAtStartEnterSelectsTheApplicationInTheTreeAndCtrlEnterRunsIt) {
    window = openWindow();
    ASSERT_EQ(found(u"hammer"_qs), QStringList{u"Tool"_qs});
    ASSERT_EQ(found(u"wrench"_qs), QStringList{u"Tool"_qs});
    ASSERT_EQ(current(), u"ROOT"_qs);

    trigger("mnuFullTextSearch");
    auto* box = dialog()->findChild<QLineEdit*>(u"txtFullText"_qs);
    QTest::keyClicks(box, u"hammer"_qs);
    // Typed before the answer came from the index's thread, Enter waits for it.
    QTest::keyClick(box, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !dialog()->isVisible(); }));
    EXPECT_EQ(current(), u"Tool"_qs);
    EXPECT_EQ(window->treeView()->shownKey(), u"Tool"_qs);
    EXPECT_TRUE(node(*window, u"メイン"_qs)->isExpanded());
    EXPECT_FALSE(panel1History.contains(u"Toolを実行開始..."_qs));

    clickNode(*window, u"ROOT"_qs);
    trigger("mnuFullTextSearch");
    QTest::keyClicks(box, u"wrench"_qs);
    QTest::keyClick(box, Qt::Key_Return, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return !dialog()->isVisible(); }));
    EXPECT_EQ(current(), u"Tool"_qs);
    EXPECT_TRUE(panel1History.contains(u"Toolを実行開始..."_qs));
}

TEST_F(FullTextWiring, aResultGoneFromTheTreeIsSaidAndSelectsNothing) {
    window = openWindow();
    EXPECT_FALSE(window->selectAppByTitle(u"Gone"_qs));
    EXPECT_EQ(current(), u"ROOT"_qs);
    EXPECT_EQ(panelText(*window, 1), u"[Gone]は見つかりません。"_qs);
}

TEST_F(FullTextWiring, notesAndTitleEditedInTheEditorAreFoundAsEdited) {
    window = openWindow();
    ASSERT_EQ(found(u"wrench"_qs), QStringList{u"Tool"_qs});
    clickNode(*window, u"Tool"_qs);
    driver.then([](QDialog& d) {
        control<QPlainTextEdit>(d, "txtInfo")->setPlainText(u"pliers only"_qs);
        control<QLineEdit>(d, "txtName")->setText(u"Vise"_qs);
        press(d, "cmdOK");
    });
    window->findChild<QPushButton*>(u"cmdEdit"_qs)->click();

    EXPECT_EQ(found(u"pliers"_qs), QStringList{u"Vise"_qs});
    EXPECT_TRUE(found(u"wrench"_qs).isEmpty());
    EXPECT_EQ(found(u"hammer"_qs), QStringList{u"Vise"_qs});
}

TEST_F(FullTextWiring, aNewApplicationIsFoundByItsBundledText) {
    const QString source = scratch.path() + u"/src/Foo"_qs;
    writeFile(source + u"/readme.txt"_qs, "chisel and drill\n");
    window = openWindow();
    chooser.expectFolder(source);
    driver.then([](QDialog& d) { press(d, "cmdOK"); });
    prompter.expect(u"アプリケーションの存在したディレクトリ\r\n\r\n"_qs + source +
                        u"/\r\n\r\nを削除してもいいですか"_qs,
                    MsgAnswer::No);
    trigger("mnuNew");

    EXPECT_EQ(found(u"chisel"_qs), QStringList{u"Foo"_qs});
}

TEST_F(FullTextWiring, aDeletedApplicationIsNoLongerFound) {
    window = openWindow();
    ASSERT_EQ(found(u"hammer"_qs), QStringList{u"Tool"_qs});
    clickNode(*window, u"Tool"_qs);
    prompter.expect(u"[Tool]を削除してよろしいですか？"_qs, MsgAnswer::Ok);
    trigger("TreePopDel");

    EXPECT_TRUE(found(u"hammer"_qs).isEmpty());
    EXPECT_TRUE(found(u"wrench"_qs).isEmpty());
}

TEST_F(FullTextWiring, aStoredFolderIsFoundByWhatItHeldWhenStored) {
    window = openWindow();
    ASSERT_EQ(found(u"hammer"_qs), QStringList{u"Tool"_qs});
    // Run once, so it is expanded; then its readme is edited in the folder.
    clickNode(*window, u"Tool"_qs);
    trigger("TreePopExec");
    ASSERT_TRUE(QFileInfo::exists(execDir() + u"Tool/readme.txt"_qs));
    writeFile(execDir() + u"Tool/readme.txt"_qs, "mallet time\n");

    trigger("TreePopPack");
    ASSERT_FALSE(QFileInfo::exists(execDir() + u"Tool"_qs));
    EXPECT_EQ(found(u"mallet"_qs), QStringList{u"Tool"_qs});
    EXPECT_TRUE(found(u"hammer"_qs).isEmpty());
}

// An application never stored at exit, whose folder's readme differs from its archive's
// ("hammer time"): storing it again takes in a change made since it was indexed, expanding it
// again puts the archive's text back.
struct NoPackCommand {
    const char* item;
    QByteArray readme;   // in the folder when the window opens
    QByteArray editedTo; // then, unless empty
    const char* found;
    const char* gone;
};

void PrintTo(const NoPackCommand& c, std::ostream* out) { *out << c.item; }

class NoPackCommands : public FullTextWiring, public ::testing::WithParamInterface<NoPackCommand> {};

TEST_P(NoPackCommands, areFollowedByTheIndex) {
    const NoPackCommand c = GetParam();
    AppRecord tool;
    ASSERT_TRUE(FindAppByName(u"Tool"_qs, tool));
    tool.NonPack = true;
    ASSERT_TRUE(SaveAppRecord(tool));
    expand(u"Tool"_qs, {{u"run.sh"_qs, "#!/bin/sh\n"}, {u"readme.txt"_qs, c.readme}});
    window = openWindow();
    ASSERT_EQ(found(QString::fromUtf8(c.readme.split(' ').first())), QStringList{u"Tool"_qs});
    if (!c.editedTo.isEmpty())
        writeFile(execDir() + u"Tool/readme.txt"_qs, c.editedTo);

    clickNode(*window, u"Tool"_qs);
    prompter.expectPrefix(u"このアプリケーションは[圧縮保存しない]設定となっています。"_qs,
                          MsgAnswer::Yes);
    trigger(c.item);

    EXPECT_EQ(found(QString::fromUtf8(c.found)), QStringList{u"Tool"_qs});
    EXPECT_TRUE(found(QString::fromUtf8(c.gone)).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Items, NoPackCommands,
    ::testing::Values(
        NoPackCommand{"numNoPackPack", "hammer time\n", "mallet time\n", "mallet", "hammer"},
        NoPackCommand{"mnuNoPackExtract", "mallet time\n", {}, "hammer", "mallet"}),
    [](const ::testing::TestParamInfo<NoPackCommand>& info) { return info.param.item; });

TEST_F(FullTextWiring, aDataFileReplacedBehindTheWindowIsFollowed) {
    window = openWindow();
    ASSERT_EQ(found(u"wrench"_qs), QStringList{u"Tool"_qs});
    XmlDocument doc;
    ASSERT_TRUE(doc.load(dataFilePath()));
    findAppElement(doc, u"Tool"_qs)
        .firstChild(u"Text"_qs)
        .firstChild(u"Line"_qs)
        .setText(u"別のマシンのスパナ"_qs);
    bool ok = false;
    const QByteArray bytes = doc.toBytes(&ok);
    ASSERT_TRUE(ok);
    // Written aside and renamed over it, as a sync engine delivers it.
    writeFile(dataFilePath() + u".partial"_qs, bytes);
    QFile::remove(dataFilePath());
    ASSERT_TRUE(QFile::rename(dataFilePath() + u".partial"_qs, dataFilePath()));

    ASSERT_TRUE(waitUntil([&] { return window->Apps().size() > 1 &&
                                       window->Apps()[1].Info().contains(u"スパナ"_qs); }));
    EXPECT_EQ(found(u"スパナ"_qs), QStringList{u"Tool"_qs});
    EXPECT_TRUE(found(u"wrench"_qs).isEmpty());
}

TEST_F(FullTextWiring, aVersionUpIsFoundByTheNewVersionsTextsEvenWithItsEditorCancelled) {
    window = openWindow();
    ASSERT_EQ(found(u"hammer"_qs), QStringList{u"Tool"_qs});
    const QString dropped = scratch.path() + u"/new"_qs;
    writeFile(dropped + u"/Tool-2/run.sh"_qs, "#!/bin/sh\n");
    writeFile(dropped + u"/Tool-2/readme.txt"_qs, "saw blade\n");
    prompter.expect(u"[Tool]をバージョンアップしました。"_qs)
        .expect(u"バージョンアップ元のファイル\r\n\r\n"_qs + dropped +
                    u"\r\n\r\nを削除してよろしいですか？"_qs,
                MsgAnswer::No);
    // The editor left without saving: the tree is not built again, yet the new version is
    // stored once it closes.
    driver.then([](QDialog& d) { press(d, "cmdVerUp"); })
        .then([](QDialog& picker) {
            auto* tree = control<QTreeWidget>(picker, "TreeView");
            const auto items = tree->findItems(u"Tool"_qs, Qt::MatchExactly | Qt::MatchRecursive);
            ASSERT_EQ(items.size(), 1);
            tree->setCurrentItem(items.first());
            press(picker, "cmdOK");
        })
        .then([](QDialog& editor) { press(editor, "cmdCancel"); });
    window->showDropDialog(dropped);

    EXPECT_EQ(archiveContents(u"Tool"_qs).at(u"readme.txt"_qs), "saw blade\n");
    EXPECT_EQ(found(u"blade"_qs), QStringList{u"Tool"_qs});
    EXPECT_TRUE(found(u"hammer"_qs).isEmpty());
}

// What the index says of its file reaches the status bar: made anew, or why it could not be.
TEST_F(FullTextWiring, theStatusBarSaysWhatBecameOfTheIndexFile) {
    const QString index = machineCacheFile(u"vadok.search.db"_qs);
    const struct {
        const char* name;
        bool folder; // else a damaged file
        QString said;
    } cases[] = {
        {"a damaged file", false, u"全文検索の索引が壊れていたため、作り直しています。"_qs},
        {"a folder in its place", true,
         u"全文検索の索引を更新できませんでした（索引のファイルを開けません："_qs + index +
             u" の名前をフォルダが使っています）。"_qs},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        QDir(index).removeRecursively();
        QFile::remove(index);
        if (c.folder)
            ASSERT_TRUE(QDir().mkpath(index));
        else
            writeFile(index, QByteArray(8192, 'x'));
        panel1History.clear();
        window = openWindow();
        ASSERT_TRUE(waitUntil([&] { return window->stage() == u"NORMAL"; }));
        window->fullTextSearch().waitUntilIdle();
        // Said from the index's thread, queued before its pass ended.
        ASSERT_TRUE(waitUntil([&] { return panel1History.contains(c.said); }))
            << panel1History.join(u'\n').toStdString();
        EXPECT_EQ(found(u"hammer"_qs), c.folder ? QStringList() : QStringList{u"Tool"_qs});
    }
}

} // namespace
} // namespace vadok::test
