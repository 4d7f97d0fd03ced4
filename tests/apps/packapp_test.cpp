#include "appsfixture.h"

#include "catalog/apprecords.h"
#include "catalog/settings.h"

#include <QDir>
#include <QFileInfo>

namespace vadok::test {
namespace {

using PackAppState = AppsFixture;

TEST_F(PackAppState, stateFollowsTheExpandedFolder) {
    PackApp app = named(QStringLiteral("Tool"));
    EXPECT_TRUE(app.isPack()); // no folder

    QDir().mkpath(app.expandedFolder());
    EXPECT_TRUE(app.isPack()); // empty folder: stored, and the folder is gone
    EXPECT_FALSE(QFileInfo::exists(app.expandedFolder()));

    QDir().mkpath(app.expandedFolder() + QStringLiteral("only/sub"));
    EXPECT_FALSE(app.isPack());
    EXPECT_TRUE(QFileInfo(app.expandedFolder() + QStringLiteral("only/sub")).isDir());
}

TEST_F(PackAppState, askingWhetherExpandedChangesNothing) {
    PackApp app = named(QStringLiteral("Tool"));
    EXPECT_FALSE(app.isExpandedOnDisk());
    QDir().mkpath(app.expandedFolder());
    EXPECT_FALSE(app.isExpandedOnDisk());
    EXPECT_TRUE(QFileInfo::exists(app.expandedFolder())); // left for isPack to clear
    writeFile(app.expandedFolder() + QStringLiteral(".settings"), "hidden files count");
    EXPECT_TRUE(app.isExpandedOnDisk());
}

TEST_F(PackAppState, aShortcutEntryIsNeverStored) {
    PackApp app = named(QStringLiteral("Link"));
    ASSERT_TRUE(app.SetShortCut(QStringLiteral("/opt/link/")));
    EXPECT_EQ(app.LastOpenDateTime(), now);
    EXPECT_FALSE(app.isPack());
    QDir().mkpath(app.expandedFolder());
    EXPECT_FALSE(app.isPack());
    EXPECT_EQ(app.workingFolder(), QStringLiteral("/opt/link/"));
}

TEST_F(PackAppState, anUnsetLastUseReadsAsTheFirstReadingAndStays) {
    PackApp app = named(QStringLiteral("Tool"));
    const QDateTime first = now;
    EXPECT_EQ(app.LastOpenDateTime(), first);
    now = now.addDays(3);
    EXPECT_EQ(app.LastOpenDateTime(), first);
}

TEST_F(PackAppState, pathsDeriveFromTheWorkingFolders) {
    PackApp app = named(QStringLiteral("エディタ"));
    EXPECT_EQ(app.archivePath(), folder.file(QStringLiteral("Pack/エディタ.lzh")));
    EXPECT_EQ(app.expandedFolder(), folder.file(QStringLiteral("Exec/エディタ/")));
    EXPECT_EQ(app.iconPath(), folder.file(QStringLiteral("Icon/エディタ.ico")));
    EXPECT_EQ(WorkFolder(), folder.file(QStringLiteral("Exec/_work")));
}

TEST_F(PackAppState, deleteRemovesEverythingEvenWithoutAnArchive) {
    const QByteArray oldTrash = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", scratch.path().toUtf8());
    PackApp app = named(QStringLiteral("Gone"));
    app.setInfo(QStringLiteral("notes of the deleted one\r\n"));
    ASSERT_TRUE(app.SaveConfig());
    writeFile(app.expandedFolder() + QStringLiteral("a.txt"), "a");
    writeFile(app.iconPath(), "ico");
    const QString lock = folder.file(QStringLiteral("Pack/.Gone.lzh.lock"));
    writeFile(lock, QByteArray());
    app.Delete();
    qputenv("XDG_DATA_HOME", oldTrash);

    EXPECT_FALSE(QFileInfo::exists(app.expandedFolder()));
    EXPECT_FALSE(QFileInfo::exists(app.iconPath()));
    EXPECT_FALSE(QFileInfo::exists(lock));
    // A new application of the same name starts without the old one's notes.
    AppRecord left;
    EXPECT_FALSE(FindAppByName(QStringLiteral("Gone"), left));
    EXPECT_EQ(window.removedNodes, QStringList{QStringLiteral("Gone")});
    EXPECT_EQ(window.folderWrites, 1);
    EXPECT_EQ(window.panel1History,
              (QStringList{QStringLiteral("プログラムを削除しています..."),
                           QStringLiteral("圧縮ファイルを削除しています..."),
                           QStringLiteral("アイコンファイルを削除しています..."),
                           QStringLiteral("情報を更新しています...")}));
    // to the trash, not destroyed
    EXPECT_EQ(readFile(scratch.path() + QStringLiteral("/Trash/files/Gone/a.txt")), QByteArray("a"));
}

TEST_F(PackAppState, saveConfigWritesTheRecordFoundByName) {
    PackApp app = named(QStringLiteral("Tool"));
    app.setExecCmd(QStringLiteral("tool --x"));
    app.setAppDir(QStringLiteral("メイン"));
    app.setNonPack(true);
    ASSERT_TRUE(app.SaveConfig());
    AppRecord read;
    ASSERT_TRUE(FindAppByName(QStringLiteral("Tool"), read));
    EXPECT_EQ(read.ExecCmd, QStringLiteral("tool --x"));
    EXPECT_TRUE(read.NonPack);
}

} // namespace
} // namespace vadok::test
