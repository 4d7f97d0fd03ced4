#include "support/files.h"
#include "util/folderutil.h"
#include "util/statustext.h"

#include "support/fakemainwindow.h"
#include "support/scriptedprompter.h"
#include "support/trashhome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

using namespace vadok;
using vadok::test::readFile;
using vadok::test::TrashHome;
using vadok::test::writeFile;

namespace {

TEST(DeleteFolder, permanentDeleteRemovesTheWholeTree) {
    QTemporaryDir dir;
    const QString app = dir.path() + QStringLiteral("/app");
    writeFile(app + QStringLiteral("/sub/a.txt"), "a");
    EXPECT_TRUE(DeleteFolder(app + u'/', nullptr, true));
    EXPECT_FALSE(QFileInfo::exists(app));
    EXPECT_TRUE(QFileInfo::exists(dir.path()));
}

TEST(DeleteFolder, reportsFailureForMissingFoldersAndRefusesTheRoot) {
    QTemporaryDir dir;
    EXPECT_FALSE(DeleteFolder(dir.path() + QStringLiteral("/missing"), nullptr, true));
    EXPECT_FALSE(DeleteFolder(QStringLiteral("/"), nullptr, true));
    EXPECT_FALSE(DeleteFolder(QString(), nullptr, true));
}

TEST(DeleteFolder, permanentDeleteOfALinkRemovesTheLinkNotItsTarget) {
    QTemporaryDir dir;
    const QString outside = dir.path() + QStringLiteral("/outside");
    writeFile(outside + QStringLiteral("/keep.txt"), "keep");
    QFile::link(outside, dir.path() + QStringLiteral("/link"));
    EXPECT_TRUE(DeleteFolder(dir.path() + QStringLiteral("/link"), nullptr, true));
    EXPECT_EQ(readFile(outside + QStringLiteral("/keep.txt")), QByteArray("keep"));
}

TEST(CopyFolderContents, replacesAnExistingTargetAndMovesTheOldOneToTheTrash) {
    TrashHome trash;
    QTemporaryDir dir;
    const QString source = dir.path() + QStringLiteral("/source");
    const QString target = dir.path() + QStringLiteral("/target");
    writeFile(source + QStringLiteral("/a.txt"), "new a");
    writeFile(source + QStringLiteral("/.hidden"), "h");
    writeFile(source + QStringLiteral("/deep/b.txt"), "b");
    writeFile(target + QStringLiteral("/old.txt"), "old");

    ASSERT_TRUE(CopyFolderContents(source, target));
    EXPECT_EQ(readFile(target + QStringLiteral("/a.txt")), QByteArray("new a"));
    EXPECT_EQ(readFile(target + QStringLiteral("/.hidden")), QByteArray("h"));
    EXPECT_EQ(readFile(target + QStringLiteral("/deep/b.txt")), QByteArray("b"));
    EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("/old.txt")));
    EXPECT_EQ(readFile(trash.filesFolder() + QStringLiteral("/target/old.txt")), QByteArray("old"));
}

TEST(CopyFolderContents, missingSourceShowsTheCopyFailure) {
    test::ScriptedPrompter prompter;
    prompter.expect(QStringLiteral("ファイルのコピーに失敗しました"));
    QTemporaryDir dir;
    EXPECT_FALSE(CopyFolderContents(dir.path() + QStringLiteral("/none"), dir.path() + QStringLiteral("/t")));
    EXPECT_EQ(prompter.messages().value(0).icon, MsgIcon::Critical);
}

TEST(SetStatusText, writesPanelsOneAndTwoAndRejectsOthers) {
    test::FakeMainWindow window;
    test::ScriptedPrompter prompter;
    SetStatusText(QStringLiteral("読み込み中"), 0);
    SetStatusText(QStringLiteral("圧縮"), 2);
    EXPECT_EQ(window.panel1, QStringLiteral("読み込み中"));
    EXPECT_EQ(window.panel2, QStringLiteral("圧縮"));

    prompter.expect(QStringLiteral("TARGET引数の値が不正です"));
    SetStatusText(QStringLiteral("x"), 3);
    EXPECT_EQ(window.panel1, QStringLiteral("読み込み中"));
}

} // namespace

namespace {

struct CopyDamage {
    const char* what;
    std::function<void(const QString& copy)> damage;
    bool stillComplete;
};

} // namespace

TEST(HoldsCopyOf, findsEveryFileFolderAndLinkOfTheSourceInTheCopy) {
    TrashHome trash;
    const CopyDamage cases[] = {
        {"untouched", [](const QString&) {}, true},
        {"an extra file in the copy", [](const QString& c) { writeFile(c + "/extra", "x"); }, true},
        {"a nested file missing", [](const QString& c) { QFile::remove(c + "/deep/b.txt"); }, false},
        {"a file cut short", [](const QString& c) { writeFile(c + "/a.txt", "a"); }, false},
        {"an empty folder missing", [](const QString& c) { QDir(c + "/empty").removeRecursively(); }, false},
        {"a link turned into a file",
         [](const QString& c) {
             QFile::remove(c + "/link");
             writeFile(c + "/link", "");
         },
         false},
    };
    for (const CopyDamage& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString source = dir.path() + QStringLiteral("/source");
        const QString copy = dir.path() + QStringLiteral("/copy");
        writeFile(source + QStringLiteral("/a.txt"), "abc");
        writeFile(source + QStringLiteral("/deep/b.txt"), "b");
        QDir().mkpath(source + QStringLiteral("/empty"));
        QFile::link(QStringLiteral("a.txt"), source + QStringLiteral("/link"));
        ASSERT_TRUE(CopyFolderContents(source, copy));
        c.damage(copy);
        EXPECT_EQ(HoldsCopyOf(copy, source), c.stillComplete);
    }
}

TEST(DeleteFolder, toTheTrashEvenWithoutTheDataFolderAndNeverIntoTheCurrentFolder) {
    QTemporaryDir dir;
    const QString home = dir.path() + QStringLiteral("/home/.local/share");
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    const QString oldCurrent = QDir::currentPath();
    qputenv("XDG_DATA_HOME", home.toUtf8());
    QDir::setCurrent(dir.path());
    writeFile(dir.path() + QStringLiteral("/gone/a.txt"), "a");
    EXPECT_TRUE(DeleteFolder(dir.path() + QStringLiteral("/gone"), nullptr, false));
    QDir::setCurrent(oldCurrent);
    qputenv("XDG_DATA_HOME", oldData);
    EXPECT_EQ(readFile(home + QStringLiteral("/Trash/files/gone/a.txt")), QByteArray("a"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/files")));
}
