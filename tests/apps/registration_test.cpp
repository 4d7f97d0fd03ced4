#include "appsfixture.h"

#include "catalog/appnamerules.h"
#include "apps/archivercalls.h"
#include "apps/droppeditem.h"
#include "apps/registration.h"
#include "catalog/settings.h"
#include "platform/programfolder.h"
#include "util/folderutil.h"

#include "archivertestsupport.h"
#include "support/exfatimage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <optional>
#include <sys/stat.h>

namespace vadok::test {
namespace {

const QString kOverwrite = QStringLiteral("はすでに存在しています。\r\nファイルを上書きしますか?\r\n"
                                          "(はいで上書き,いいえで追加圧縮,キャンセルで圧縮中止)");

struct Overwrite {
    const char* what;
    std::optional<MsgAnswer> answer; // none: no archive there before
    bool stored;
    QStringList members;
};

class NewArchive : public AppsFixture, public ::testing::WithParamInterface<Overwrite> {
protected:
    QString source() const { return scratch.path() + QStringLiteral("/Foo/"); }
};

TEST_P(NewArchive, anArchiveLeftThereIsRebuiltAddedToOrKept) {
    const Overwrite& c = GetParam();
    SCOPED_TRACE(c.what);
    writeFile(source() + QStringLiteral("a.txt"), "a");
    writeFile(source() + QStringLiteral("sub/b.txt"), "b");
    PackApp foo = named(QStringLiteral("Foo"));
    QByteArray before;
    if (c.answer) {
        PackApp old = registerApp(QStringLiteral("Foo"), QString(), {{QStringLiteral("old.txt"), "o"}});
        before = readFile(old.archivePath());
        prompter.expect(foo.archivePath() + kOverwrite, *c.answer);
        if (*c.answer == MsgAnswer::Cancel)
            prompter.expect(QStringLiteral("圧縮をキャンセルしました。"));
    }

    EXPECT_EQ(LhaCompressDir(QStringLiteral("Foo"), source()), c.stored);
    EXPECT_EQ(archiveFiles(foo), c.members);
    if (c.answer == MsgAnswer::Cancel) {
        EXPECT_EQ(readFile(foo.archivePath()), before);
    }
    if (c.answer) {
        EXPECT_EQ(prompter.messages().value(0).title, QStringLiteral("上書き確認"));
    }
    EXPECT_EQ(QDir(settings().PackDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Foo.lzh"});
}

INSTANTIATE_TEST_SUITE_P(
    Answers, NewArchive,
    ::testing::Values(Overwrite{"none there", std::nullopt, true, {"a.txt", "sub/b.txt"}},
                      Overwrite{"yes", MsgAnswer::Yes, true, {"a.txt", "sub/b.txt"}},
                      Overwrite{"no", MsgAnswer::No, true, {"a.txt", "old.txt", "sub/b.txt"}},
                      Overwrite{"cancel", MsgAnswer::Cancel, false, {"old.txt"}}));

// The expanded copy would still show them: the user hears at once what stays behind.
TEST_F(NewArchive, whatTheArchiveCannotHoldIsNamedAtRegistration) {
    writeFile(source() + QStringLiteral("a.txt"), "a");
    ASSERT_TRUE(QFile::link(QStringLiteral("/usr/bin/env"), source() + QStringLiteral("absenv")));
    ASSERT_TRUE(QFile::link(QStringLiteral("a.txt"), source() + QStringLiteral("inner")));
    prompter.expect(QStringLiteral("[Foo] の次のものは圧縮ファイルに入れられないため、登録されません。\r\n"
                                   "元のフォルダには残っています。\r\n\r\n"
                                   "absenv (フォルダの外を指すリンク: /usr/bin/env)"));
    EXPECT_TRUE(LhaCompressDir(QStringLiteral("Foo"), source()));
    EXPECT_EQ(archiveFiles(named(QStringLiteral("Foo"))), (QStringList{"a.txt", "inner"}));
}

TEST_F(NewArchive, aFolderTheArchiverRefusesLeavesNoArchive) {
    const QString folder = scratch.path() + QStringLiteral("/Bad/");
    writeFile(folder + QStringLiteral("a.txt"), "a");
    writeUnstorableFile(folder);
    prompter.expectPrefix(QStringLiteral("圧縮に失敗しました。Error Code:0x8009\r\n\r\n[Bad]\r\n"));
    EXPECT_FALSE(LhaCompressDir(QStringLiteral("Bad"), folder));
    EXPECT_EQ(QDir(settings().PackDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{});
    DeleteFolder(folder, nullptr, true); // Qt cannot spell the refused name to remove it

}

// A folder with relative links to a file and to a folder, registered with the execution
// folder on a USB stick (exFAT: no links, no modes): the copy stands in for the links as an
// expansion there does, the first store writes links and modes back, and the archive
// expands elsewhere into the folder that was registered. A name the stick refuses fails
// the copy, which says which file and why and leaves nothing there.
TEST_F(NewArchive, aFolderWithLinksCopiedOntoAStickIsStoredBackAsItWasRegistered) {
    ExfatImage stick(scratch.path().toStdString());
    if (!stick.mounted())
        GTEST_SKIP() << "no exFAT file system to be had here: " << stick.why();
    settings().ExecDir = QString::fromStdString(stick.mount()) + QStringLiteral("/Exec/");
    const std::string src = scratch.path().toStdString() + "/stlink";
    writeFile(src + "/readme.txt", "read me", 0600);
    writeFile(src + "/bin/run.sh", "#!/bin/sh\necho run\n", 0755);
    writeFile(src + "/data/a.txt", "a");
    ::chmod((src + "/data").c_str(), 0750);
    makeSymlink("bin/run.sh", src + "/run");
    makeSymlink("data", src + "/datalink");
    const Tree registered = readTree(src, false);
    const QString source = QString::fromStdString(src) + u'/';
    PackApp app = named(QStringLiteral("stlink"));
    ASSERT_TRUE(LhaCompressDir(QStringLiteral("stlink"), source));
    const auto members = memberTable(app.archivePath().toStdString());

    ASSERT_EQ(CopyIntoExecutionFolder(source, app.expandedFolder()), CopyOutcome::Complete);
    const std::string copy = app.expandedFolder().toStdString();
    EXPECT_EQ(readFile(copy + "run"), "#!/bin/sh\necho run\n");
    EXPECT_EQ(readFile(copy + "datalink/a.txt"), "a");
    ASSERT_TRUE(app.Pack(QString()));
    EXPECT_FALSE(QFileInfo::exists(app.expandedFolder()));
    EXPECT_EQ(memberTable(app.archivePath().toStdString()), members);
    // Run and stored on the stick again, as the window does it.
    quintptr owner = 0;
    ASSERT_TRUE(app.UnPack(owner));
    writeFile(copy + "added.txt", "new on the stick");
    ASSERT_TRUE(app.Pack(QString()));
    auto withAdded = members;
    withAdded.push_back("added.txt f 0644");
    std::sort(withAdded.begin(), withAdded.end());
    EXPECT_EQ(memberTable(app.archivePath().toStdString()), withAdded);
    const std::string again = scratch.path().toStdString() + "/again";
    ASSERT_EQ(RunUnlha(ExpandCommand(app.archivePath(), QString::fromStdString(again) + u'/', true)), 0);
    EXPECT_EQ(::unlink((again + "/added.txt").c_str()), 0);
    EXPECT_EQ(readTree(again, false), registered);

    writeFile(src + "/sub/what?.txt", "refused on exFAT");
    prompter.expect(QStringLiteral("ファイルのコピーに失敗しました。\r\n\r\n") + source +
                    QStringLiteral("sub/what?.txt\r\nコピー先のファイルシステムでは使えない名前です。"));
    EXPECT_EQ(CopyIntoExecutionFolder(source, app.expandedFolder()), CopyOutcome::Failed);
    EXPECT_EQ(prompter.messages().value(0).icon, MsgIcon::Critical);
    EXPECT_EQ(QDir(settings().ExecDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{});
}

// An archive no application owns, and a folder the archiver refuses: whether the user
// rebuilds it or adds to it, the failed store leaves it as it was.
class FailedRestore : public AppsFixture, public ::testing::WithParamInterface<MsgAnswer> {
protected:
    QString source() const { return scratch.path() + QStringLiteral("/Foo/"); }
};

TEST_P(FailedRestore, leavesTheArchiveThereByteForByte) {
    PackApp old = registerApp(QStringLiteral("Foo"), QString(), {{QStringLiteral("old.txt"), "o"}});
    const QByteArray before = readFile(old.archivePath());
    writeFile(source() + QStringLiteral("a.txt"), "a");
    writeUnstorableFile(source());
    prompter.expect(old.archivePath() + kOverwrite, GetParam())
        .expectPrefix(QStringLiteral("圧縮に失敗しました。Error Code:0x8009\r\n\r\n[Foo]\r\n"));

    EXPECT_FALSE(LhaCompressDir(QStringLiteral("Foo"), source()));
    EXPECT_EQ(readFile(old.archivePath()), before);
    EXPECT_EQ(filesBesideArchives(settings().PackDir), QStringList{"Foo.lzh"});
    removeUnstorableFile(source());
}

INSTANTIATE_TEST_SUITE_P(RebuildOrAdd, FailedRestore, ::testing::Values(MsgAnswer::Yes, MsgAnswer::No));

TEST(AppNames, theLaunchersOwnNamesAreRefusedInAnyLetterCase) {
    const QString refused =
        QStringLiteral("「_work」で始まる名称はVadokが作業用に使うため、使うことはできません");
    const struct {
        const char* name;
        bool own;
    } cases[] = {{"_work", true},   {"_WORK", true},  {"_work-0001", true}, {"_workfolmove", true},
                 {"work", false},   {"my_work", false}, {"_wor", false},    {" _work", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QString::fromUtf8(c.name);
        EXPECT_EQ(isLaunchersOwnName(name), c.own);
        EXPECT_EQ(wholeNameRefusal(name), c.own ? refused : QString());
    }
}

using Refusal = AppsFixture;

TEST_F(Refusal, foldersOverlappingTheLaunchersOwnAreRefused) {
    const Settings& s = settings();
    const QString outside = scratch.path() + QStringLiteral("/Tools/Foo");
    const QString beside = programFolder() + QStringLiteral("Packed");
    QDir().mkpath(outside);
    QDir().mkpath(beside);
    QDir().mkpath(s.ExecDir + QStringLiteral("Tool/bin"));
    QDir().mkpath(s.IconDir + QStringLiteral("set"));
    QFile::link(s.PackDir, scratch.path() + QStringLiteral("/packlink"));
    const struct {
        QString folder;
        QString reason; // empty: accepted
    } cases[] = {
        {outside, QString()},
        {beside, QString()},
        {s.PackDir, QStringLiteral("Vadokの格納フォルダの中にあります。")},
        {scratch.path() + QStringLiteral("/packlink/"), QStringLiteral("Vadokの格納フォルダの中にあります。")},
        {s.ExecDir + QStringLiteral("Tool/bin"), QStringLiteral("Vadokの実行フォルダの中にあります。")},
        {s.IconDir + QStringLiteral("set/"), QStringLiteral("Vadokのアイコンフォルダの中にあります。")},
        {programFolder(), QStringLiteral("Vadokのプログラムフォルダを含んでいます。")},
        {QDir::cleanPath(programFolder() + QStringLiteral("..")), QStringLiteral("Vadokのプログラムフォルダを含んでいます。")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder.toStdString());
        const QString expected =
            c.reason.isEmpty() ? QString()
                               : u'[' + c.folder + QStringLiteral("] は登録できません。\r\n") + c.reason;
        EXPECT_EQ(RegistrationRefusal(c.folder), expected);
    }
}

TEST(DroppedItem, installerShortcutsAreKnownByTheirTargetInTheSystemFolder) {
    const QString cached = QStringLiteral("C:/Windows/Installer/{90120000}/word.ico");
    const QString program = QStringLiteral("C:/Program Files/Word/word.exe");
    qunsetenv("SystemRoot");
    EXPECT_TRUE(IsInstallerShortcutTarget(cached));
    EXPECT_FALSE(IsInstallerShortcutTarget(program));
    qputenv("SystemRoot", "C:\\WINDOWS");
    EXPECT_TRUE(IsInstallerShortcutTarget(cached));
    EXPECT_FALSE(IsInstallerShortcutTarget(QStringLiteral("D:/Installer/{1}/x.ico")));
    qunsetenv("SystemRoot");
}

} // namespace
} // namespace vadok::test
