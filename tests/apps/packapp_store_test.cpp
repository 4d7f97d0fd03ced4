#include "appsfixture.h"

#include "apps/archivercalls.h"
#include "archiver/files/archivelock.h"
#include "catalog/settings.h"
#include "platform/folderusers.h"
#include "util/folderutil.h"

#include "rawarchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <sys/stat.h>

#include <memory>

namespace vadok::test {
namespace {

using Packing = AppsFixture;

TEST_F(Packing, storeAfterUseUpdatesTheArchiveAndRemovesTheFolder) {
    PackApp app = registerApp(QStringLiteral("Tool"), QStringLiteral("run.sh"),
                              {{QStringLiteral("run.sh"), "#!/bin/sh\n"},
                               {QStringLiteral("doc/readme.txt"), "read me"}});
    quintptr owner = 0;
    app.UnPack(owner);
    ASSERT_FALSE(app.isPack());
    writeFile(app.expandedFolder() + QStringLiteral("settings.ini"), "[x]");
    QFile::remove(app.expandedFolder() + QStringLiteral("doc/readme.txt"));

    ASSERT_TRUE(app.Pack());
    EXPECT_FALSE(QFileInfo::exists(app.expandedFolder()));
    // storing adds and replaces, it never drops what the folder lost
    EXPECT_EQ(archiveFiles(app), (QStringList{QStringLiteral("doc/readme.txt"), QStringLiteral("run.sh"),
                                              QStringLiteral("settings.ini")}));
}

// An archive may carry a list of stand-ins of its own, here one lying that the user's saves
// are a link to the folder itself. The store the exit runs keeps every save and the list as
// the ordinary file it is; the expanded folder goes only once all of it is in the archive.
TEST_F(Packing, anArchivesOwnListOfStandInsNeverCostsTheUsersSavesAtTheExit) {
    const std::string lie = std::string("vadok stand-ins 1\nLsave/.") + '\0' + "." + '\0' + "0\n";
    const std::string archive = lzhArchive({{".vadok-stand-ins", lie}, {"save/mygame.sav", "level 1"}});
    PackApp app = registerArchive(QStringLiteral("Game"), QString(),
                                  QByteArray(archive.data(), qsizetype(archive.size())));
    quintptr owner = 0;
    ASSERT_TRUE(app.UnPack(owner));
    writeFile(app.expandedFolder() + QStringLiteral("save/mygame.sav"), "level 9");
    writeFile(app.expandedFolder() + QStringLiteral("save/second.sav"), "new");

    ASSERT_TRUE(app.Pack(QString()));
    EXPECT_FALSE(QFileInfo::exists(app.expandedFolder()));
    ASSERT_TRUE(app.UnPack(owner));
    EXPECT_EQ(readFile(app.expandedFolder() + QStringLiteral("save/mygame.sav")), "level 9");
    EXPECT_EQ(readFile(app.expandedFolder() + QStringLiteral("save/second.sav")), "new");
    EXPECT_EQ(readFile(app.expandedFolder() + QStringLiteral(".vadok-stand-ins")),
              QByteArray(lie.data(), qsizetype(lie.size())));
}

TEST_F(Packing, packKeyHeldRebuildsTheArchiveFromTheFolder) {
    PackApp app = registerApp(QStringLiteral("Tool"), QStringLiteral("run.sh"),
                              {{QStringLiteral("run.sh"), "#!/bin/sh\n"}, {QStringLiteral("old.txt"), "old"}});
    quintptr owner = 0;
    app.UnPack(owner);
    QFile::remove(app.expandedFolder() + QStringLiteral("old.txt"));
    packKeyHeld = true;
    ASSERT_TRUE(app.Pack());
    EXPECT_TRUE(window.panel1History.contains(QStringLiteral("圧縮ファイルを再作成しました")));
    EXPECT_EQ(archiveFiles(app), QStringList{QStringLiteral("run.sh")});
}

TEST_F(Packing, aRebuildWaitsForAnotherStoreOfTheArchiveToEnd) {
    PackApp app = registerApp(QStringLiteral("Tool"), QStringLiteral("run.sh"),
                              {{QStringLiteral("run.sh"), "#!/bin/sh\n"}, {QStringLiteral("old.txt"), "old"}});
    quintptr owner = 0;
    app.UnPack(owner);
    QFile::remove(app.expandedFolder() + QStringLiteral("old.txt"));
    const QByteArray before = readFile(app.archivePath());
    // Another process stores into the archive: it holds its lock until its rename is done.
    auto other = std::make_unique<archiver::ArchiveLock>();
    ASSERT_EQ(other->take(QFile::encodeName(app.archivePath()).toStdString(),
                          archiver::ArchiveLock::Kind::Exclusive, {}),
              0);
    bool waited = false;
    window.onPanel1Text = [&](const QString& text) {
        if (!other || !text.startsWith(QStringLiteral("圧縮ファイルがほかの処理で使われています")))
            return;
        waited = true;
        EXPECT_EQ(readFile(app.archivePath()), before) << "replaced under the other store";
        other.reset();
    };
    EXPECT_TRUE(app.Pack(QString(), true));
    window.onPanel1Text = nullptr;
    other.reset();
    EXPECT_TRUE(waited);
    EXPECT_EQ(archiveFiles(app), QStringList{QStringLiteral("run.sh")});
}

TEST_F(Packing, aRebuildThatFailsKeepsTheOldArchiveAndTheFolder) {
    PackApp app = registerApp(QStringLiteral("Tool"), QStringLiteral("run.sh"),
                              {{QStringLiteral("run.sh"), "#!/bin/sh\n"}, {QStringLiteral("old.txt"), "old"}});
    const QByteArray archiveBefore = readFile(app.archivePath());
    quintptr owner = 0;
    app.UnPack(owner);
    writeUnstorableFile(app.expandedFolder());
    packKeyHeld = true;
    prompter.expectPrefix(QStringLiteral("圧縮に失敗しました。Error Code:0x"));
    EXPECT_FALSE(app.Pack());
    // The message says which application failed and why, not only a code.
    ASSERT_EQ(prompter.messages().size(), 1);
    EXPECT_TRUE(prompter.messages()[0].text.contains(QStringLiteral("\r\n\r\n[Tool]\r\n")))
        << prompter.messages()[0].text.toStdString();
    EXPECT_TRUE(prompter.messages()[0].text.endsWith(StoreFailureText(0x8009)));
    EXPECT_EQ(readFile(app.archivePath()), archiveBefore);
    EXPECT_FALSE(QFileInfo::exists(app.rebuildArchivePath()));
    EXPECT_EQ(readFile(app.expandedFolder() + QStringLiteral("old.txt")), "old");
}

TEST_F(Packing, aFolderThatChangesWhileItIsStoredIsKept) {
    for (const bool rebuild : {false, true}) {
        SCOPED_TRACE(rebuild ? "rebuild" : "update");
        PackApp app = registerApp(QStringLiteral("Tool"), QStringLiteral("run.sh"),
                                  {{QStringLiteral("run.sh"), "#!/bin/sh\n"}});
        quintptr owner = 0;
        app.UnPack(owner);
        // Written after the store has listed the folder, so the archive cannot hold it.
        window.onPanel1Text = [&](const QString& text) {
            if (text.endsWith(QStringLiteral("%)")))
                writeFile(app.expandedFolder() + QStringLiteral("late.txt"), "written late");
        };
        prompter.expectPrefix(QStringLiteral("圧縮に失敗しました。Error Code:0x"));
        EXPECT_FALSE(app.Pack(QString(), rebuild));
        window.onPanel1Text = nullptr;
        EXPECT_EQ(readFile(app.expandedFolder() + QStringLiteral("late.txt")), "written late");
        EXPECT_FALSE(QFileInfo::exists(app.rebuildArchivePath()));
        ASSERT_TRUE(DeleteFolder(app.expandedFolder(), nullptr, true));
    }
}

const QString kRunning = QStringLiteral("[Tool] のプログラムがまだ実行中です。\r\n\r\nmines.exe (PID 4711)");

// Storing deletes the folder: under a program that still works there, only when the user
// says so.
TEST_F(Packing, aStoreUnderARunningProgramKeepsTheFolderUnlessTheUserSaysOtherwise) {
    struct Row {
        const char* what;
        WhenInUse whenInUse;
        QString message; // empty: none
        MsgAnswer answer;
        StoreOutcome outcome;
    };
    const QList<Row> rows = {
        {"wait", WhenInUse::AskOrWait,
         kRunning + QStringLiteral("\r\n\r\n今格納すると展開フォルダが削除され、プログラムがこれから"
                                   "書き込む内容(設定や保存データなど)は失われます。"
                                   "\r\nプログラムが終わるのを待ってから格納しますか?"
                                   "\r\n(はい: 終わるのを待って格納する　いいえ: すぐに格納する"
                                   "　キャンセル: 格納しない)"),
         MsgAnswer::Yes, StoreOutcome::Wait},
        {"leave it", WhenInUse::AskOrWait, QString(), MsgAnswer::Cancel, StoreOutcome::Cancelled},
        {"store anyway", WhenInUse::AskOrWait, QString(), MsgAnswer::No, StoreOutcome::Stored},
        {"told", WhenInUse::Tell,
         kRunning + QStringLiteral("\r\n\r\n展開フォルダを削除すると、プログラムがこれから書き込む内容"
                                   "(設定や保存データなど)が失われるため、格納しませんでした。"
                                   "\r\nプログラムを終了してから格納してください。"),
         MsgAnswer::Ok, StoreOutcome::InUse},
        {"the exit", WhenInUse::Skip, QString(), MsgAnswer::Ok, StoreOutcome::InUse},
    };
    PackApp app = registerApp(QStringLiteral("Tool"), QStringLiteral("mines.exe"),
                              {{QStringLiteral("mines.exe"), "MZ"}});
    setFolderUsersHook([&app](const QString& folder) {
        return folder == app.expandedFolder() ? QList<FolderUser>{{4711, QStringLiteral("mines.exe")}}
                                               : QList<FolderUser>{};
    });
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        quintptr owner = 0;
        if (app.isPack()) {
            ASSERT_TRUE(app.UnPack(owner));
        }
        writeFile(app.expandedFolder() + QStringLiteral("save.dat"), "written while it ran");
        const QByteArray archiveBefore = readFile(app.archivePath());
        const qsizetype asked = prompter.messages().size();
        if (row.whenInUse != WhenInUse::Skip) {
            if (row.message.isEmpty())
                prompter.expectPrefix(kRunning, row.answer);
            else
                prompter.expect(row.message, row.answer);
        }
        QStringList users;
        EXPECT_EQ(app.Store(QString(), false, row.whenInUse, &users), row.outcome);
        EXPECT_EQ(users, QStringList{QStringLiteral("mines.exe")});
        ASSERT_EQ(prompter.messages().size(), asked + (row.whenInUse == WhenInUse::Skip ? 0 : 1));
        if (row.whenInUse != WhenInUse::Skip) {
            EXPECT_EQ(prompter.messages().constLast().title, QStringLiteral("Toolの格納"));
        }
        const bool stored = row.outcome == StoreOutcome::Stored;
        EXPECT_EQ(QFileInfo::exists(app.expandedFolder()), !stored);
        if (!stored) {
            EXPECT_EQ(readFile(app.archivePath()), archiveBefore);
        }
    }
    setFolderUsersHook({});
}

// The kernel's own process table, with a real program that holds a file of the folder
// open: the folder stays until the program has ended.
TEST_F(Packing, aRealProgramHoldingAFileOpenKeepsItsFolderUntilItEnds) {
    setFolderUsersHook({});
    PackApp app = registerApp(QStringLiteral("Tool"), QStringLiteral("run.sh"),
                              {{QStringLiteral("run.sh"), "#!/bin/sh\n"}});
    quintptr owner = 0;
    ASSERT_TRUE(app.UnPack(owner));
    QProcess program;
    program.setWorkingDirectory(scratch.path());
    // The program opens the file itself and says so only then, so the store meets it as it
    // will stay: its working folder, its program and its arguments lie elsewhere (the file's
    // path comes in the environment, since an argument inside the folder would name it).
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HELD_FILE"), app.expandedFolder() + QStringLiteral("settings.ini"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral("python3"),
                  {QStringLiteral("-c"),
                   QStringLiteral("import os, time; os.open(os.environ['HELD_FILE'], os.O_WRONLY | "
                                  "os.O_APPEND | os.O_CREAT); print('ready', flush=True); time.sleep(600)")});
    ASSERT_TRUE(program.waitForReadyRead(60000));
    prompter.expectPrefix(QStringLiteral("[Tool] のプログラムがまだ実行中です。\r\n\r\npython3 (PID %1)\r\n\r\n")
                              .arg(program.processId()));
    EXPECT_FALSE(app.Pack());
    EXPECT_TRUE(QFileInfo::exists(app.expandedFolder() + QStringLiteral("settings.ini")));

    program.kill();
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_TRUE(app.Pack());
    EXPECT_FALSE(QFileInfo::exists(app.expandedFolder()));
    EXPECT_EQ(archiveFiles(app), (QStringList{QStringLiteral("run.sh"), QStringLiteral("settings.ini")}));
}

// What the archive cannot hold is named once the store is over: the folder, where alone it
// was, goes next.
TEST_F(Packing, whatTheArchiveCannotHoldIsNamedAtTheStore) {
    settings().Config.LhaDialog = 1; // the archiver's progress display off: still named
    PackApp app = registerApp(QStringLiteral("Tool"), QStringLiteral("run.sh"),
                              {{QStringLiteral("run.sh"), "#!/bin/sh\n"}});
    quintptr owner = 0;
    ASSERT_TRUE(app.UnPack(owner));
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr/bin/env"), app.expandedFolder() + QStringLiteral("absenv")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(app.expandedFolder() + QStringLiteral("pipe")).constData(), 0600), 0);
    prompter.expect(QStringLiteral("[Tool] の次のものは圧縮ファイルに入れられないため、格納されていません。\r\n\r\n"
                                   "pipe (ソケットやデバイスなどの特殊なファイル)\r\n"
                                   "absenv (フォルダの外を指すリンク: /usr/bin/env)"));
    EXPECT_TRUE(app.Pack());
    EXPECT_EQ(prompter.messages().value(0).title, QStringLiteral("Toolの格納"));
    EXPECT_EQ(archiveFiles(app), QStringList{QStringLiteral("run.sh")});

    // The exit stores without a word.
    ASSERT_TRUE(app.UnPack(owner));
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr/bin/env"), app.expandedFolder() + QStringLiteral("absenv")));
    EXPECT_EQ(app.Store(QString(), false, WhenInUse::Skip), StoreOutcome::Stored);
    EXPECT_EQ(prompter.messages().size(), 1);
}

TEST_F(Packing, alreadyStoredAndEmptyFoldersNeedNoArchiver) {
    PackApp app = named(QStringLiteral("Never")); // no archive at all
    EXPECT_TRUE(app.Pack());
    QDir().mkpath(app.expandedFolder());
    EXPECT_TRUE(app.Pack());
    EXPECT_FALSE(QFileInfo::exists(app.expandedFolder()));
    EXPECT_FALSE(QFileInfo::exists(app.archivePath()));

    PackApp link = named(QStringLiteral("Link"));
    link.SetShortCut(QStringLiteral("/usr/bin/"));
    EXPECT_TRUE(link.Pack());
    quintptr owner = 0;
    link.UnPack(owner); // calls nothing: no message, no folder
    EXPECT_FALSE(QFileInfo::exists(link.expandedFolder()));
}

TEST_F(Packing, aFailedStoreKeepsTheFolderAndShowsTheCode) {
    PackApp app = named(QStringLiteral("Tool"));
    writeFile(app.expandedFolder() + QStringLiteral("data.bin"), "precious");
    // The pack folder is gone and a file stands in its place: no archive can be written.
    QDir(settings().PackDir).removeRecursively();
    writeFile(settings().PackDir.chopped(1), "not a folder");

    prompter.expectPrefix(QStringLiteral("圧縮に失敗しました。Error Code:0x"));
    EXPECT_FALSE(app.Pack());
    EXPECT_EQ(prompter.messages().value(0).title, QStringLiteral("Failed"));
    EXPECT_EQ(prompter.messages().value(0).icon, MsgIcon::Critical);
    EXPECT_EQ(readFile(app.expandedFolder() + QStringLiteral("data.bin")), QByteArray("precious"));
}

TEST_F(Packing, expandingAMissingArchiveShowsTheCode) {
    PackApp app = named(QStringLiteral("Lost"));
    prompter.expectPrefix(QStringLiteral("解凍に失敗しました。Error Code:0x"));
    quintptr owner = 0;
    app.UnPack(owner);
    EXPECT_EQ(prompter.messages().value(0).title, QStringLiteral("Failed"));
}

TEST(ArchiverCalls, commandStringsAndCodesAreWrittenAsTheArchiverExpects) {
    EXPECT_EQ(StoreCommand(QStringLiteral("/p/A.lzh"), QStringLiteral("/e/A/"), false),
              QStringLiteral("u -d1 -y1 -h2 -jm2 \"/p/A.lzh\" \"/e/A/\" *"));
    EXPECT_EQ(StoreCommand(QStringLiteral("/p/A.lzh"), QStringLiteral("/e/A/"), true),
              QStringLiteral("u -d1 -y1 -h2 -jm2 -n \"/p/A.lzh\" \"/e/A/\" *"));
    EXPECT_EQ(ExpandCommand(QStringLiteral("/p/A.lzh"), QStringLiteral("/e/A/"), true),
              QStringLiteral("x -d1 -y1 -n \"/p/A.lzh\" \"/e/A/\" *"));
    EXPECT_EQ(UnzipCommand(QStringLiteral("/d/a.zip"), QStringLiteral("/e/_work/")),
              QStringLiteral("-xs \"/d/a.zip\" \"/e/_work/\""));
    EXPECT_EQ(HexCode(32773), QStringLiteral("8005"));
    EXPECT_EQ(HexCode(-1), QStringLiteral("FFFFFFFF"));
    EXPECT_EQ(HexCode(1), QStringLiteral("1"));

    // The archiver's warnings about what a store left out, as the user reads them; names
    // may hold what the warnings use as separators.
    const std::pair<QString, QString> warnings[] = {
        {QStringLiteral("skipped symbolic link pointing outside the folder: bin/env -> /usr/bin/env"),
         QStringLiteral("bin/env (フォルダの外を指すリンク: /usr/bin/env)")},
        {QStringLiteral("skipped special file: run/socket"),
         QStringLiteral("run/socket (ソケットやデバイスなどの特殊なファイル)")},
        {QStringLiteral("skipped symbolic link with \"|\" in its name: a|b"),
         QStringLiteral("a|b (名前に | を含むリンク)")},
        {QStringLiteral("left out the old member a: b/c.txt: an expansion would refuse it"),
         QStringLiteral("a: b/c.txt (圧縮ファイルにあった古いもの。今のフォルダの形に合いません)")},
        {QStringLiteral("left out the old member d: e/f/g.txt: d: e/f is no longer a folder"),
         QStringLiteral("d: e/f/g.txt (圧縮ファイルにあった古いもの。今のフォルダの形に合いません)")},
        {QStringLiteral("waiting for another store or an expansion of /p/A.lzh"), QString()},
        {QStringLiteral("stored as it now is, not as the link it stood in for: x (it was changed)"), QString()},
    };
    for (const auto& [warning, line] : warnings)
        EXPECT_EQ(LeftOutLine(warning), line) << warning.toStdString();
}

} // namespace
} // namespace vadok::test
