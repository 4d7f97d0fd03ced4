#include "appsfixture.h"

#include "apps/registration.h"
#include "apps/versionup.h"
#include "catalog/settings.h"

#include "archivertestsupport.h"
#include "support/exfatimage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vadok::test {
namespace {

struct Source {
    const char* what;
    const char* command;
    QStringList files; // below the work folder; "name->target" makes a symbolic link
    const char* found; // relative to the work folder; nullptr: none
    const char* target = ""; // relative to the application's folder
};

class VersionUpSource : public AppsFixture, public ::testing::WithParamInterface<Source> {};

TEST_P(VersionUpSource, findsTheProgramAtItsOwnPathBelowSingleFolders) {
    const Source& c = GetParam();
    SCOPED_TRACE(c.what);
    const QString work = WorkFolder() + u'/';
    // The application is expanded during a version-up: its command's program is there.
    writeFile(settings().ExecDir + QStringLiteral("Tool/run.sh"), "old", true);
    writeFile(settings().ExecDir + QStringLiteral("Tool/bin/tool.exe"), "old");
    QDir().mkpath(work);
    for (const QString& file : c.files) {
        if (file.contains(QStringLiteral("->"))) {
            const QStringList parts = file.split(QStringLiteral("->"));
            ASSERT_TRUE(QFile::link(scratch.path() + u'/' + parts[1], work + parts[0]));
        } else {
            writeFile(work + file, "x");
        }
    }
    writeFile(scratch.path() + QStringLiteral("/elsewhere/tool.exe"), "x");
    AppRecord record;
    record.AppName = QStringLiteral("Tool");
    record.ExecCmd = QString::fromUtf8(c.command);
    const VersionUpMatch found = FindVersionUpSource(QStringLiteral("Tool"), PackApp(record));
    EXPECT_EQ(found.source, c.found ? work + QString::fromUtf8(c.found) : QString());
    if (c.found) {
        EXPECT_EQ(found.target,
                  settings().ExecDir + QStringLiteral("Tool/") + QString::fromUtf8(c.target));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, VersionUpSource,
    ::testing::Values(
        Source{"at the top", "tool.exe", {"tool.exe", "readme.txt"}, ""},
        Source{"one top folder, other letter case, parameters",
               "tool.exe /portable",
               {"Tool-2.0/TOOL.EXE", "Tool-2.0/readme.txt", "Tool-2.0/plugins/a.dll"},
               "Tool-2.0/"},
        Source{"two levels", "bin\\tool.exe", {"a/b/tool.exe"}, "a/b/", "bin/"},
        Source{"two top folders", "tool.exe", {"a/tool.exe", "b/readme.txt"}, nullptr},
        Source{"one level deeper than the command says",
               "tool.exe",
               {"Tool/readme.txt", "Tool/bin/tool.exe"},
               nullptr},
        Source{"hidden entries do not count", "tool.exe", {".DS_Store", "Tool/tool.exe"}, "Tool/"},
        Source{"a program of this system with options", "run.sh --fast", {"pkg/run.sh"}, "pkg/"},
        Source{"a link to a folder is not followed", "tool.exe", {"link->elsewhere"}, nullptr},
        Source{"empty", "tool.exe", {}, nullptr},
        Source{"the program's whole path in a folder of the application",
               "ziptool/bin/hello.sh",
               {"ziptool/bin/hello.sh", "ziptool/README"},
               "ziptool/bin/",
               "ziptool/bin/"},
        Source{"the application's top folder renamed in the new version",
               "ziptool/bin/hello.sh",
               {"ziptool-2.0/bin/hello.sh", "ziptool-2.0/README"},
               "ziptool-2.0/bin/",
               "ziptool/bin/"},
        Source{"the new version wrapped in a folder the application lacks",
               "bin/hello.sh",
               {"pkg/bin/hello.sh", "pkg/README"},
               "pkg/bin/",
               "bin/"},
        Source{"the new version without the application's top folder",
               "jtool/jt.sh",
               {"jt.sh", "README"},
               "",
               "jtool/"},
        Source{"the command in other letter case than the application's folder",
               "BIN\\TOOL.EXE -x",
               {"bin/tool.exe"},
               "bin/",
               "bin/"},
        Source{"a folder named like the program is no program",
               "ziptool/bin/hello.sh",
               {"ziptool/bin/hello.sh/inner", "ziptool/README"},
               nullptr},
        Source{"a command that climbs out is looked for by its name",
               "../other/run.sh",
               {"run.sh"},
               "",
               ""}));

class MoveFiles : public AppsFixture {
protected:
    MoveFiles() {
        writeFile(source + QStringLiteral("tool.exe"), "new tool");
        writeFile(source + QStringLiteral("readme.txt"), "new readme");
        writeFile(source + QStringLiteral("plugins/a.dll"), "plugin");
        writeFile(target + QStringLiteral("tool.exe"), "old tool");
        writeFile(target + QStringLiteral("settings.ini"), "mine");
    }
    QString source = scratch.path() + QStringLiteral("/work/Tool-2/");
    QString target = scratch.path() + QStringLiteral("/Exec/Tool/");
};

TEST_F(MoveFiles, topLevelFilesReplaceTheirNamesakesAndFoldersStayBehind) {
    ASSERT_TRUE(MoveTopLevelFiles(source, target));
    EXPECT_EQ(filesBelow(target),
              (QStringList{QStringLiteral("readme.txt"), QStringLiteral("settings.ini"),
                           QStringLiteral("tool.exe")}));
    EXPECT_EQ(readFile(target + QStringLiteral("tool.exe")), "new tool");
    EXPECT_EQ(readFile(target + QStringLiteral("settings.ini")), "mine");
    // Only the folder stays in the source; the replaced files went with it.
    EXPECT_EQ(QDir(source).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("plugins")});
}

TEST_F(MoveFiles, aFileThatCannotMoveUndoesTheWholeMove) {
    // "zz.txt", moved last, is a folder in the application: no file takes its place.
    writeFile(source + QStringLiteral("zz.txt"), "new");
    writeFile(target + QStringLiteral("zz.txt/keep"), "kept");
    const QStringList sourceBefore = filesBelow(source);
    const QStringList targetBefore = filesBelow(target);

    EXPECT_FALSE(MoveTopLevelFiles(source, target));
    EXPECT_EQ(filesBelow(source), sourceBefore);
    EXPECT_EQ(filesBelow(target), targetBefore);
    EXPECT_EQ(readFile(target + QStringLiteral("tool.exe")), "old tool");
    EXPECT_EQ(readFile(source + QStringLiteral("tool.exe")), "new tool");
    EXPECT_EQ(QDir(source).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("plugins")});
}

// A new version dropped as a folder while the application is expanded on a USB stick (exFAT:
// no links, no modes). The files that replace the application's take their links and modes
// with them, so the store after the version-up holds them as the new version had them,
// also where the program sits in a folder of the application (the store reads the list at
// the application's top only); the copy's own list of stand-ins stays behind.
TEST_F(AppsFixture, aNewVersionOnAStickIsStoredWithItsLinksAndModes) {
    ExfatImage stick(scratch.path().toStdString());
    if (!stick.mounted())
        GTEST_SKIP() << "no exFAT file system to be had here: " << stick.why();
    settings().ExecDir = QString::fromStdString(stick.mount()) + QStringLiteral("/Exec/");
    for (const std::string folder : {"", "bin/"}) {
        SCOPED_TRACE(folder);
        const std::string root = scratch.path().toStdString() + "/" + std::to_string(folder.size());
        writeFile(root + "/v1/" + folder + "run.sh", "old", 0755);
        writeFile(root + "/v1/" + folder + "notes.txt", "mine", 0600);
        makeSymlink("notes.txt", root + "/v1/" + folder + "start");
        writeFile(root + "/v2/" + folder + "run.sh", "new", 0750);
        writeFile(root + "/v2/" + folder + "changes.txt", "what is new", 0640);
        makeSymlink("changes.txt", root + "/v2/" + folder + "start");
        AppRecord record;
        record.AppName = QStringLiteral("Tool") + QString::number(folder.size());
        record.ExecCmd = QString::fromStdString(folder + "run.sh");
        PackApp app(record);
        ASSERT_TRUE(LhaCompressDir(record.AppName, QString::fromStdString(root + "/v1/")));
        ASSERT_EQ(CopyIntoExecutionFolder(QString::fromStdString(root + "/v1/"),
                                          app.expandedFolder()),
                  CopyOutcome::Complete);

        ASSERT_EQ(CopyIntoExecutionFolder(QString::fromStdString(root + "/v2/"), WorkFolder()),
                  CopyOutcome::Complete);
        const VersionUpMatch match = FindVersionUpSource(record.AppName, app);
        ASSERT_EQ(match.source, WorkFolder() + u'/' + QString::fromStdString(folder));
        ASSERT_TRUE(
            MoveTopLevelFiles(match.source, match.target, WorkFolder(), app.expandedFolder()));
        ASSERT_TRUE(app.Pack(QString(), true));
        std::vector<std::string> expected{"changes.txt f 0640", "notes.txt f 0600", "run.sh f 0750",
                                          "start l 0777 -> changes.txt"};
        for (std::string& member : expected)
            member = folder + member;
        if (!folder.empty())
            expected.insert(expected.begin(), folder.substr(0, folder.size() - 1) + " d 0755");
        EXPECT_EQ(memberTable(app.archivePath().toStdString()), expected);
        RemoveWorkFolder();
    }
}

// A name no archive can hold fails the copy already, before the application is touched: the
// message names the file and why, and nothing is left in the work folder.
TEST_F(AppsFixture, aNewVersionNoArchiveCouldHoldIsRefusedByTheCopy) {
    const QString v2 = scratch.path() + QStringLiteral("/v2");
    writeFile(v2 + QStringLiteral("/tool.exe"), "new");
    writeUnstorableFile(v2);
    prompter.expectPrefix(QStringLiteral("ファイルのコピーに失敗しました。\r\n\r\n") + v2 +
                          QStringLiteral("/refused"));
    EXPECT_EQ(CopyIntoExecutionFolder(v2, WorkFolder()), CopyOutcome::Failed);
    EXPECT_TRUE(prompter.messages().value(0).text.endsWith(
        QStringLiteral(".txt\r\nコピーできない名前のファイルがあります。")));
    EXPECT_FALSE(QFileInfo::exists(WorkFolder()));
    removeUnstorableFile(v2);
}

TEST_F(AppsFixture, versionUpRefusesItemsInsideTheLaunchersFolders) {
    const Settings& s = settings();
    writeFile(s.PackDir + QStringLiteral("Tool.lzh"), "archive");
    writeFile(scratch.path() + QStringLiteral("/Tool.lzh"), "archive");
    EXPECT_EQ(VersionUpRefusal(s.PackDir + QStringLiteral("Tool.lzh")),
              u'[' + s.PackDir + QStringLiteral("Tool.lzh] はバージョンアップに使えません。\r\n"
                                                 "Vadokの格納フォルダの中にあります。"));
    EXPECT_FALSE(VersionUpRefusal(s.ExecDir).isEmpty());
    EXPECT_FALSE(VersionUpRefusal(QDir(s.ExecDir + QStringLiteral("..")).absolutePath()).isEmpty());
    EXPECT_EQ(VersionUpRefusal(scratch.path() + QStringLiteral("/Tool.lzh")), QString());
}

} // namespace
} // namespace vadok::test
