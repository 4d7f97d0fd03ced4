#include "mainwindowfixture.h"

#include "apps/madebyvadok.h"
#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "mainwindow/stoprequest.h"
#include "platform/folderusers.h"
#include "platform/programfolder.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace vadok::test {
namespace {

class Exit : public MainWindowFixture {
protected:
    // Applications in the catalog, each expanded with one file.
    void catalog(const QList<AppRecord>& records) {
        QStringList names;
        for (const AppRecord& r : records) {
            names << r.AppName;
            appendRecord(r);
            expand(r.AppName, {{QStringLiteral("file.txt"), r.AppName.toUtf8()}});
        }
        writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"), names}});
    }
    AppRecord usedAt(const QString& name, const QDateTime& when, bool nonPack = false) {
        AppRecord r = record(name);
        r.LastOpenDateTime = when;
        r.NonPack = nonPack;
        return r;
    }
    bool expanded(const QString& name) const { return QFileInfo::exists(execDir() + name); }
    bool archived(const QString& name) const {
        return QFileInfo::exists(packDir() + name + QStringLiteral(".lzh"));
    }
    // The run's snapshot is removed by the backup rotation, so it tells whether the exit wrote.
    bool snapshotKept() const { return QFileInfo::exists(dataFilePath() + QStringLiteral(".now")); }

    std::unique_ptr<frmMain> window;
};

struct PackDateCase {
    qint16 packDate;
    int daysAgo; // midnights between the last use and now
    bool nonPack;
    bool stored;
};

class AutomaticStoring : public Exit, public ::testing::WithParamInterface<PackDateCase> {};

TEST_P(AutomaticStoring, storesWhatHasBeenIdleLongerThanPackDate) {
    const PackDateCase c = GetParam();
    // now is 00:01; the last use lay at 23:59 the day before the counted midnights began.
    const QDateTime lastUse =
        c.daysAgo == 0 ? now.addSecs(-30)
                       : QDateTime(now.date().addDays(1 - c.daysAgo), QTime(0, 0)).addSecs(-60);
    catalog({usedAt(QStringLiteral("Tool"), lastUse, c.nonPack)});
    writeFile(execDir() + QStringLiteral("notes.txt"), "the user's");
    writeFile(execDir() + QStringLiteral("Gone/old.exe"), "expanded by vadok once");
    ASSERT_TRUE(MarkMadeByVadok(execDir() + QStringLiteral("Gone")));
    settings().Config.PackDate = c.packDate;
    window = openWindow();
    EXPECT_TRUE(window->close());

    EXPECT_EQ(archived(QStringLiteral("Tool")), c.stored);
    EXPECT_EQ(expanded(QStringLiteral("Tool")), !c.stored);
    EXPECT_EQ(
        panel1History.contains(QStringLiteral("Tool はしばらく実行されていないため格納します...")),
        c.stored);
    // Leftovers vadok made go at every exit that looks at the folder at all; nothing else.
    EXPECT_EQ(QFileInfo::exists(execDir() + QStringLiteral("Gone")), c.packDate == -1);
    EXPECT_EQ(readFile(execDir() + QStringLiteral("notes.txt")), "the user's");
    // The settings are written and the backups rotated either way.
    EXPECT_FALSE(snapshotKept());
    EXPECT_EQ(window->stage(), QStringLiteral("FIN"));
    EXPECT_TRUE(StopRequested);
    EXPECT_EQ(window->Apps().size(), 1u);
    EXPECT_EQ(panel1History.last(), QStringLiteral("終了処理中です ■■■"));
}

INSTANTIATE_TEST_SUITE_P(
    Days, AutomaticStoring,
    ::testing::Values(PackDateCase{5, 6, false, true}, PackDateCase{5, 5, false, false},
                      PackDateCase{5, 30, true, false}, PackDateCase{0, 0, false, true},
                      PackDateCase{0, 0, true, false}, PackDateCase{-1, 100, false, false},
                      PackDateCase{1, 1, false, false}, PackDateCase{1, 2, false, true}));

TEST_F(Exit, storesOnlyIdleApplicationsAmongSeveral) {
    catalog({usedAt(QStringLiteral("SixMidnights"), QDateTime(QDate(2026, 12, 1), QTime(23, 59))),
             usedAt(QStringLiteral("FiveMidnights"), QDateTime(QDate(2026, 12, 3), QTime(0, 0))),
             record(QStringLiteral("NeverRun"))});
    window = openWindow();
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(expanded(QStringLiteral("SixMidnights")));
    EXPECT_TRUE(archived(QStringLiteral("SixMidnights")));
    EXPECT_TRUE(expanded(QStringLiteral("FiveMidnights")));
    // An empty date reads as now.
    EXPECT_TRUE(expanded(QStringLiteral("NeverRun")));
    EXPECT_EQ((QStringList{"終了処理中です □□□", "終了処理中です ■□□", "終了処理中です ■■□"}),
              panel1History.mid(panel1History.indexOf(QStringLiteral("終了処理中です □□□")), 3));
}

// Only what vadok expanded there itself and no application claims any more is cleared:
// whatever else lies in the execution folder, even named like a leftover, stays.
TEST_F(Exit, onlyLeftoversVadokMadeAreDeleted) {
    catalog({usedAt(QStringLiteral("Tool"), now)});
    // Expanded by vadok, then deleted from the catalog (on another machine, say).
    storeArchive(QStringLiteral("Deleted"), {{QStringLiteral("run.sh"), "#!/bin/sh\n"}});
    quintptr owner = 0;
    PackApp deleted(record(QStringLiteral("Deleted")));
    ASSERT_TRUE(deleted.UnPack(owner));
    writeFile(execDir() + QStringLiteral("Marked/old.exe"), "x");
    ASSERT_TRUE(MarkMadeByVadok(execDir() + QStringLiteral("Marked")));
    // Not vadok's: planted, the user's own, or put where a marked folder was.
    writeFile(execDir() + QStringLiteral("notes.txt"), "x");
    writeFile(execDir() + QStringLiteral("Planted/old.exe"), "x");
    writeFile(execDir() + QStringLiteral("メイン/stray.txt"), "x"); // a folder's name, not an app
    writeFile(execDir() + QStringLiteral("_work/part.txt"), "x");
    writeFile(execDir() + QStringLiteral("Replaced/old.exe"), "x");
    ASSERT_TRUE(MarkMadeByVadok(execDir() + QStringLiteral("Replaced")));
    writeFile(scratch.path() + QStringLiteral("/theirs/letter.txt"), "theirs");
    ASSERT_TRUE(QDir(execDir() + QStringLiteral("Replaced")).removeRecursively());
    ASSERT_TRUE(QDir().rename(scratch.path() + QStringLiteral("/theirs"), execDir() + QStringLiteral("Replaced")));
    window = openWindow();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(QDir(execDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{"Planted", "Replaced", "Tool", "_work", "notes.txt", "メイン"}));
    EXPECT_EQ(readFile(execDir() + QStringLiteral("Replaced/letter.txt")), "theirs");
}

TEST_F(Exit, applicationsWithARecordButNoPlaceInTheTreeAreStoredWhenIdleAndKeptOtherwise) {
    catalog({usedAt(QStringLiteral("Tool"), now)});
    // Records the tree does not show: no folder lists them, or one is named like a folder.
    const QDateTime longAgo = now.addDays(-30);
    for (const AppRecord& r : {usedAt(QStringLiteral("RunByName"), now),
                               usedAt(QStringLiteral("Idle"), longAgo),
                               usedAt(QStringLiteral("メイン"), longAgo)}) {
        appendRecord(r);
        expand(r.AppName, {{QStringLiteral("changed.txt"), "made while it ran"}});
    }
    window = openWindow();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(readFile(execDir() + QStringLiteral("RunByName/changed.txt")), "made while it ran");
    for (const QString& idle : {QStringLiteral("Idle"), QStringLiteral("メイン")}) {
        EXPECT_FALSE(expanded(idle)) << idle.toStdString();
        EXPECT_TRUE(archived(idle)) << idle.toStdString();
    }
}

TEST_F(Exit, theNarrowDisplayChosenByTheUserIsWrittenBackUnchanged) {
    catalog({usedAt(QStringLiteral("Tool"), now)});
    settings().Config.KeepPos = 1;
    settings().Config.DispMode = 1;
    window = openWindow();
    EXPECT_TRUE(window->close());
    settings() = Settings();
    LoadSettings();
    EXPECT_EQ(settings().Config.DispMode, 1);
}

TEST_F(Exit, anUnreadableCatalogClaimsNothingSoNothingIsClearedAsLeftover) {
    catalog({usedAt(QStringLiteral("Tool"), now)});
    // Cut off mid-element: the file reads as empty, and every folder in Exec would look
    // unclaimed.
    const QByteArray whole = readFile(dataFilePath());
    writeFile(dataFilePath(), whole.left(whole.size() / 2));
    writeFile(execDir() + QStringLiteral("notes.txt"), "x");
    window = openWindow();
    // The settings save refuses to write over the damaged file, and says why.
    prompter.expectPrefix(QString());
    EXPECT_TRUE(window->close());
    EXPECT_EQ(readFile(execDir() + QStringLiteral("Tool/file.txt")), QByteArray("Tool"));
    EXPECT_TRUE(QFileInfo::exists(execDir() + QStringLiteral("notes.txt")));
    EXPECT_EQ(readFile(dataFilePath()), whole.left(whole.size() / 2));
}

TEST_F(Exit, backupsThatCannotBeWrittenAreNamedAndTheSnapshotIsKept) {
    catalog({usedAt(QStringLiteral("Tool"), now)});
    window = openWindow();
    // A snapshot of another length makes the exit rotate; a folder holds the oldest's name.
    writeFile(dataFilePath() + QStringLiteral(".now"), "snapshot");
    writeFile(dataFilePath() + QStringLiteral(".older"), "older");
    ASSERT_TRUE(QDir().mkpath(dataFilePath() + QStringLiteral(".oldest/inside")));
    prompter.expectPrefix(QStringLiteral("データファイルのバックアップ vadok.xml.oldest を書き込めませんでした。"));
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(prompter.allAnswered());
    EXPECT_EQ(readFile(dataFilePath() + QStringLiteral(".now")), QByteArray("snapshot"));
    EXPECT_EQ(readFile(dataFilePath() + QStringLiteral(".older")), QByteArray("older"));
}

struct BootCase {
    MsgAnswer answer;
    bool closes;
};

class CloseDuringLoad : public Exit, public ::testing::WithParamInterface<BootCase> {};

TEST_P(CloseDuringLoad, asksAndAnAbortWritesNothing) {
    catalog({usedAt(QStringLiteral("Old"), now.addDays(-30))});
    writeFile(execDir() + QStringLiteral("notes.txt"), "x");
    const QByteArray dataBefore = readFile(dataFilePath());
    prompter.expect(QStringLiteral("データロード中です。強制終了しますか？"), GetParam().answer);

    window = startWindow();
    bool closeResult = true;
    QObject::connect(window.get(), &frmMain::stageChanged, window.get(), [&](const QString& stage) {
        if (stage == u"BOOT")
            QTimer::singleShot(0, window.get(), [&] { closeResult = window->close(); });
    });
    ASSERT_TRUE(
        waitUntil([&] { return window->stage() == u"NORMAL" || window->stage() == u"FIN"; }));
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(prompter.messages()[0].icon, MsgIcon::Question);
    EXPECT_EQ(closeResult, GetParam().closes);
    if (GetParam().closes) {
        EXPECT_FALSE(window->isVisible());
        EXPECT_TRUE(StopRequested);
        EXPECT_FALSE(panel1History.contains(QStringLiteral("読み込み完了しました。")));
        EXPECT_EQ(readFile(dataFilePath()), dataBefore);
        EXPECT_TRUE(snapshotKept());
        EXPECT_TRUE(expanded(QStringLiteral("Old")));
        EXPECT_TRUE(QFileInfo::exists(execDir() + QStringLiteral("notes.txt")));
    } else {
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->Apps().size(), 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, CloseDuringLoad,
                         ::testing::Values(BootCase{MsgAnswer::Yes, true},
                                           BootCase{MsgAnswer::No, false}));

TEST_F(Exit, aSecondCloseWhileStoringIsRefusedAndTheFirstFinishes) {
    QList<AppRecord> records;
    for (int i = 0; i < 10; ++i)
        records << usedAt(QStringLiteral("App%1").arg(i), now.addDays(-1));
    catalog(records);
    settings().Config.PackDate = 0;
    window = openWindow();

    int secondCloses = 0;
    bool secondAccepted = true;
    QObject::connect(window.get(), &frmMain::statusTextChanged, window.get(),
                     [&](int, const QString& text) {
                         if (secondCloses == 0 && text.endsWith(QStringLiteral("格納します...")))
                             QTimer::singleShot(0, window.get(), [&] {
                                 ++secondCloses;
                                 // Delivered the way the window system delivers one.
                                 QCloseEvent close;
                                 QCoreApplication::sendEvent(window.get(), &close);
                                 secondAccepted = close.isAccepted();
                             });
                     });
    EXPECT_TRUE(window->close());
    EXPECT_EQ(secondCloses, 1);
    EXPECT_FALSE(secondAccepted);
    EXPECT_EQ(panel1History.count(QStringLiteral("終了処理中です □□□")), 1);
    for (const AppRecord& r : records) {
        EXPECT_TRUE(panel1History.contains(
            r.AppName + QStringLiteral(" はしばらく実行されていないため格納します...")));
        EXPECT_TRUE(archived(r.AppName)) << r.AppName.toStdString();
        EXPECT_FALSE(expanded(r.AppName)) << r.AppName.toStdString();
    }
}

TEST_F(Exit, aCloseWhileIconsLoadRunsTheOrdinaryExitAndStopsTheLoader) {
    QList<AppRecord> records;
    for (int i = 0; i < 30; ++i)
        records << usedAt(QStringLiteral("App%1").arg(i), now.addDays(-30));
    catalog(records);
    window = startWindow();
    QObject::connect(window.get(), &frmMain::stageChanged, window.get(), [&](const QString& stage) {
        if (stage == u"ICONLOADING")
            QTimer::singleShot(0, window.get(), [&] { window->close(); });
    });
    ASSERT_TRUE(waitUntil([&] { return window->stage() == u"FIN"; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(window->stage(), QStringLiteral("FIN"));
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(snapshotKept());
    EXPECT_FALSE(expanded(QStringLiteral("App0")));
    // The loader gave up after its first group: it never reported 10/30 or finishing.
    EXPECT_FALSE(
        panel1History.contains(QStringLiteral("読み込み完了しました。(アイコン読込中... 10/30)")));
    EXPECT_EQ(panel1History.last(), QStringLiteral("終了処理中です ■■■"));
}

struct ResidentCase {
    const char* how;
    bool exits;
};

class ResidentMode : public Exit, public ::testing::WithParamInterface<ResidentCase> {};

TEST_P(ResidentMode, onlyTheTrayExitAndTheSessionEndReallyExit) {
    catalog({usedAt(QStringLiteral("Old"), now.addDays(-30))});
    settings().Config.IntoTaskTray = 2;
    window = openWindow();
    window->setWindowState(Qt::WindowNoState);
    const QString how = QString::fromLatin1(GetParam().how);
    if (how == u"close box")
        window->close();
    else if (how == u"menu exit")
        window->findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
    else if (how == u"tray exit")
        window->findChild<QAction*>(QStringLiteral("TaskIconPopExit"))->trigger();
    else
        window->sessionEnding();

    if (GetParam().exits) {
        EXPECT_EQ(window->stage(), QStringLiteral("FIN"));
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(expanded(QStringLiteral("Old")));
        EXPECT_FALSE(snapshotKept());
    } else {
        EXPECT_EQ(window->stage(), QStringLiteral("NORMAL"));
        EXPECT_TRUE(window->isMinimized());
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(expanded(QStringLiteral("Old")));
        EXPECT_TRUE(snapshotKept());
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, ResidentMode,
                         ::testing::Values(ResidentCase{"close box", false},
                                           ResidentCase{"menu exit", false},
                                           ResidentCase{"tray exit", true},
                                           ResidentCase{"session end", true}));

TEST_F(Exit, theSessionEndingRunsTheFullExitInAnOrdinaryWindowToo) {
    catalog({usedAt(QStringLiteral("Old"), now.addDays(-30))});
    window = openWindow();
    window->sessionEnding();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(expanded(QStringLiteral("Old")));
    EXPECT_TRUE(archived(QStringLiteral("Old")));
}

// ---- guards --------------------------------------------------------------------------------

TEST_F(Exit, symbolicLinksInTheExecutionFolderAreNeverFollowed) {
    catalog({usedAt(QStringLiteral("Old"), now.addDays(-30))});
    const QString outside = scratch.path() + QStringLiteral("/outside/");
    writeFile(outside + QStringLiteral("keep.txt"), "precious");
    ASSERT_TRUE(QFile::link(outside, execDir() + QStringLiteral("stray-link")));
    ASSERT_TRUE(QDir().mkpath(execDir() + QStringLiteral("Gone")));
    ASSERT_TRUE(QFile::link(outside, execDir() + QStringLiteral("Gone/inner-link")));
    // An application whose expanded folder is a link to somewhere else.
    appendRecord(usedAt(QStringLiteral("Linked"), now.addDays(-30)));
    writeFolders({{QStringLiteral("メイン"),
                   QStringLiteral("ROOT"),
                   {QStringLiteral("Old"), QStringLiteral("Linked")}}});
    ASSERT_TRUE(QFile::link(outside, execDir() + QStringLiteral("Linked")));
    settings().Config.PackDate = 0;

    ASSERT_TRUE(MarkMadeByVadok(execDir() + QStringLiteral("Gone")));
    window = openWindow();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(readFile(outside + QStringLiteral("keep.txt")), QByteArray("precious"));
    // vadok makes no links: one there is not its to delete.
    EXPECT_TRUE(QFileInfo(execDir() + QStringLiteral("stray-link")).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(execDir() + QStringLiteral("Gone")));
    EXPECT_TRUE(QFileInfo(execDir() + QStringLiteral("Linked")).isSymLink());
    EXPECT_FALSE(archived(QStringLiteral("Linked")));
    EXPECT_TRUE(archived(QStringLiteral("Old")));
}

// An idle application whose program still runs is left expanded, said so, and stored by
// the first exit after the program ended.
TEST_F(Exit, anApplicationWhoseProgramStillRunsIsStoredByALaterExit) {
    catalog({usedAt(QStringLiteral("Running"), now.addDays(-30)), usedAt(QStringLiteral("Idle"), now.addDays(-30))});
    bool running = true;
    setFolderUsersHook([&](const QString& folder) {
        return running && folder == execDir() + QStringLiteral("Running/")
                   ? QList<FolderUser>{{4711, QStringLiteral("mines.exe")}}
                   : QList<FolderUser>{};
    });
    window = openWindow();
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(panel1History.contains(
        QStringLiteral("Running はプログラムが実行中のため格納しませんでした。次の終了時に格納します。")));
    EXPECT_EQ(readFile(execDir() + QStringLiteral("Running/file.txt")), "Running");
    EXPECT_FALSE(archived(QStringLiteral("Running")));
    EXPECT_TRUE(archived(QStringLiteral("Idle")));

    running = false;
    window = openWindow();
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(archived(QStringLiteral("Running")));
    EXPECT_FALSE(expanded(QStringLiteral("Running")));
}

class DangerousExecFolder : public Exit, public ::testing::WithParamInterface<const char*> {};

TEST_P(DangerousExecFolder, isNeitherSweptNorStoredFromAndTheUserIsTold) {
    catalog({usedAt(QStringLiteral("Old"), now.addDays(-30))});
    const QString home = scratch.path() + QStringLiteral("/home/");
    writeFile(home + QStringLiteral("letter.txt"), "mine");
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.toUtf8());
    writeFile(folder.file(QStringLiteral("notes.txt")), "mine");

    window = openWindow();
    const QString which = QString::fromLatin1(GetParam());
    settings().ExecDir = which == u"program" ? programFolder() : home;
    prompter.expectPrefix(QStringLiteral("実行フォルダ ") + settings().ExecDir +
                          QStringLiteral(" は"));
    EXPECT_TRUE(window->close());
    qputenv("HOME", oldHome);

    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_EQ(prompter.messages()[0].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(QFileInfo::exists(dataFilePath()));
    EXPECT_EQ(readFile(folder.file(QStringLiteral("notes.txt"))), QByteArray("mine"));
    EXPECT_EQ(readFile(home + QStringLiteral("letter.txt")), QByteArray("mine"));
    EXPECT_TRUE(QFileInfo::exists(packDir()));
    EXPECT_EQ(window->stage(), QStringLiteral("FIN"));
}

INSTANTIATE_TEST_SUITE_P(Folders, DangerousExecFolder, ::testing::Values("program", "home"));

} // namespace
} // namespace vadok::test
