#include "mainwindowfixture.h"

#include "apps/archivercalls.h"
#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "instances/handover.h"
#include "mainwindow/catalogtree.h"
#include "instances/commandline.h"
#include "platform/desktopfolder.h"
#include "platform/programfolder.h"
#include "platform/folderusers.h"
#include "platform/keystate.h"
#include "util/desktopentry.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vadok::test {
namespace {

const QString kNoSelection = QStringLiteral("アプリケーションが選択されていません");

// The started program writes its working folder, each argument as "[argument]" and "end"
// into $TRACE_FILE.
const QByteArray kTraceScript =
    "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"[$a]\"; done; echo end; } > \"$TRACE_FILE\"\n";

class Commands : public MainWindowFixture {
protected:
    Commands() : trace(scratch.path() + QStringLiteral("/trace.txt")) {
        qputenv("TRACE_FILE", trace.toUtf8());
        writeFolders({{QStringLiteral("メイン"),
                       QStringLiteral("ROOT"),
                       {QStringLiteral("Tool"), QStringLiteral("Keep")}},
                      {QStringLiteral("Empty"), QStringLiteral("ROOT"), {}}});
        storeArchive(QStringLiteral("Tool"), {{QStringLiteral("run.sh"), kTraceScript},
                                              {QStringLiteral("a.txt"), "a"},
                                              {QStringLiteral("b.txt"), "b"}});
        appendRecord(
            record(QStringLiteral("Tool"), QStringLiteral("メイン"), QStringLiteral("run.sh")));
        AppRecord keep =
            record(QStringLiteral("Keep"), QStringLiteral("メイン"), QStringLiteral("run.sh"));
        keep.NonPack = true;
        appendRecord(keep);
        expand(QStringLiteral("Keep"),
               {{QStringLiteral("run.sh"), kTraceScript}, {QStringLiteral("data.txt"), "v1"}});
    }
    ~Commands() override { qunsetenv("TRACE_FILE"); }

    bool traceWritten() const { return readFile(trace).endsWith("end\n"); }
    void click(const char* button) {
        window->findChild<QPushButton*>(QString::fromLatin1(button))->click();
    }
    void trigger(const char* action) {
        window->findChild<QAction*>(QString::fromLatin1(action))->trigger();
    }
    QDateTime storedDate(const QString& name) {
        AppRecord r;
        EXPECT_TRUE(FindAppByName(name, r));
        return r.LastOpenDateTime;
    }
    QStringList archiveFiles(const QString& name) {
        const QString into = scratch.path() + QStringLiteral("/check/");
        QDir(into).removeRecursively();
        EXPECT_EQ(RunUnlha(ExpandCommand(packDir() + name + QStringLiteral(".lzh"), into, true)),
                  0);
        QStringList files;
        QDirIterator it(into, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << QDir(into).relativeFilePath(it.next());
        files.sort();
        return files;
    }

    QString trace;
    std::unique_ptr<frmMain> window;
};

TEST_F(Commands, runExpandsAndStartsTheApplicationAndStoreCompressesItAgain) {
    window = openWindow();
    clickNode(*window, QStringLiteral("Tool"));
    EXPECT_EQ(panelText(*window, 2), QStringLiteral("圧縮"));

    click("cmdExec");
    ASSERT_TRUE(waitUntil([&] { return traceWritten(); }));
    EXPECT_EQ(readFile(trace),
              QDir(execDir() + QStringLiteral("Tool")).canonicalPath().toUtf8() + "\nend\n");
    EXPECT_TRUE(panel1History.contains(QStringLiteral("Toolを実行開始...")));
    EXPECT_EQ(panelText(*window, 1), QStringLiteral("Toolを起動しました。"));
    EXPECT_EQ(panelText(*window, 2), QStringLiteral("展開"));
    EXPECT_EQ(storedDate(QStringLiteral("Tool")), now);
    // An ordinary window stays as it was.
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());

    click("cmdPack");
    EXPECT_FALSE(QFileInfo::exists(execDir() + QStringLiteral("Tool")));
    EXPECT_EQ(archiveFiles(QStringLiteral("Tool")), (QStringList{"a.txt", "b.txt", "run.sh"}));
    EXPECT_EQ(panelText(*window, 2), QStringLiteral("圧縮"));
    EXPECT_EQ(panelText(*window, 1), QString());
    EXPECT_TRUE(panel1History.contains(QStringLiteral("格納しています...")));
}

// A Windows program starts through wine, whose first start builds its prefix before anything
// shows: the status bar says so, and the user does not take the wait for a failure.
TEST_F(Commands, aWindowsProgramsStartSaysWhenWineFirstPreparesItself) {
    const QString bin = scratch.path() + QStringLiteral("/bin/");
    writeFile(bin + QStringLiteral("wine"),
              "#!/bin/sh\n{ echo \"$1\"; echo end; } > \"$TRACE_FILE\"\n", true);
    const QString prefix = scratch.path() + QStringLiteral("/wineprefix");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toUtf8() + ':' + path);
    qputenv("WINEPREFIX", prefix.toUtf8());
    struct Restore {
        QByteArray path;
        ~Restore() {
            qputenv("PATH", path);
            qunsetenv("WINEPREFIX");
        }
    } restore{path};
    storeArchive(QStringLiteral("Game"), {{QStringLiteral("Game.exe"), "MZ"}});
    appendRecord(
        record(QStringLiteral("Game"), QStringLiteral("メイン"), QStringLiteral("Game.exe")));
    writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"), {QStringLiteral("Game")}}});
    window = openWindow();
    const struct {
        bool prefixReady;
        const char* said;
    } cases[] = {
        {false,
         "Gameを起動しました。wineの初回の準備をしているため、表示されるまで時間がかかります。"},
        {true, "Gameを起動しました。"},
    };
    for (const auto& c : cases) {
        if (c.prefixReady)
            QDir().mkpath(prefix);
        QFile::remove(trace);
        clickNode(*window, QStringLiteral("Game"));
        click("cmdExec");
        ASSERT_TRUE(waitUntil([&] { return traceWritten(); }));
        EXPECT_EQ(panelText(*window, 1), QString::fromUtf8(c.said));
    }
}

// 格納 of an application whose program still runs: the user decides, and a wait leaves the
// window usable and stores once the program has ended.
TEST_F(Commands, storeWhileTheProgramRunsWaitsStoresOrLeavesItAsTheUserSays) {
    struct Row {
        const char* what;
        MsgAnswer answer;
        bool storedAtOnce;
        QString status;
    };
    const QList<Row> rows = {
        {"wait", MsgAnswer::Yes, false,
         QStringLiteral("[Tool] のプログラムが終わるのを待っています。終わったら格納します。")},
        {"store anyway", MsgAnswer::No, true, QString()},
        {"leave it", MsgAnswer::Cancel, false, QString()},
    };
    bool running = true;
    setFolderUsersHook([&](const QString& folder) {
        return running && folder == execDir() + QStringLiteral("Tool/")
                   ? QList<FolderUser>{{4711, QStringLiteral("run.sh")}}
                   : QList<FolderUser>{};
    });
    window = openWindow();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        running = true;
        clickNode(*window, QStringLiteral("Tool"));
        QFile::remove(trace);
        click("cmdExec");
        ASSERT_TRUE(waitUntil([&] { return traceWritten(); }));
        prompter.expectPrefix(QStringLiteral("[Tool] のプログラムがまだ実行中です。\r\n\r\nrun.sh (PID 4711)"),
                              row.answer);
        click("cmdPack");
        EXPECT_EQ(QFileInfo::exists(execDir() + QStringLiteral("Tool")), !row.storedAtOnce);
        EXPECT_EQ(panelText(*window, 1), row.status);
        EXPECT_EQ(window->waitingStores(), (row.answer == MsgAnswer::Yes ? QStringList{"Tool"} : QStringList{}));
        if (row.answer != MsgAnswer::Yes)
            continue;
        // Still running at the poll: nothing changes.
        window->storeWaitingApplications();
        EXPECT_TRUE(QFileInfo::exists(execDir() + QStringLiteral("Tool/run.sh")));
        running = false;
        window->storeWaitingApplications();
        EXPECT_FALSE(QFileInfo::exists(execDir() + QStringLiteral("Tool")));
        EXPECT_EQ(panelText(*window, 1), QStringLiteral("[Tool] を格納しました。"));
        EXPECT_EQ(panelText(*window, 2), QStringLiteral("圧縮"));
        EXPECT_TRUE(window->waitingStores().isEmpty());
    }
    // Run again while its store waits: the store waits no more.
    running = true;
    QFile::remove(trace);
    click("cmdExec");
    ASSERT_TRUE(waitUntil([&] { return traceWritten(); }));
    prompter.expectPrefix(QStringLiteral("[Tool] のプログラムがまだ実行中です。"), MsgAnswer::Yes);
    click("cmdPack");
    ASSERT_EQ(window->waitingStores(), QStringList{"Tool"});
    QFile::remove(trace);
    click("cmdExec");
    EXPECT_TRUE(window->waitingStores().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return traceWritten(); }));
    // An exit while it waits stores it once the program has ended, though it is not idle.
    prompter.expectPrefix(QStringLiteral("[Tool] のプログラムがまだ実行中です。"), MsgAnswer::Yes);
    click("cmdPack");
    running = false;
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(QFileInfo::exists(execDir() + QStringLiteral("Tool")));
}

TEST_F(Commands, doubleClickRunsAnApplicationButOnlyTogglesAFolder) {
    window = openWindow();
    ASSERT_FALSE(node(*window, QStringLiteral("メイン"))->isExpanded());
    doubleClickNode(*window, QStringLiteral("メイン"));
    EXPECT_TRUE(node(*window, QStringLiteral("メイン"))->isExpanded());
    EXPECT_TRUE(window->FolderToggled());
    EXPECT_EQ(prompter.beeps(), 0);
    EXPECT_FALSE(panel1History.contains(kNoSelection));
    EXPECT_FALSE(storedDate(QStringLiteral("Tool")).isValid());

    doubleClickNode(*window, QStringLiteral("Tool"));
    ASSERT_TRUE(waitUntil([&] { return traceWritten(); }));
    EXPECT_EQ(storedDate(QStringLiteral("Tool")), now);
}

TEST_F(Commands, commandsWithoutASelectedApplicationBeepAndSaySo) {
    window = openWindow();
    int expectedBeeps = 0;
    auto expectRefused = [&](const char* what) {
        ++expectedBeeps;
        EXPECT_EQ(prompter.beeps(), expectedBeeps) << what;
        EXPECT_EQ(panelText(*window, 1), kNoSelection) << what;
        window->setStatusPanelText(1, QString());
    };
    // The root is selected after the build.
    click("cmdExec");
    expectRefused("run on the root");
    click("cmdPack");
    expectRefused("store on the root");
    trigger("TreePopOpenDir");
    expectRefused("open folder on the root");

    clickNode(*window, QStringLiteral("メイン"));
    QTest::keyClick(window->treeView(), Qt::Key_Return);
    expectRefused("Enter on a folder");
    // A double click on a folder without children toggles nothing, so it is a run.
    doubleClickNode(*window, QStringLiteral("Empty"));
    expectRefused("double click on an empty folder");
    EXPECT_FALSE(traceWritten());
}

struct LeaveCase {
    int trayMode;
    bool keyHeld;
    bool minimised;
    bool exits;
};

class RunAndLeave : public Commands, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(RunAndLeave, theKeyHeldWhileRunningDecidesWhatHappensToTheWindow) {
    const LeaveCase c = GetParam();
    settings().Config.IntoTaskTray = quint8(c.trayMode);
    window = openWindow();
    clickNode(*window, QStringLiteral("Tool"));
    if (c.keyHeld)
        heldKeys.insert(settings().Key.AppCallEnd);
    const QByteArray before = readFile(dataFilePath() + QStringLiteral(".now"));
    click("cmdExec");
    heldKeys.clear();
    ASSERT_TRUE(waitUntil([&] { return traceWritten(); }));

    EXPECT_EQ(window->isMinimized(), c.minimised);
    if (c.exits) {
        EXPECT_FALSE(window->isVisible());
        ASSERT_TRUE(waitUntil([&] { return window->stage() == u"FIN"; }));
        // Neither the settings write nor the backup rotation: the snapshot is still there.
        EXPECT_EQ(readFile(dataFilePath() + QStringLiteral(".now")), before);
        EXPECT_FALSE(QFileInfo::exists(dataFilePath() + QStringLiteral(".old")));
        EXPECT_TRUE(window->Apps().size() == 1);
    } else {
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->stage(), QStringLiteral("NORMAL"));
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, RunAndLeave,
                         ::testing::Values(LeaveCase{0, false, false, false},
                                           LeaveCase{0, true, false, true},
                                           LeaveCase{1, false, true, false},
                                           LeaveCase{1, true, false, false},
                                           // Resident mode starts out of sight already.
                                           LeaveCase{2, false, true, false}));

TEST_F(Commands, storeWithThePackKeyHeldRebuildsTheArchive) {
    for (const bool held : {false, true}) {
        SCOPED_TRACE(held ? "key held" : "key not held");
        // Expanded, then b.txt deleted from the folder.
        expand(QStringLiteral("Tool"),
               {{QStringLiteral("run.sh"), kTraceScript}, {QStringLiteral("a.txt"), "a2"}});
        window = openWindow();
        clickNode(*window, QStringLiteral("Tool"));
        if (held)
            heldKeys.insert(settings().PackKey);
        click("cmdPack");
        heldKeys.clear();
        EXPECT_FALSE(QFileInfo::exists(execDir() + QStringLiteral("Tool")));
        EXPECT_EQ(
            archiveFiles(QStringLiteral("Tool")),
            (held ? QStringList{"a.txt", "run.sh"} : QStringList{"a.txt", "b.txt", "run.sh"}));
        EXPECT_EQ(panel1History.contains(QStringLiteral("圧縮ファイルを再作成しています...")),
                  held);
        // The rebuild's own archive is gone, and so is what it was locked with.
        EXPECT_EQ(filesBesideArchives(packDir()), QStringList{"Tool.lzh"});
        EXPECT_FALSE(QFileInfo::exists(packDir() + QStringLiteral("..Tool.lzh.rebuild.lock")));
        window.reset();
    }
}

TEST_F(Commands, storeWithThePackKeyHeldLeavesAStoredApplicationsArchiveAlone) {
    const QByteArray archive = readFile(packDir() + QStringLiteral("Tool.lzh"));
    window = openWindow();
    clickNode(*window, QStringLiteral("Tool"));
    heldKeys.insert(settings().PackKey);
    click("cmdPack");
    heldKeys.clear();
    EXPECT_EQ(readFile(packDir() + QStringLiteral("Tool.lzh")), archive);
    EXPECT_FALSE(QFileInfo::exists(execDir() + QStringLiteral("Tool")));
}

TEST_F(Commands, aDesktopShortcutStartsTheApplicationThroughTheLauncher) {
    setDesktopFolder(scratch.path() + QStringLiteral("/Desktop"));
    const QString link = scratch.path() + QStringLiteral("/Desktop/Tool.desktop");
    window = openWindow();
    clickNode(*window, QStringLiteral("Tool"));
    prompter.expect(QStringLiteral("デスクトップに[Tool]のショートカットを作成します。"), MsgAnswer::Cancel);
    trigger("TreePopMakeShortCut");
    EXPECT_EQ(panelText(*window, 1), QStringLiteral("ショートカット作成はキャンセルされました"));
    EXPECT_FALSE(QFileInfo::exists(link));

    for (const bool withIcon : {false, true}) {
        if (withIcon)
            writeIcon(QStringLiteral("Tool"));
        prompter.expect(QStringLiteral("デスクトップに[Tool]のショートカットを作成します。"), MsgAnswer::Ok);
        trigger("TreePopMakeShortCut");
        const DesktopEntry entry = DesktopEntry::parse(readFile(link));
        EXPECT_EQ(DesktopEntry::splitExec(entry.value(QStringLiteral("Exec"))),
                  (QStringList{folder.path() + QStringLiteral("vadok"), QStringLiteral("Tool")}));
        EXPECT_EQ(entry.value(QStringLiteral("Path")), folder.path());
        EXPECT_EQ(entry.value(QStringLiteral("Icon")),
                  withIcon ? settings().IconDir + QStringLiteral("Tool.ico")
                           : folder.path() + QStringLiteral("vadok.png"));
        EXPECT_TRUE(QFileInfo::exists(entry.value(QStringLiteral("Icon"))));
    }
    setDesktopFolder(QString());
}

TEST_F(Commands, runByNameMatchesTheTitleExactly) {
    window = openWindow();
    window->ExecAppByName(QStringLiteral("tool"));
    window->ExecAppByName(QStringLiteral("Missing"));
    EXPECT_FALSE(storedDate(QStringLiteral("Tool")).isValid());
    window->ExecAppByName(QStringLiteral("Tool"));
    EXPECT_EQ(storedDate(QStringLiteral("Tool")), now);
    ASSERT_TRUE(waitUntil([&] { return traceWritten(); }));
}

TEST_F(Commands, aLaterStartsRequestIsActedOnOnceTheWindowPolls) {
    const struct {
        QString request;
        const char* traced; // after the working folder; nullptr: nothing runs
        QString status;
    } cases[] = {
        {QStringLiteral("Tool"), "end\n", QString()},
        {JoinCommandLine({QStringLiteral("Tool"), QStringLiteral("two words"), QStringLiteral("say \"hi\"")}),
         "[two words]\n[say \"hi\"]\nend\n", QString()},
        {QStringLiteral("nosuchapp a"), nullptr, QStringLiteral("「nosuchapp」は登録されていません。")},
        {QStringLiteral("../Tool"), nullptr, QStringLiteral("渡されたパラメータを解釈できませんでした。")},
    };
    window = openWindow();
    for (const auto& c : cases) {
        QFile::remove(trace);
        window->setStatusPanelText(1, QString());
        ASSERT_TRUE(handOver(c.request));
        if (c.traced) {
            ASSERT_TRUE(waitUntil([&] { return traceWritten(); })) << c.request.toStdString();
            EXPECT_EQ(readFile(trace),
                      QDir(execDir() + QStringLiteral("Tool")).canonicalPath().toUtf8() + "\n" + c.traced);
            EXPECT_EQ(storedDate(QStringLiteral("Tool")), now);
        } else {
            ASSERT_TRUE(waitUntil([&] { return panelText(*window, 1) == c.status; })) << c.request.toStdString();
            EXPECT_FALSE(QFileInfo::exists(trace)) << c.request.toStdString();
        }
    }
    EXPECT_EQ(prompter.beeps(), 1); // the request that is no title
}

// Requests taken after the exit began would never be acted on: a later start must find
// nobody listening, wait for this process to end and open the window itself.
TEST_F(Commands, onceTheExitHasBegunLaterStartsAreNotTakenIn) {
    window = openWindow();
    ASSERT_EQ(SendHandOverRequest(programFolder(), kRestoreRequest).delivery, HandOverDelivery::Delivered);
    QList<HandOverDelivery> duringExit;
    QObject::connect(window.get(), &frmMain::statusTextChanged, window.get(),
                     [&](int panel, const QString& text) {
                         if (panel == 1 && text == QStringLiteral("終了処理中です □□□"))
                             duringExit.append(SendHandOverRequest(programFolder(), QStringLiteral("Tool")).delivery);
                     });
    window->close();
    ASSERT_TRUE(waitUntil([&] { return window->stage() == u"FIN"; }));
    EXPECT_EQ(duringExit, QList<HandOverDelivery>{HandOverDelivery::NoListener});
    EXPECT_FALSE(traceWritten());
}

TEST_F(Commands, aWindowThatCannotTakeRequestsSaysSoOnce) {
    // A runtime folder so deep that no socket path in it fits the system's limit.
    QTemporaryDir runtime;
    const QString deep = runtime.path() + u'/' + QString(110, u'r');
    ASSERT_TRUE(QDir().mkpath(deep));
    QFile::setPermissions(deep, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray previous = qgetenv("XDG_RUNTIME_DIR");
    const auto restore = qScopeGuard([&] {
        if (previous.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", previous);
    });
    qputenv("XDG_RUNTIME_DIR", deep.toUtf8());
    prompter.expectPrefix(QStringLiteral("MessagePass(R)エラー\r\n"));
    window = openWindow();
    EXPECT_EQ(prompter.messages().size(), 1);
    window->LoadTree(); // and through another build of the tree: said once
    ASSERT_TRUE(waitUntil([&] { return window->stage() == u"NORMAL"; }));
    EXPECT_EQ(prompter.messages().size(), 1);
}

const QString kReExpandQuestionEnd =
    QStringLiteral("[はい]を押すと展開フォルダの内容をクリアし、圧縮ファイルから再度展開します。");
const QString kReCompressQuestionEnd =
    QStringLiteral("[はい]を押すと圧縮ファイルを現在の展開フォルダの内容で更新します。");

TEST_F(Commands, reExpandAnsweredNoLeavesTheFolderAlone) {
    window = openWindow();
    clickNode(*window, QStringLiteral("Keep"));
    prompter.expectPrefix(
        QStringLiteral("このアプリケーションは[圧縮保存しない]設定となっています。\r\n"),
        MsgAnswer::No);
    trigger("mnuNoPackExtract");
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_TRUE(prompter.messages()[0].text.endsWith(kReExpandQuestionEnd));
    EXPECT_EQ(prompter.messages()[0].icon, MsgIcon::Question);
    EXPECT_EQ(prompter.messages()[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(panelText(*window, 1), QStringLiteral("再展開は実行されませんでした"));
    EXPECT_EQ(readFile(execDir() + QStringLiteral("Keep/data.txt")), QByteArray("v1"));
}

TEST_F(Commands, aReExpansionThatCannotPutTheFolderBackSaysWhereItIs) {
    window = openWindow();
    clickNode(*window, QStringLiteral("Keep"));
    const QString aside = execDir() + QStringLiteral(".Keep.re-expanding");
    prompter.expectPrefix(QStringLiteral("このアプリケーションは"), MsgAnswer::Yes);
    // Keep has no archive, so the expansion fails; a folder of its name appears meanwhile.
    prompter.expectPrefix(QString()).then(
        [&] { writeFile(execDir() + QStringLiteral("Keep/other.txt"), "x"); });
    prompter.expect(QStringLiteral("Keep の展開フォルダを元に戻せませんでした。\r\n"
                                   "元の内容は次のフォルダにあります。\r\n") +
                    aside);
    trigger("mnuNoPackExtract");
    EXPECT_TRUE(prompter.allAnswered());
    EXPECT_EQ(readFile(aside + QStringLiteral("/data.txt")), QByteArray("v1"));
    EXPECT_EQ(panelText(*window, 1), QStringLiteral("再展開は実行されませんでした"));
}

// A run that ended between setting the folder aside and expanding leaves it hidden.
TEST_F(Commands, aStartPutsBackTheFolderAnUnfinishedReExpansionSetAside) {
    const QString aside = execDir() + QStringLiteral(".Keep.re-expanding");
    for (const bool folderStandsAgain : {false, true}) {
        QDir(aside).removeRecursively();
        ASSERT_TRUE(QDir().rename(execDir() + QStringLiteral("Keep"), aside));
        if (folderStandsAgain) {
            writeFile(execDir() + QStringLiteral("Keep/new.txt"), "n");
            prompter.expect(QStringLiteral("途中で終わった再展開の前の展開フォルダを元の名前に"
                                           "戻せませんでした。\r\n中身を確かめてください。\r\n") +
                            aside);
        }
        window = openWindow();
        EXPECT_TRUE(prompter.allAnswered());
        EXPECT_EQ(QFileInfo::exists(aside), folderStandsAgain);
        const QString data = (folderStandsAgain ? aside : execDir() + QStringLiteral("Keep"));
        EXPECT_EQ(readFile(data + QStringLiteral("/data.txt")), QByteArray("v1"));
        window.reset();
        if (folderStandsAgain)
            QDir(execDir() + QStringLiteral("Keep")).removeRecursively();
    }
}

TEST_F(Commands, reCompressUpdatesTheArchiveAndLeavesTheApplicationExpanded) {
    window = openWindow();
    clickNode(*window, QStringLiteral("Keep"));
    prompter.expectPrefix(
        QStringLiteral("このアプリケーションは[圧縮保存しない]設定となっています。\r\n"),
        MsgAnswer::Yes);
    trigger("numNoPackPack");
    EXPECT_TRUE(prompter.messages()[0].text.endsWith(kReCompressQuestionEnd));
    EXPECT_EQ(panelText(*window, 1), QStringLiteral("再圧縮が完了しました"));
    EXPECT_EQ(archiveFiles(QStringLiteral("Keep")), (QStringList{"data.txt", "run.sh"}));
    EXPECT_EQ(readFile(execDir() + QStringLiteral("Keep/data.txt")), QByteArray("v1"));
}

TEST_F(Commands, reCompressWhileTheProgramRunsWaitsAndExpandsAgainAfterwards) {
    bool running = true;
    setFolderUsersHook([&](const QString&) {
        return running ? QList<FolderUser>{{4711, QStringLiteral("run.sh")}} : QList<FolderUser>{};
    });
    writeFile(execDir() + QStringLiteral("Keep/data.txt"), "v2");
    window = openWindow();
    clickNode(*window, QStringLiteral("Keep"));
    prompter.expectPrefix(QStringLiteral("このアプリケーションは"), MsgAnswer::Yes);
    prompter.expectPrefix(QStringLiteral("[Keep] のプログラムがまだ実行中です。"), MsgAnswer::Yes);
    trigger("numNoPackPack");
    EXPECT_EQ(window->waitingStores(), QStringList{"Keep"});
    running = false;
    window->storeWaitingApplications();
    EXPECT_EQ(panelText(*window, 1), QStringLiteral("再圧縮が完了しました"));
    EXPECT_EQ(archiveFiles(QStringLiteral("Keep")), (QStringList{"data.txt", "run.sh"}));
    EXPECT_EQ(readFile(execDir() + QStringLiteral("Keep/data.txt")), QByteArray("v2"));
}

TEST_F(Commands, reCompressThatFailsToStoreKeepsTheChangedFolder) {
    ASSERT_EQ(RunUnlha(StoreCommand(packDir() + QStringLiteral("Keep.lzh"),
                                    execDir() + QStringLiteral("Keep/"), true)),
              0);
    writeFile(execDir() + QStringLiteral("Keep/data.txt"), "v2, changed since the archive");
    writeUnstorableFile(execDir() + QStringLiteral("Keep"));
    window = openWindow();
    clickNode(*window, QStringLiteral("Keep"));
    prompter.expectPrefix(QStringLiteral("このアプリケーションは"), MsgAnswer::Yes);
    prompter.expectPrefix(QStringLiteral("圧縮に失敗しました。Error Code:0x"));
    trigger("numNoPackPack");
    EXPECT_EQ(readFile(execDir() + QStringLiteral("Keep/data.txt")),
              QByteArray("v2, changed since the archive"));
    EXPECT_EQ(panelText(*window, 1), QStringLiteral("再圧縮は行われませんでした"));
}

TEST_F(Commands, reCompressAnsweredYesWithoutASelectionBeeps) {
    window = openWindow();
    prompter.expectPrefix(QStringLiteral("このアプリケーションは"), MsgAnswer::Yes);
    trigger("numNoPackPack");
    EXPECT_EQ(prompter.beeps(), 1);
    EXPECT_EQ(panelText(*window, 1), kNoSelection);
}

// How a run reaches the application: each path must stop at a failed expansion.
enum class RunPath { RunButton, OpenFolder, RunByName, HandOver };

class RunOfADamagedArchive : public Commands, public ::testing::WithParamInterface<RunPath> {
protected:
    RunOfADamagedArchive() {
        writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"),
                       {QStringLiteral("Tool"), QStringLiteral("Keep"), QStringLiteral("Broken")}}});
        storeArchive(QStringLiteral("Broken"), {{QStringLiteral("run.sh"), kTraceScript},
                                                {QStringLiteral("big.bin"), noise(200000, 7)}});
        appendRecord(record(QStringLiteral("Broken"), QStringLiteral("メイン"), QStringLiteral("run.sh")));
        flipMiddleByte(archiveOf(QStringLiteral("Broken"))); // inside big.bin's data
    }
};

TEST_P(RunOfADamagedArchive, aFailedExpansionStartsNothingLeavesNothingAndStaysStored) {
    settings().Config.PackDate = 0;
    const QByteArray archive = readFile(archiveOf(QStringLiteral("Broken")));
    window = openWindow();
    clickNode(*window, QStringLiteral("Broken"));
    prompter.expectPrefix(QStringLiteral("解凍に失敗しました。Error Code:0x8004\r\n\r\n"
                                         "圧縮ファイル Broken.lzh が壊れています。\r\nbig.bin: "));
    switch (GetParam()) {
    case RunPath::RunButton: click("cmdExec"); break;
    case RunPath::OpenFolder: trigger("TreePopOpenDir"); break;
    case RunPath::RunByName: window->ExecAppByName(QStringLiteral("Broken")); break;
    case RunPath::HandOver:
        ASSERT_TRUE(handOver(QStringLiteral("Broken")));
        ASSERT_TRUE(waitUntil([&] { return !prompter.messages().isEmpty(); }));
        break;
    }
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(prompter.messages()[0].title, QStringLiteral("Failed"));

    EXPECT_FALSE(traceWritten());
    EXPECT_EQ(QDir(execDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Keep")});
    EXPECT_FALSE(storedDate(QStringLiteral("Broken")).isValid());
    EXPECT_EQ(panelText(*window, 2), QStringLiteral("圧縮"));
    EXPECT_EQ(node(*window, QStringLiteral("Broken"))->toolTip(0), QStringLiteral("格納済み"));
    EXPECT_TRUE(window->isVisible());

    // Nothing the exit could store over the archive.
    window->close();
    ASSERT_TRUE(waitUntil([&] { return window->stage() == u"FIN"; }));
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Broken"))), archive);
}

INSTANTIATE_TEST_SUITE_P(Paths, RunOfADamagedArchive,
                         ::testing::Values(RunPath::RunButton, RunPath::OpenFolder,
                                           RunPath::RunByName, RunPath::HandOver));

// What may arrive while a store lets events through, and what a tick or a close would do
// inside it: run another application, or store everything and empty the list of
// applications the store still holds one of.
enum class Arrival { HandOverRequest, CloseRequest };

class DuringAStore : public Commands, public ::testing::WithParamInterface<Arrival> {};

TEST_P(DuringAStore, whatArrivesWaitsUntilTheStoreIsOver) {
    settings().Config.LhaDialog = 0; // progress shown, events let through
    expand(QStringLiteral("Tool"), {{QStringLiteral("run.sh"), kTraceScript},
                                    {QStringLiteral("big.txt"), QByteArray(300000, 'x')}});
    window = openWindow();
    clickNode(*window, QStringLiteral("Tool"));
    bool arrived = false;
    bool keepRanDuring = false;
    QString stageDuring;
    QObject::connect(window.get(), &frmMain::statusTextChanged, window.get(),
                     [&](int panel, const QString& text) {
                         if (panel != 1 || arrived || !text.endsWith(QStringLiteral("%)")))
                             return;
                         arrived = true;
                         if (GetParam() == Arrival::HandOverRequest) {
                             ASSERT_TRUE(handOver(QStringLiteral("Keep")));
                             // The poll's tick, as if its timer fired inside the progress.
                             QMetaObject::invokeMethod(window.get(), "GCTimer_Timer",
                                                       Qt::DirectConnection);
                         } else {
                             window->close();
                         }
                         keepRanDuring = storedDate(QStringLiteral("Keep")).isValid();
                         stageDuring = window->stage();
                     });
    click("cmdPack");
    ASSERT_TRUE(arrived);
    EXPECT_FALSE(keepRanDuring);
    EXPECT_EQ(stageDuring, QStringLiteral("NORMAL"));
    EXPECT_TRUE(archiveFiles(QStringLiteral("Tool")).contains(QStringLiteral("big.txt")));

    if (GetParam() == Arrival::HandOverRequest) {
        ASSERT_TRUE(waitUntil([&] { return storedDate(QStringLiteral("Keep")).isValid(); }));
        ASSERT_TRUE(waitUntil([&] { return traceWritten(); }));
    } else {
        ASSERT_TRUE(waitUntil([&] { return window->stage() == u"FIN"; }));
    }
}

INSTANTIATE_TEST_SUITE_P(Arrivals, DuringAStore,
                         ::testing::Values(Arrival::HandOverRequest, Arrival::CloseRequest));

TEST_F(Commands, aStoreWaitsForWhatHoldsItsArchiveAndSaysSo) {
    settings().Config.LhaDialog = 0;
    expand(QStringLiteral("Tool"), {{QStringLiteral("run.sh"), kTraceScript},
                                    {QStringLiteral("c.txt"), "added while expanded"}});
    // Another store or expansion of Tool.lzh, as another process would hold it.
    const int held = ::open(QFile::encodeName(ArchiveLockFile(archiveOf(QStringLiteral("Tool")))).constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    window = openWindow();
    clickNode(*window, QStringLiteral("Tool"));
    const QString waiting = QStringLiteral("圧縮ファイルがほかの処理で使われています。終わるのを待っています...");
    bool saidSo = false;
    QObject::connect(window.get(), &frmMain::statusTextChanged, window.get(),
                     [&](int panel, const QString& text) {
                         if (panel == 1 && text == waiting && !saidSo) {
                             saidSo = true;
                             ::close(held); // the other one is done
                         }
                     });
    click("cmdPack");
    EXPECT_TRUE(saidSo);
    EXPECT_FALSE(QFileInfo::exists(execDir() + QStringLiteral("Tool")));
    EXPECT_TRUE(archiveFiles(QStringLiteral("Tool")).contains(QStringLiteral("c.txt")));
}

} // namespace
} // namespace vadok::test
