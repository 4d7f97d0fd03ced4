#include "appsfixture.h"

#include "apps/archivercalls.h"
#include "archiver/files/archivelock.h"
#include "catalog/settings.h"
#include "util/folderutil.h"

#include "rawarchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
}

} // namespace
} // namespace vadok::test
