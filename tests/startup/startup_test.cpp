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

// The instance of the program folder as a start sees it: another may run, and take the
// request, end before it could, or be out of reach.
class FakeInstances : public InstanceControl {
public:
    bool becomeFirst() override { return !otherRuns; }
    HandOver handOver(const QString& request) override {
        handedOver.append(request);
        if (answer == HandOver::BecameFirst)
            otherRuns = false;
        return answer;
    }
    bool otherRuns = false;
    HandOver answer = HandOver::Delivered;
    QStringList handedOver;
};

class Startup : public ::testing::Test {
protected:
    StartupResult start(const QString& commandLine, bool otherInstance = false) {
        StartupOptions options;
        options.sleep = [this](int ms) { slept.append(ms); };
        settings() = Settings();
        instances.otherRuns = otherInstance;
        return RunStartup(commandLine, windows, instances, options);
    }
    // "Runner": a command that writes each of its arguments into trace.txt, then "end".
    QString registerRunner() {
        const QString trace = folder.file(QStringLiteral("trace.txt"));
        const QString script = folder.file(QStringLiteral("tools/run.sh"));
        folder.writeFile(QStringLiteral("tools/run.sh"),
                         "#!/bin/sh\n{ for a in \"$@\"; do echo \"[$a]\"; done; echo end; } > \"" +
                             trace.toUtf8() + "\"\n");
        QFile::setPermissions(script, QFile::permissions(script) | QFileDevice::ExeOwner);
        EXPECT_TRUE(test::makeTraceFifo(trace));
        start(QString()); // a data file and working folders to register into
        AppRecord record;
        record.AppName = QStringLiteral("Runner");
        record.AppDir = QStringLiteral("メイン");
        record.ExecCmd = script;
        PackApp app(record);
        app.SetShortCut(folder.file(QStringLiteral("tools/")));
        EXPECT_TRUE(app.SaveConfig());
        windows.calls.clear();
        return trace;
    }

    test::TempProgramFolder folder;
    test::ScriptedPrompter prompter;
    RecordingWindows windows;
    FakeInstances instances;
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
    EXPECT_EQ(instances.handedOver, QStringList{kRestoreRequest});
}

// A second window on the same program folder would store and sweep at its exit what the first
// had just expanded.
TEST_F(Startup, theStartupSwitchBringsTheRunningWindowForwardInsteadOfOpeningASecond) {
    EXPECT_EQ(start(QStringLiteral("/DELAY=5 /START"), true), StartupResult::Exit);
    EXPECT_EQ(slept, QList<int>{5000});
    EXPECT_TRUE(windows.calls.isEmpty());
    EXPECT_TRUE(StartedByStartup);
    EXPECT_EQ(instances.handedOver, QStringList{kRestoreRequest});
}

TEST_F(Startup, aStartWhoseInstanceEndedFirstOpensTheWindowItself) {
    instances.answer = InstanceControl::HandOver::BecameFirst;
    EXPECT_EQ(start(QStringLiteral("/START"), true), StartupResult::RunEventLoop);
    EXPECT_EQ(windows.calls, QStringList{QStringLiteral("main")});
}

TEST_F(Startup, delaysAreCappedAtOneHundredSeconds) {
    EXPECT_EQ(start(QStringLiteral("/delay=250")), StartupResult::RunEventLoop);
    EXPECT_EQ(slept, QList<int>{100000});
    EXPECT_FALSE(StartedByStartup);
}

TEST_F(Startup, unknownArgumentsAreRefusedWithTheCommandLineAndAFailure) {
    prompter.expect(QStringLiteral("渡されたパラメータを解釈できませんでした。\r\n/start"));
    EXPECT_EQ(start(QStringLiteral("/start")), StartupResult::Failed);
    prompter.expect(QStringLiteral("渡されたパラメータを解釈できませんでした。\r\n\"a\"\"b\""));
    EXPECT_EQ(start(QStringLiteral("\"a\"\"b\"")), StartupResult::Failed);
    // seven digits: the seventh stays and spoils "/START"
    prompter.expect(QStringLiteral("渡されたパラメータを解釈できませんでした。\r\n7/START"));
    EXPECT_EQ(start(QStringLiteral("/DELAY=0000057/START")), StartupResult::Failed);
    EXPECT_EQ(slept, QList<int>{5000});
    prompter.expect(QStringLiteral("「nosuchapp」は登録されていません。"));
    EXPECT_EQ(start(QStringLiteral("nosuchapp")), StartupResult::Failed);
    EXPECT_TRUE(windows.calls.isEmpty());
}

TEST_F(Startup, anExistingPathOpensTheDropDialogOverTheMainWindow) {
    QDir().mkpath(folder.file(QStringLiteral("new app")));
    EXPECT_EQ(start(u'"' + folder.file(QStringLiteral("new app")) + u'"'), StartupResult::RunEventLoop);
    EXPECT_EQ(windows.calls, (QStringList{QStringLiteral("main"),
                                          QStringLiteral("drop:") + folder.file(QStringLiteral("new app"))}));
}

TEST_F(Startup, aRequestForARunningInstanceIsHandedOverWholeOnlyWhenItCanBeActedOn) {
    const QString trace = registerRunner();
    QDir().mkpath(folder.file(QStringLiteral("new app")));
    using HandOver = InstanceControl::HandOver;
    const QString say = QStringLiteral("\"Runner\" \"a\" \"say \"\"hi\"\"\"");
    const struct {
        QString commandLine;
        HandOver answer;
        StartupResult result;
        QString message;   // empty: none
        bool handedOver;
    } cases[] = {
        {QStringLiteral("Runner a b"), HandOver::Delivered, StartupResult::Exit, {}, true},
        {say, HandOver::Delivered, StartupResult::Exit, {}, true},
        {u'"' + folder.file(QStringLiteral("new app")) + u'"', HandOver::Delivered, StartupResult::Exit, {}, true},
        {QStringLiteral("nosuchapp x"), HandOver::Delivered, StartupResult::Failed,
         QStringLiteral("「nosuchapp」は登録されていません。"), false},
        {QStringLiteral("../Runner"), HandOver::Delivered, StartupResult::Failed,
         QStringLiteral("渡されたパラメータを解釈できませんでした。\r\n../Runner"), false},
        {QStringLiteral("Runner"), HandOver::Failed, StartupResult::Failed, {}, true},
    };
    for (const auto& c : cases) {
        instances.answer = c.answer;
        instances.handedOver.clear();
        if (!c.message.isEmpty())
            prompter.expect(c.message);
        EXPECT_EQ(start(c.commandLine, true), c.result) << c.commandLine.toStdString();
        EXPECT_EQ(instances.handedOver, c.handedOver ? QStringList{c.commandLine} : QStringList())
            << c.commandLine.toStdString();
        EXPECT_TRUE(windows.calls.isEmpty()) << c.commandLine.toStdString();
    }
    // The instance ended before it took the request: this start runs it itself.
    instances.answer = HandOver::BecameFirst;
    EXPECT_EQ(start(say, true), StartupResult::Exit);
    EXPECT_EQ(test::readTraceFifo(trace), QByteArray("[a]\n[say \"hi\"]\nend\n"));
}

TEST_F(Startup, anApplicationTitleRunsItWithTheQuotedArguments) {
    const QString trace = registerRunner();
    EXPECT_EQ(start(QStringLiteral("\"Runner\" \"a\" \"b c\"")), StartupResult::Exit);
    EXPECT_TRUE(windows.calls.isEmpty());
    EXPECT_EQ(test::readTraceFifo(trace), QByteArray("[a]\n[b c]\nend\n"));
}

TEST_F(Startup, alwaysInTheTrayStartsInTheTrayWithoutShowingTheWindow) {
    folder.writeFile(QStringLiteral("vadok.xml"),
                     "<?xml version=\"1.0\" encoding=\"Shift_JIS\" ?>\r\n<Vadok dataversion=\"4\">"
                     "<Config IntoTaskTray=\"2\"/><Folders/><Apps/></Vadok>\r\n");
    EXPECT_EQ(start(QString()), StartupResult::RunEventLoop);
    EXPECT_EQ(windows.calls, QStringList{QStringLiteral("tray")});
}

} // namespace
