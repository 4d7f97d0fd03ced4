#include "mainwindowfixture.h"

#include "rawarchive.h"

#include "apps/archivercalls.h"
#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "mainwindow/catalogtree.h"
#include "util/folderutil.h"

#include "support/exfatimage.h"
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
#include <QProcess>
#include <QPushButton>
#include <QUrl>
#include <cstdlib>
#include <tuple>

namespace vadok::test {
namespace {

// The question names the folder it would delete.
QString deleteSource(const QString& folder) {
    return QStringLiteral("アプリケーションの存在したディレクトリ\r\n\r\n") + folder +
           QStringLiteral("/\r\n\r\nを削除してもいいですか");
}
const QString kOverwrite = QStringLiteral("はすでに存在しています。\r\nファイルを上書きしますか?\r\n"
                                          "(はいで上書き,いいえで追加圧縮,キャンセルで圧縮中止)");

QString deleteDropped(const QString& path) {
    return QStringLiteral("元の圧縮ファイル\r\n\r\n") + path + QStringLiteral("\r\n\r\nを削除しますか？");
}

void confirm(QDialog& d) { press(d, "cmdOK"); }

class DroppedRegistration : public MainWindowFixture {
protected:
    DroppedRegistration() {
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
    ~DroppedRegistration() override { qunsetenv("XDG_DATA_HOME"); }

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
    QStringList trashed() const {
        return QDir(scratch.path() + QStringLiteral("/Trash/files"))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
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

class FolderRegistration : public DroppedRegistration, public ::testing::WithParamInterface<MsgAnswer> {};

TEST_P(FolderRegistration, theFolderIsStoredCopiedRecordedAndShown) {
    window = openWindow();
    chooser.expectFolder(source);
    driver.then(confirm);
    prompter.expect(deleteSource(source), GetParam());
    trigger("mnuNew");

    expectRegistered(QStringLiteral("Foo"), sourceFiles);
    EXPECT_EQ(QFileInfo::exists(source), GetParam() == MsgAnswer::No);
    // Enter keeps the folder: the only other copy of the application may be in it.
    EXPECT_EQ(prompter.messages().value(0).defaultAnswer, MsgAnswer::No);
    // The new application is selected, its panel shown.
    EXPECT_EQ(CatalogTree::key(window->treeView()->currentItem()), QStringLiteral("Foo"));
    EXPECT_EQ(window->treeView()->shownKey(), QStringLiteral("Foo"));
    EXPECT_EQ(chooser.folderPrompts(), QStringList{QStringLiteral("フォルダを選択してください。")});
}

INSTANTIATE_TEST_SUITE_P(DeleteSource, FolderRegistration,
                         ::testing::Values(MsgAnswer::No, MsgAnswer::Yes));

class EditorLeft : public DroppedRegistration, public ::testing::WithParamInterface<bool> {};

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
    if (deleted) {
        EXPECT_EQ(prompter.messages().value(0).defaultAnswer, MsgAnswer::No);
    }
    // Not even offered for deletion: nothing else holds the application.
    EXPECT_EQ(filesBelow(source), sourceFiles);
}

INSTANTIATE_TEST_SUITE_P(CancelOrDelete, EditorLeft, ::testing::Bool());

TEST_F(DroppedRegistration, choicesThatCannotBeRegisteredLeaveEverythingAsItWas) {
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

class Drops : public DroppedRegistration, public ::testing::WithParamInterface<Dropped> {};

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
        prompter.expect(deleteSource(dropped), MsgAnswer::No);
    else
        prompter.expect(deleteDropped(dropped), MsgAnswer::Yes);
    window->showDropDialog(dropped);

    const QString title = QString::fromUtf8(c.title);
    expectRegistered(title, sourceFiles);
    EXPECT_EQ(QFileInfo::exists(dropped), c.isFolder);
    // Nothing of the launcher's is left in the user's folder, no lock file either.
    EXPECT_EQ(QDir(QFileInfo(dropped).path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              c.isFolder ? QStringList{QString::fromUtf8(c.file)} : QStringList{});
    EXPECT_EQ(prompter.messages().value(0).defaultAnswer, MsgAnswer::No);
    if (dropped.endsWith(QStringLiteral(".lzh"))) {
        EXPECT_EQ(readFile(archiveOf(title)), droppedBytes);
    }
    EXPECT_FALSE(QFileInfo::exists(WorkFolder()));
    // The work folder is the launcher's own scratch space: it never reaches the trash.
    EXPECT_TRUE(trashed().isEmpty());
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Tool"))), toolArchive);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Drops,
                         ::testing::Values(Dropped{"Tool.beta.lzh", "Tool.beta", false},
                                           Dropped{"Pack2.ZIP", "Pack2", false},
                                           Dropped{"My Tool", "My Tool", true}));

TEST_F(DroppedRegistration, anArchiveNamedLikeAnApplicationNeverReplacesItsArchive) {
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

TEST_F(DroppedRegistration, anArchiveOfThePackFolderItselfIsRegisteredInPlaceAndNeverOfferedForDeletion) {
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

// A ZIP the archiver refuses: nothing is registered or written, and the message says why.
TEST_F(DroppedRegistration, aRefusedZipIsNeverRegisteredAndTheMessageSaysWhy) {
    const QString evil = scratch.path() + QStringLiteral("/Evil.zip");
    writeRawZip(evil.toStdString(), {{"ok.txt", "fine", {}, false}, {"../../escape.txt", "out", {}, false}});
    const QString secret = scratch.path() + QStringLiteral("/Secret.zip");
    writeFile(scratch.path() + QStringLiteral("/s.txt"), "secret");
    ASSERT_EQ(QProcess::execute(QStringLiteral("zip"), {QStringLiteral("-jqP"), QStringLiteral("pw"), secret,
                                                        scratch.path() + QStringLiteral("/s.txt")}),
              0)
        << "zip missing: scripts/setup installs it";
    window = openWindow();
    const QByteArray data = readFile(dataFilePath());
    const std::pair<QString, QString> cases[] = {
        {evil, QStringLiteral("[Evil.zip]\r\n展開先のフォルダの外に書き込むファイルが含まれているため、展開しませんでした。")},
        {secret, QStringLiteral("[Secret.zip]\r\n暗号化されたファイルが含まれているため、展開できません。")},
    };
    for (const auto& [dropped, why] : cases) {
        prompter.expect(QStringLiteral("解凍に失敗しました。\r\n\r\n") + why);
        driver.then([](QDialog& d) {
            press(d, "cmdNew");
            EXPECT_TRUE(d.isVisible());
            press(d, "cmdCancel");
        });
        window->showDropDialog(dropped);
    }
    EXPECT_EQ(prompter.messages().value(0).title, QStringLiteral("Failed"));
    EXPECT_FALSE(QFileInfo::exists(folder.file(QStringLiteral("escape.txt"))));
    EXPECT_TRUE(filesBelow(execDir()).empty());
    EXPECT_FALSE(QFileInfo::exists(WorkFolder()));
    EXPECT_EQ(filesBesideArchives(packDir()), QStringList{"Tool.lzh"});
    EXPECT_EQ(readFile(dataFilePath()), data);
}

// An LZH archive with damaged data, made by vadok or by another archiver, dropped to be
// registered: it would become an application that cannot run.
class DamagedDrops : public DroppedRegistration, public ::testing::WithParamInterface<const char*> {};

TEST_P(DamagedDrops, anArchiveThatDoesNotExpandIsNeverRegisteredAndLeavesNothingBehind) {
    const QString maker = QString::fromLatin1(GetParam());
    const QString dropped = scratch.path() + QStringLiteral("/drop/Broken.lzh");
    const QString content = scratch.path() + QStringLiteral("/broken");
    writeFile(content + QStringLiteral("/data.bin"), noise(60000, 7));
    QDir().mkpath(scratch.path() + QStringLiteral("/drop"));
    if (maker == u"vadok") {
        ASSERT_EQ(RunUnlha(StoreCommand(dropped, content + u'/', true)), 0);
    } else {
        ASSERT_EQ(std::system(QStringLiteral("cd '%1' && jlha a2o5 '%2' data.bin >/dev/null 2>&1")
                                  .arg(content, dropped)
                                  .toLocal8Bit()
                                  .constData()),
                  0)
            << "jlha missing: scripts/setup installs jlha-utils";
    }
    flipMiddleByte(dropped);
    const QByteArray droppedBytes = readFile(dropped);
    window = openWindow();
    const QByteArray data = readFile(dataFilePath());
    prompter.expectPrefix(QStringLiteral("解凍に失敗しました。Error Code:0x"));
    driver.then([](QDialog& d) {
        press(d, "cmdNew");
        EXPECT_TRUE(d.isVisible());
        press(d, "cmdCancel");
    });
    window->showDropDialog(dropped);

    // The message says which member is damaged.
    EXPECT_TRUE(prompter.messages().value(0).text.contains(QStringLiteral("data.bin")));
    EXPECT_EQ(filesBesideArchives(packDir()), QStringList{"Tool.lzh"});
    EXPECT_TRUE(QDir(execDir()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_EQ(readFile(dataFilePath()), data);
    EXPECT_EQ(node(*window, QStringLiteral("Broken")), nullptr);
    EXPECT_EQ(readFile(dropped), droppedBytes);
}

INSTANTIATE_TEST_SUITE_P(Makers, DamagedDrops, ::testing::Values("vadok", "jlha"));

// Foo.lzh is in the pack folder, but no application owns it: the registration of the folder
// Foo adds to it or rebuilds it, as the user answers, and is then left in the editor.
class UnownedArchive : public DroppedRegistration,
                       public ::testing::WithParamInterface<std::tuple<MsgAnswer, bool>> {};

TEST_P(UnownedArchive, aRegistrationLeftInTheEditorPutsItBackByteForByte) {
    const auto [answer, deleted] = GetParam();
    storeArchive(QStringLiteral("Foo"), {{QStringLiteral("old.txt"), "held before"}});
    const QByteArray before = readFile(archiveOf(QStringLiteral("Foo")));
    window = openWindow();
    chooser.expectFolder(source);
    prompter.expect(archiveOf(QStringLiteral("Foo")) + kOverwrite, answer);
    if (deleted)
        prompter.expect(QStringLiteral("[Foo]を削除してよろしいですか？"), MsgAnswer::Yes);
    driver.then([deleted](QDialog& d) { press(d, deleted ? "cmdRemove" : "cmdCancel"); });
    trigger("mnuNew");

    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Foo"))), before);
    EXPECT_EQ(filesBesideArchives(packDir()),
              (QStringList{QStringLiteral("Foo.lzh"), QStringLiteral("Tool.lzh")}));
    EXPECT_FALSE(QFileInfo::exists(execDir() + QStringLiteral("Foo")));
    EXPECT_EQ(filesBelow(source), sourceFiles);
}

INSTANTIATE_TEST_SUITE_P(AddedOrRebuiltThenCancelledOrDeleted, UnownedArchive,
                         ::testing::Combine(::testing::Values(MsgAnswer::No, MsgAnswer::Yes),
                                            ::testing::Bool()));

TEST_F(DroppedRegistration, aCopyThatCameOutShortNeverOffersToDeleteTheSource) {
    window = openWindow();
    // The copy loses a file at the last moment, as a full disk or a file vanishing would.
    setFolderCopiedHook([](const QString& target) {
        QFile::remove(QDir(target).filePath(QStringLiteral("sub/data.bin")));
    });
    struct Unhook {
        ~Unhook() { setFolderCopiedHook({}); }
    } unhook;
    chooser.expectFolder(source);
    driver.then(confirm);
    prompter.expect(QStringLiteral("実行フォルダへのコピーが完全ではないため、元のフォルダは削除しません。\r\n") +
                    source + u'/');
    trigger("mnuNew");

    EXPECT_EQ(prompter.messages().value(0).icon, MsgIcon::Exclamation);
    EXPECT_EQ(filesBelow(source), sourceFiles);
    EXPECT_EQ(archiveContents(QStringLiteral("Foo")), sourceFiles);
}

// A copy into the execution folder that fails (here a name the USB stick it lies on refuses)
// takes the registration back: nothing in Pack/, Exec/ or the data file, the user's folder
// untouched, and the message says which file and why.
TEST_F(DroppedRegistration, aCopyThatFailsRegistersNothingAndSaysWhichFileAndWhy) {
    ExfatImage stick(scratch.path().toStdString());
    if (!stick.mounted())
        GTEST_SKIP() << "no exFAT file system to be had here: " << stick.why();
    writeFile(source + QStringLiteral("/sub/what?.txt"), "refused on the stick");
    Files before = sourceFiles;
    before[QStringLiteral("sub/what?.txt")] = "refused on the stick";
    window = openWindow();
    settings().ExecDir = QString::fromStdString(stick.mount()) + QStringLiteral("/Exec/");
    QDir().mkpath(settings().ExecDir);
    const QByteArray data = readFile(dataFilePath());
    const QStringList tree = dumpTree(*window);
    chooser.expectFolder(source);
    prompter.expect(QStringLiteral("ファイルのコピーに失敗しました。\r\n\r\n") + source +
                    QStringLiteral("/sub/what?.txt\r\nコピー先のファイルシステムでは使えない名前です。"));
    trigger("mnuNew");

    EXPECT_EQ(QDir(packDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Tool.lzh"});
    EXPECT_EQ(QDir(execDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{});
    EXPECT_EQ(readFile(dataFilePath()), data);
    EXPECT_EQ(dumpTree(*window), tree);
    EXPECT_EQ(filesBelow(source), before);
    window.reset(); // its exit must not outlive the stick
}

TEST_F(DroppedRegistration, theLaunchersOwnNamesAreNeverTakenAsTitles) {
    const QString dropped = scratch.path() + QStringLiteral("/drop/_work");
    QDir().mkpath(scratch.path() + QStringLiteral("/drop"));
    ASSERT_TRUE(QDir().rename(source, dropped));
    window = openWindow();
    prompter.expectInput(QStringLiteral("_Work-0001")).expectInput(QStringLiteral("work"));
    prompter.expect(deleteSource(dropped), MsgAnswer::No);
    driver.then([](QDialog& d) { press(d, "cmdNew"); }).then(confirm);
    window->showDropDialog(dropped);

    const QString refused = QStringLiteral("「_work」で始まる名称はVadokが作業用に使うため、使うことはできません"
                                           "\r\n別の名前で登録する場合は、名前を入力してください。");
    EXPECT_EQ(prompter.inputPrompts(), QStringList(2, refused));
    EXPECT_EQ(prompter.inputInitials().value(0), QStringLiteral("work (2)"));
    expectRegistered(QStringLiteral("work"), sourceFiles);
    EXPECT_FALSE(QFileInfo::exists(WorkFolder()));
}

// A folder of the tree has no record nor archive behind it, yet an application of its name
// would be a second node under one key.
TEST_F(DroppedRegistration, aFoldersNameIsNeverTakenAsATitle) {
    const QString dropped = scratch.path() + QStringLiteral("/drop/メイン");
    QDir().mkpath(scratch.path() + QStringLiteral("/drop"));
    ASSERT_TRUE(QDir().rename(source, dropped));
    window = openWindow();
    prompter.expectInput(QStringLiteral("Main"));
    prompter.expect(deleteSource(dropped), MsgAnswer::No);
    driver.then([](QDialog& d) { press(d, "cmdNew"); }).then(confirm);
    window->showDropDialog(dropped);

    EXPECT_EQ(prompter.inputPrompts(),
              QStringList{QStringLiteral("[メイン] という名前のアプリケーションは既に登録されています。"
                                         "\r\n別の名前で登録する場合は、名前を入力してください。")});
    expectRegistered(QStringLiteral("Main"), sourceFiles);
    EXPECT_EQ(node(*window, QStringLiteral("Tool"))->parent(), node(*window, QStringLiteral("メイン")));
}

TEST_F(DroppedRegistration, dropsOnTheWindowOpenTheDialogForOneItemOnly) {
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

TEST_F(DroppedRegistration, aNewShortcutEntryPointsAtTheChosenProgram) {
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
