#include "mainwindowfixture.h"

#include "rawarchive.h"

#include "apps/archivercalls.h"
#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "mainwindow/catalogtree.h"
#include "util/folderutil.h"

#include "support/modaldriver.h"
#include "support/scriptedchooser.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

namespace vadok::test {
namespace {

const QString kDeleteSource = QStringLiteral("アプリケーションの存在したディレクトリを削除してもいいですか");

QString deleteDropped(const QString& path) {
    return QStringLiteral("元の圧縮ファイル\r\n\r\n") + path + QStringLiteral("\r\n\r\nを削除しますか？");
}

void press(QDialog& d, const char* button) { control<QPushButton>(d, button)->click(); }
void confirm(QDialog& d) { press(d, "cmdOK"); }

class Registration : public MainWindowFixture {
protected:
    Registration() {
        qputenv("XDG_DATA_HOME", scratch.path().toUtf8());
        writeFolders({{QStringLiteral("ROOT"), QStringLiteral("ROOT"), {}},
                      {QStringLiteral("メイン"), QStringLiteral("ROOT"), {QStringLiteral("Tool")}}});
        storeArchive(QStringLiteral("Tool"), {{QStringLiteral("tool.txt"), "tool"}});
        appendRecord(record(QStringLiteral("Tool")));
        toolArchive = readFile(archiveOf(QStringLiteral("Tool")));
        source = scratch.path() + QStringLiteral("/src/Foo");
        sourceFiles = {{QStringLiteral("run.sh"), "#!/bin/sh\n"},
                       {QStringLiteral(".config"), "hidden"},
                       {QStringLiteral("sub/data.bin"), QByteArray(5000, 'd')}};
        for (const auto& [relative, bytes] : sourceFiles)
            writeFile(source + u'/' + relative, bytes);
    }
    ~Registration() override { qunsetenv("XDG_DATA_HOME"); }

    // The application is in the tree, in the data file and in both working folders.
    void expectRegistered(const QString& name, const Files& files) {
        AppRecord r;
        EXPECT_TRUE(FindAppByName(name, r)) << name.toStdString();
        EXPECT_EQ(r.AppDir, QStringLiteral("ROOT"));
        ASSERT_NE(node(*window, name), nullptr) << name.toStdString();
        EXPECT_EQ(CatalogTree::tag(node(*window, name)->parent()), QStringLiteral("ROOT"));
        EXPECT_EQ(archiveContents(name), files);
        EXPECT_EQ(filesBelow(execDir() + name), files);
    }
    void trigger(const char* action) {
        window->findChild<QAction*>(QString::fromLatin1(action))->trigger();
    }

    ScriptedChooser chooser;
    ModalDriver driver;
    std::unique_ptr<frmMain> window;
    QByteArray toolArchive;
    QString source;
    Files sourceFiles;
};

class FolderRegistration : public Registration, public ::testing::WithParamInterface<MsgAnswer> {};

TEST_P(FolderRegistration, theFolderIsStoredCopiedRecordedAndShown) {
    window = openWindow();
    chooser.expectFolder(source);
    driver.then(confirm);
    prompter.expect(kDeleteSource, GetParam());
    trigger("mnuNew");

    expectRegistered(QStringLiteral("Foo"), sourceFiles);
    EXPECT_EQ(QFileInfo::exists(source), GetParam() == MsgAnswer::No);
    EXPECT_EQ(chooser.folderPrompts(), QStringList{QStringLiteral("フォルダを選択してください。")});
}

INSTANTIATE_TEST_SUITE_P(DeleteSource, FolderRegistration,
                         ::testing::Values(MsgAnswer::No, MsgAnswer::Yes));

class EditorLeft : public Registration, public ::testing::WithParamInterface<bool> {};

TEST_P(EditorLeft, withoutSavingUndoesArchiveAndCopyAndKeepsTheSource) {
    const bool deleted = GetParam();
    window = openWindow();
    const QStringList tree = dumpTree(*window);
    chooser.expectFolder(source);
    if (deleted)
        prompter.expect(QStringLiteral("[Foo]を削除してよろしいですか？"), MsgAnswer::Yes);
    driver.then([deleted](QDialog& d) { press(d, deleted ? "cmdRemove" : "cmdCancel"); });
    trigger("mnuNew");

    EXPECT_FALSE(QFileInfo::exists(archiveOf(QStringLiteral("Foo"))));
    EXPECT_FALSE(QFileInfo::exists(execDir() + QStringLiteral("Foo")));
    AppRecord r;
    EXPECT_FALSE(FindAppByName(QStringLiteral("Foo"), r));
    EXPECT_EQ(dumpTree(*window), tree);
    // Not even offered for deletion: nothing else holds the application.
    EXPECT_EQ(filesBelow(source), sourceFiles);
}

INSTANTIATE_TEST_SUITE_P(CancelOrDelete, EditorLeft, ::testing::Bool());

TEST_F(Registration, choicesThatCannotBeRegisteredLeaveEverythingAsItWas) {
    window = openWindow();
    const QByteArray data = readFile(dataFilePath());
    chooser.expectFolder(std::nullopt)
        .expectFolder(QStringLiteral("relative/Foo"))
        .expectFolder(execDir() + QStringLiteral("Tool"));
    prompter.expect(QStringLiteral("無効なフォルダです"))
        .expect(u'[' + execDir() + QStringLiteral("Tool/] は登録できません。\r\nVadokの実行フォルダの中にあります。"));
    QDir().mkpath(execDir() + QStringLiteral("Tool"));
    for (int i = 0; i < 3; ++i)
        trigger("mnuNew");
    EXPECT_TRUE(panel1History.contains(QStringLiteral("キャンセルされました")));
    EXPECT_EQ(QDir(packDir()).entryList(QDir::Files), QStringList{"Tool.lzh"});
    EXPECT_EQ(readFile(dataFilePath()), data);
}

struct Dropped {
    const char* file;
    const char* title;
    bool isFolder;
};

class Drops : public Registration, public ::testing::WithParamInterface<Dropped> {};

TEST_P(Drops, aDroppedArchiveOrFolderBecomesAnApplication) {
    const Dropped& c = GetParam();
    const QString dropped = scratch.path() + QStringLiteral("/drop/") + QString::fromUtf8(c.file);
    QDir().mkpath(QFileInfo(dropped).path());
    if (c.isFolder) {
        ASSERT_TRUE(QDir().rename(source, dropped));
    } else if (dropped.endsWith(QStringLiteral(".lzh"))) {
        ASSERT_EQ(RunUnlha(StoreCommand(dropped, source + u'/', true)), 0);
    } else {
        std::vector<RawMember> members;
        for (const auto& [relative, bytes] : sourceFiles)
            members.push_back({relative.toStdString(), bytes.toStdString(), {}, false});
        writeRawZip(dropped.toStdString(), members);
    }
    const QByteArray droppedBytes = readFile(dropped);
    window = openWindow();
    driver.then([](QDialog& d) { press(d, "cmdNew"); }).then(confirm);
    if (c.isFolder)
        prompter.expect(kDeleteSource, MsgAnswer::No);
    else
        prompter.expect(deleteDropped(dropped), MsgAnswer::Yes);
    window->showDropDialog(dropped);

    const QString title = QString::fromUtf8(c.title);
    expectRegistered(title, sourceFiles);
    EXPECT_EQ(QFileInfo::exists(dropped), c.isFolder);
    if (dropped.endsWith(QStringLiteral(".lzh"))) {
        EXPECT_EQ(readFile(archiveOf(title)), droppedBytes);
    }
    EXPECT_FALSE(QFileInfo::exists(WorkFolder()));
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Tool"))), toolArchive);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Drops,
                         ::testing::Values(Dropped{"Tool.beta.lzh", "Tool.beta", false},
                                           Dropped{"Pack2.ZIP", "Pack2", false},
                                           Dropped{"My Tool", "My Tool", true}));

TEST_F(Registration, anArchiveNamedLikeAnApplicationNeverReplacesItsArchive) {
    const QString dropped = scratch.path() + QStringLiteral("/Tool.lzh");
    ASSERT_EQ(RunUnlha(StoreCommand(dropped, source + u'/', true)), 0);
    window = openWindow();
    const QString inUse = QStringLiteral("[Tool] という名前のアプリケーションは既に登録されています。"
                                         "\r\n別の名前で登録する場合は、名前を入力してください。");
    // Declined: nothing is registered and the dialog stays for another choice.
    prompter.expectInput(std::nullopt);
    driver.then([](QDialog& d) {
        press(d, "cmdNew");
        EXPECT_TRUE(d.isVisible());
        press(d, "cmdCancel");
    });
    window->showDropDialog(dropped);
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Tool"))), toolArchive);
    EXPECT_EQ(QDir(packDir()).entryList(QDir::Files), QStringList{"Tool.lzh"});

    // Accepted under the name offered.
    prompter.expectInput(QStringLiteral("Tool (2)"));
    prompter.expect(deleteDropped(dropped), MsgAnswer::No);
    driver.then([](QDialog& d) { press(d, "cmdNew"); }).then(confirm);
    window->showDropDialog(dropped);
    EXPECT_EQ(prompter.inputPrompts(), QStringList(2, inUse));
    EXPECT_EQ(prompter.inputInitials(), QStringList(2, QStringLiteral("Tool (2)")));
    expectRegistered(QStringLiteral("Tool (2)"), sourceFiles);
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Tool"))), toolArchive);
}

TEST_F(Registration, anArchiveOfThePackFolderItselfIsRegisteredInPlaceAndNeverOfferedForDeletion) {
    // An archive whose record was lost, dropped from the pack folder to register it again.
    const QString dropped = archiveOf(QStringLiteral("Lost"));
    ASSERT_EQ(RunUnlha(StoreCommand(dropped, source + u'/', true)), 0);
    const QByteArray archive = readFile(dropped);
    window = openWindow();
    driver.then([](QDialog& d) { press(d, "cmdNew"); }).then(confirm);
    window->showDropDialog(dropped);
    EXPECT_EQ(readFile(dropped), archive);
    expectRegistered(QStringLiteral("Lost"), sourceFiles);

    // Registered under another name, the other application's archive stays where it is.
    prompter.expectInput(QStringLiteral("Tool (2)"));
    driver.then([](QDialog& d) { press(d, "cmdNew"); }).then(confirm);
    window->showDropDialog(archiveOf(QStringLiteral("Tool")));
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Tool"))), toolArchive);
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Tool (2)"))), toolArchive);
}

TEST_F(Registration, aZipReachingOutsideTheWorkFolderIsRefusedAndNothingWritten) {
    const QString dropped = scratch.path() + QStringLiteral("/Evil.zip");
    writeRawZip(dropped.toStdString(), {{"ok.txt", "fine", {}, false}, {"../../escape.txt", "out", {}, false}});
    window = openWindow();
    const QByteArray data = readFile(dataFilePath());
    prompter.expect(QStringLiteral("解凍に失敗しました。"));
    driver.then([](QDialog& d) {
        press(d, "cmdNew");
        EXPECT_TRUE(d.isVisible());
        press(d, "cmdCancel");
    });
    window->showDropDialog(dropped);

    EXPECT_EQ(prompter.messages().value(0).title, QStringLiteral("Failed"));
    EXPECT_FALSE(QFileInfo::exists(folder.file(QStringLiteral("escape.txt"))));
    EXPECT_TRUE(filesBelow(execDir()).empty());
    EXPECT_EQ(QDir(packDir()).entryList(QDir::Files), QStringList{"Tool.lzh"});
    EXPECT_EQ(readFile(dataFilePath()), data);
}

TEST_F(Registration, dropsOnTheWindowOpenTheDialogForOneItemOnly) {
    window = openWindow();
    auto drop = [&](QWidget* target, const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &dropped);
        QCoreApplication::processEvents();
    };
    prompter.expect(QStringLiteral("一度にドロップできるのは１つのファイル/フォルダだけです"));
    drop(window.get(), {QUrl::fromLocalFile(source), QUrl::fromLocalFile(scratch.path())});

    driver.then([this](QDialog& d) {
        EXPECT_EQ(control<QLabel>(d, "lblFileName")->text(), source);
        EXPECT_EQ(d.windowTitle(), QStringLiteral("フォルダが渡されました"));
        press(d, "cmdCancel");
    });
    drop(window->treeView()->viewport(), {QUrl::fromLocalFile(source)});
    EXPECT_TRUE(waitUntil([&] { return driver.shown() == 1; }));
}

TEST_F(Registration, aNewShortcutEntryPointsAtTheChosenProgram) {
    const QString program = scratch.path() + QStringLiteral("/bin/gadget");
    writeFile(program, "#!/bin/sh\n", true);
    window = openWindow();
    chooser.expectFile(scratch.path() + QStringLiteral("/bin/missing")).expectFile(program);
    prompter.expect(QStringLiteral("指定されたファイルが見つかりません"));
    driver.then(confirm);
    trigger("mnuNewShortCut");
    trigger("mnuNewShortCut");

    const Chooser::FileRequest request = chooser.fileRequests().value(0);
    EXPECT_EQ(request.initialName, QStringLiteral("実行するファイルを選択してください"));
    EXPECT_EQ(request.filters, (QStringList{QStringLiteral("実行ファイル (*)"),
                                            QStringLiteral("ショートカットファイル (*.desktop *.lnk)")}));
    AppRecord r;
    ASSERT_TRUE(FindAppByName(QStringLiteral("gadget"), r));
    EXPECT_TRUE(r.ShortCut);
    EXPECT_EQ(r.ExecCmd, program);
    EXPECT_EQ(r.OverRideBasePath, scratch.path() + QStringLiteral("/bin/"));
    EXPECT_NE(node(*window, QStringLiteral("gadget")), nullptr);
}

} // namespace
} // namespace vadok::test
