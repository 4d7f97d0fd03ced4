#include "startup/startup.h"

#include "apps/packapp.h"
#include "catalog/settings.h"
#include "instances/handover.h"

#include "support/detachedprogram.h"
#include "support/scriptedprompter.h"
#include "support/tempprogramfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace vadok;

namespace {

class RecordingWindows : public StartupWindows {
public:
    void showMainWindow() override { calls.append(QStringLiteral("main")); }
    void openMainWindowInTray() override { calls.append(QStringLiteral("tray")); }
    void showDropDialog(const QString& path) override { calls.append(QStringLiteral("drop:") + path); }
    QStringList calls;
};

class Startup : public ::testing::Test {
protected:
    StartupResult start(const QString& commandLine, bool otherInstance = false) {
        StartupOptions options;
        options.sleep = [this](int ms) { slept.append(ms); };
        settings() = Settings();
        return RunStartup(commandLine, windows, [otherInstance] { return otherInstance; }, options);
    }
    QByteArray handOverFile() const { return folder.readFile(QStringLiteral("messagepass.txt")); }

    test::TempProgramFolder folder;
    test::ScriptedPrompter prompter;
    RecordingWindows windows;
    QList<int> slept;
};

TEST_F(Startup, aFirstStartPreparesTheDataFileAndShowsTheMainWindow) {
    EXPECT_EQ(start(QString()), StartupResult::RunEventLoop);
    EXPECT_EQ(windows.calls, QStringList{QStringLiteral("main")});
    EXPECT_TRUE(QFileInfo::exists(folder.file(QStringLiteral("vadok.xml"))));
    EXPECT_EQ(folder.readFile(QStringLiteral("vadok.xml.now")), folder.readFile(QStringLiteral("vadok.xml")));
    for (const char* sub : {"Pack", "Exec", "Icon"})
        EXPECT_TRUE(QFileInfo(folder.file(QString::fromLatin1(sub))).isDir()) << sub;
    EXPECT_TRUE(slept.isEmpty());
}

TEST_F(Startup, aSecondStartWithoutArgumentsAsksTheFirstToComeBack) {
    EXPECT_EQ(start(QString(), true), StartupResult::Exit);
    EXPECT_TRUE(windows.calls.isEmpty());
    EXPECT_EQ(handOverFile(), (kRestoreRequest + QStringLiteral("\r\n")).toUtf8());
}

TEST_F(Startup, theStartupSwitchShowsTheWindowEvenWhenAnotherInstanceRuns) {
    EXPECT_EQ(start(QStringLiteral("/DELAY=5 /START"), true), StartupResult::RunEventLoop);
    EXPECT_EQ(slept, QList<int>{5000});
    EXPECT_EQ(windows.calls, QStringList{QStringLiteral("main")});
    EXPECT_TRUE(StartedByStartup);
    EXPECT_TRUE(handOverFile().isEmpty());
}

TEST_F(Startup, delaysAreCappedAtOneHundredSeconds) {
    EXPECT_EQ(start(QStringLiteral("/delay=250")), StartupResult::RunEventLoop);
    EXPECT_EQ(slept, QList<int>{100000});
    EXPECT_FALSE(StartedByStartup);
}

TEST_F(Startup, unknownArgumentsAreRefusedWithTheCommandLine) {
    prompter.expect(QStringLiteral("渡されたパラメータを解釈できませんでした。\r\n/start"));
    EXPECT_EQ(start(QStringLiteral("/start")), StartupResult::Exit);
    prompter.expect(QStringLiteral("渡されたパラメータを解釈できませんでした。\r\n\"a\"\"b\""));
    EXPECT_EQ(start(QStringLiteral("\"a\"\"b\"")), StartupResult::Exit);
    // seven digits: the seventh stays and spoils "/START"
    prompter.expect(QStringLiteral("渡されたパラメータを解釈できませんでした。\r\n7/START"));
    EXPECT_EQ(start(QStringLiteral("/DELAY=0000057/START")), StartupResult::Exit);
    EXPECT_EQ(slept, QList<int>{5000});
    EXPECT_TRUE(windows.calls.isEmpty());
}

TEST_F(Startup, anExistingPathOpensTheDropDialogOverTheMainWindow) {
    QDir().mkpath(folder.file(QStringLiteral("new app")));
    EXPECT_EQ(start(u'"' + folder.file(QStringLiteral("new app")) + u'"'), StartupResult::RunEventLoop);
    EXPECT_EQ(windows.calls, (QStringList{QStringLiteral("main"),
                                          QStringLiteral("drop:") + folder.file(QStringLiteral("new app"))}));
}

TEST_F(Startup, aRequestForARunningInstanceIsHandedOverWhole) {
    EXPECT_EQ(start(QStringLiteral("エディタ a b"), true), StartupResult::Exit);
    EXPECT_EQ(handOverFile(), QStringLiteral("エディタ a b\r\n").toUtf8());
    EXPECT_TRUE(windows.calls.isEmpty());
}

TEST_F(Startup, anApplicationTitleRunsItWithTheQuotedArguments) {
    const QString trace = folder.file(QStringLiteral("trace.txt"));
    const QString script = folder.file(QStringLiteral("tools/run.sh"));
    folder.writeFile(QStringLiteral("tools/run.sh"),
                     "#!/bin/sh\n{ for a in \"$@\"; do echo \"[$a]\"; done; echo end; } > \"" +
                         trace.toUtf8() + "\"\n");
    QFile::setPermissions(script, QFile::permissions(script) | QFileDevice::ExeOwner);
    start(QString()); // a data file and working folders to register into
    AppRecord record;
    record.AppName = QStringLiteral("Runner");
    record.AppDir = QStringLiteral("メイン");
    record.ExecCmd = script;
    PackApp app(record);
    app.SetShortCut(folder.file(QStringLiteral("tools/")));
    ASSERT_TRUE(app.SaveConfig());
    windows.calls.clear();

    EXPECT_EQ(start(QStringLiteral("\"Runner\" \"a\" \"b c\"")), StartupResult::Exit);
    EXPECT_TRUE(windows.calls.isEmpty());
    EXPECT_EQ(test::waitForTrace(trace), QByteArray("[a]\n[b c]\nend\n"));
}

TEST_F(Startup, alwaysInTheTrayStartsInTheTrayWithoutShowingTheWindow) {
    folder.writeFile(QStringLiteral("vadok.xml"),
                     "<?xml version=\"1.0\" encoding=\"Shift_JIS\" ?>\r\n<Vadok dataversion=\"4\">"
                     "<Config IntoTaskTray=\"2\"/><Folders/><Apps/></Vadok>\r\n");
    EXPECT_EQ(start(QString()), StartupResult::RunEventLoop);
    EXPECT_EQ(windows.calls, QStringList{QStringLiteral("tray")});
}

} // namespace
