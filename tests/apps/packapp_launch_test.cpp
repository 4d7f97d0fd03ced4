#include "appsfixture.h"

#include "catalog/apprecords.h"
#include "catalog/settings.h"
#include "support/detachedprogram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vadok::test {
namespace {

using Launch = AppsFixture;

const QByteArray kTraceScript =
    "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"[$a]\"; done; echo end; } > \"$TRACE_FILE\"\n";

TEST_F(Launch, aStoredApplicationIsExpandedRunInItsFolderAndStoredAgain) {
    const QString trace = scratch.path() + QStringLiteral("/trace.txt");
    qputenv("TRACE_FILE", trace.toUtf8());
    ASSERT_TRUE(makeTraceFifo(trace));
    PackApp app = registerApp(QStringLiteral("My Tool"), QStringLiteral("bin/run.sh --mode fast"),
                              {{QStringLiteral("bin/run.sh"), kTraceScript}, {QStringLiteral("data.txt"), "d"}});
    ASSERT_TRUE(app.isPack());

    QString command;
    app.Execute(command);
    EXPECT_EQ(command, QStringLiteral("bin/run.sh --mode fast")); // handed back to the caller
    EXPECT_EQ(readTraceFifo(trace),
              QDir(app.expandedFolder()).canonicalPath().toUtf8() + "\n[--mode]\n[fast]\nend\n");

    AppRecord stored;
    ASSERT_TRUE(FindAppByName(QStringLiteral("My Tool"), stored));
    EXPECT_EQ(stored.LastOpenDateTime, now);

    ASSERT_TRUE(app.Pack());
    EXPECT_FALSE(QFileInfo::exists(app.expandedFolder()));
    EXPECT_EQ(archiveFiles(app), (QStringList{QStringLiteral("bin/run.sh"), QStringLiteral("data.txt")}));
    qunsetenv("TRACE_FILE");
}

TEST_F(Launch, startupArgumentsGoToAnAlternativeCommandUnchanged) {
    const QString trace = scratch.path() + QStringLiteral("/args.txt");
    qputenv("TRACE_FILE", trace.toUtf8());
    ASSERT_TRUE(makeTraceFifo(trace));
    PackApp app = registerApp(QStringLiteral("Args"), QStringLiteral("run.sh"),
                              {{QStringLiteral("run.sh"), kTraceScript}});
    QString command = QStringLiteral("run.sh");
    app.Execute(command, QStringLiteral("\"a\" \"b c\" "));
    EXPECT_EQ(readTraceFifo(trace).split('\n').mid(1).join('\n'), QByteArray("[a]\n[b c]\nend\n"));
    qunsetenv("TRACE_FILE");
}

TEST_F(Launch, aFileNamedLikeTheWholeCommandRunsRatherThanItsFirstWord) {
    const QString trace = scratch.path() + QStringLiteral("/which.txt");
    qputenv("TRACE_FILE", trace.toUtf8());
    ASSERT_TRUE(makeTraceFifo(trace));
    PackApp app = registerApp(
        QStringLiteral("Which"), QStringLiteral("run x"),
        {{QStringLiteral("run"), "#!/bin/sh\n{ echo first word \"$@\"; echo end; } > \"$TRACE_FILE\"\n"},
         {QStringLiteral("run x"), "#!/bin/sh\n{ echo whole command; echo end; } > \"$TRACE_FILE\"\n"}});
    quintptr owner = 0;
    app.UnPack(owner);
    for (const QString& name : {QStringLiteral("run"), QStringLiteral("run x")}) {
        const QString path = app.expandedFolder() + name;
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    }
    QString command;
    app.Execute(command);
    EXPECT_EQ(readTraceFifo(trace), QByteArray("whole command\nend\n"));
    qunsetenv("TRACE_FILE");
}

struct ShellFailure {
    const char* execCmd;
    const char* parameters;
    const char* message;
};

class LaunchFailures : public AppsFixture, public ::testing::WithParamInterface<ShellFailure> {};

// Each code comes from a real situation on disk, not from a mocked shell.
TEST_P(LaunchFailures, showsTheMessageAndStillStampsTheLastUse) {
    const ShellFailure& c = GetParam();
    BarePath bare;
    PackApp app = registerApp(QStringLiteral("Tool"), QString::fromUtf8(c.execCmd),
                              {{QStringLiteral("Tool.exe"), "MZ"},
                               {QStringLiteral("noexec"), "#!/bin/sh\n"},
                               {QStringLiteral("notes.txt"), "text"},
                               {QStringLiteral("run.sh"), "#!/bin/sh\n"}});
    prompter.expect(QString::fromUtf8(c.message));
    QString command;
    app.Execute(command, QString::fromUtf8(c.parameters));
    EXPECT_EQ(prompter.messages().value(0).icon, MsgIcon::None);
    AppRecord stored;
    ASSERT_TRUE(FindAppByName(QStringLiteral("Tool"), stored));
    EXPECT_EQ(stored.LastOpenDateTime, now);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, LaunchFailures,
    ::testing::Values(
        ShellFailure{"missing.bin", "", "ファイルが見つかりません。"},
        ShellFailure{"nodir/missing.bin", "", "パスが見つかりません。"},
        // "TOOL.exe" in capitals finds Tool.exe; no wine on this PATH
        ShellFailure{"Tool.exe -f x.txt", "", "関連付けが指定されていません。"},
        ShellFailure{"notes.txt", "", "関連付けが指定されていません。"},
        ShellFailure{"Other.exe -f", "", "ファイルが見つかりません。"},
        // with parameters the whole command is the file name
        ShellFailure{"run.sh arg", "\"x\" ", "ファイルが見つかりません。"}));

struct Modeless {
    const char* what;
    const char* execCmd;
    const char* file; // as the archive names it
    int level;
};

class ModelessLaunch : public AppsFixture, public ::testing::WithParamInterface<Modeless> {};

// Archives made on Windows or by LHA programs that record no modes bring their programs
// without the execute bit: they run all the same, and keep the bit once stored again.
TEST_P(ModelessLaunch, aProgramWithoutTheExecuteBitRunsAndIsStoredRunnable) {
    const Modeless& c = GetParam();
    const QString trace = scratch.path() + QStringLiteral("/modeless.txt");
    qputenv("TRACE_FILE", trace.toUtf8());
    ASSERT_TRUE(makeTraceFifo(trace));
    PackApp app = registerArchive(QStringLiteral("Win"), QString::fromUtf8(c.execCmd),
                                  archiveWithoutModes({{QStringLiteral("run.sh"), kTraceScript},
                                                       {QStringLiteral("bin/Start"), kTraceScript},
                                                       {QStringLiteral("notes.txt"), "text"}},
                                                      c.level));
    QString command;
    app.Execute(command);
    EXPECT_FALSE(readTraceFifo(trace).isEmpty()) << "it did not run";
    const QString program = app.expandedFolder() + QString::fromUtf8(c.file);
    EXPECT_TRUE(QFileInfo(program).permissions() & QFileDevice::ExeOwner);
    EXPECT_FALSE(QFileInfo(app.expandedFolder() + QStringLiteral("notes.txt")).permissions() &
                 QFileDevice::ExeOwner);

    ASSERT_TRUE(app.Pack());
    quintptr owner = 0;
    ASSERT_TRUE(app.UnPack(owner));
    EXPECT_TRUE(QFileInfo(program).permissions() & QFileDevice::ExeOwner);
    qunsetenv("TRACE_FILE");
}

INSTANTIATE_TEST_SUITE_P(Commands, ModelessLaunch,
                         ::testing::Values(Modeless{"top", "run.sh", "run.sh", 0},
                                           // in other letter case, as Windows commands may be
                                           Modeless{"below_with_arguments", "bin/start --x", "bin/Start", 1}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(Launch, aProgramOfThisPlatformWithoutTheExecuteBitStarts) {
    const QByteArray program = readFile(QStringLiteral("/bin/true"));
    ASSERT_TRUE(program.startsWith("\x7f" "ELF"));
    PackApp app = registerArchive(QStringLiteral("Native"), QStringLiteral("true"),
                                  archiveWithoutModes({{QStringLiteral("true"), program}}, 1));
    QString command;
    app.Execute(command); // any message would be unexpected
    EXPECT_TRUE(QFileInfo(app.expandedFolder() + QStringLiteral("true")).permissions() &
                QFileDevice::ExeOwner);
}

TEST_F(Launch, aScriptElsewhereWithoutTheExecuteBitIsNamedAndLeftAlone) {
    // A shortcut entry's program is the user's own file, installed elsewhere.
    const QString elsewhere = scratch.path() + QStringLiteral("/installed/");
    writeFile(elsewhere + QStringLiteral("tool.sh"), "#!/bin/sh\n");
    const QFileDevice::Permissions before = QFile::permissions(elsewhere + QStringLiteral("tool.sh"));
    AppRecord record;
    record.AppName = QStringLiteral("Installed");
    record.AppDir = QStringLiteral("メイン");
    record.ExecCmd = QStringLiteral("tool.sh");
    PackApp app(record);
    app.SetShortCut(elsewhere);
    prompter.expect(QStringLiteral("アクセスは拒否されました。\r\n「") + elsewhere +
                    QStringLiteral("tool.sh」を実行する許可がありません。"));
    QString command;
    app.Execute(command);
    EXPECT_EQ(QFile::permissions(elsewhere + QStringLiteral("tool.sh")), before);
}

TEST_F(Launch, aShortcutWhoseTargetWasRemovedIsReportedAndStillStamped) {
    AppRecord record;
    record.AppName = QStringLiteral("Link");
    record.AppDir = QStringLiteral("メイン");
    record.ExecCmd = scratch.path() + QStringLiteral("/gone/tool.sh");
    PackApp app(record);
    QDir().mkpath(scratch.path() + QStringLiteral("/base"));
    app.SetShortCut(scratch.path() + QStringLiteral("/base/"));
    now = now.addDays(2);
    prompter.expect(QStringLiteral("パスが見つかりません。"));
    QString command;
    app.Execute(command);
    AppRecord stored;
    ASSERT_TRUE(FindAppByName(QStringLiteral("Link"), stored));
    EXPECT_EQ(stored.LastOpenDateTime, now);
    EXPECT_TRUE(stored.ShortCut);
}

} // namespace
} // namespace vadok::test
