// Real second starts of the built program beside a first one, on a virtual X server that
// openbox manages; xdotool stands in for the user. Run by tests/support/under_openbox.sh.
#include "instances/handover.h"
#include "instances/instancelock.h"

#include "realprogram.h"
#include "support/tempprogramfolder.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

using namespace vadok;

namespace {

QString xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(60000))
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QStringList visibleWindowsOf(qint64 pid) {
    const QString ids = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                 QStringLiteral("--pid"), QString::number(pid)});
    return ids.isEmpty() ? QStringList() : ids.split(u'\n');
}

// pid's mapped windows once there is at least one: xdotool's --sync waits for them itself;
// empty when none came within a bound that only a failing test reaches. A minimised window
// is unmapped.
QStringList shownWindowsOf(qint64 pid) {
    const QString ids = xdotool({QStringLiteral("search"), QStringLiteral("--sync"),
                                 QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                 QString::number(pid)});
    return ids.isEmpty() ? QStringList() : ids.split(u'\n');
}

class SecondStartOnX : public ::testing::Test {
protected:
    SecondStartOnX() {
        test::registerTracingApp(QStringLiteral("argtool"), folder.file(QStringLiteral("trace.txt")));
        test::prepareProgram(first, folder.path(), QStringLiteral("xcb"));
        first.start();
        EXPECT_TRUE(first.waitForStarted()) << first.errorString().toStdString();
        const QStringList windows = shownWindowsOf(first.processId());
        EXPECT_EQ(windows.size(), 1) << "the first start shows no window";
        window = windows.value(0);
    }
    ~SecondStartOnX() override {
        first.kill();
        first.waitForFinished();
        QFile::remove(InstanceLock::lockPathFor(folder.path()));
        QFile::remove(HandOverSocketPath(folder.path()));
    }
    // Starts the program with arguments; its exit code once it ended by itself.
    int secondStart(const QStringList& arguments, const std::function<void(qint64)>& meanwhile = {}) {
        QProcess second;
        test::prepareProgram(second, folder.path(), QStringLiteral("xcb"));
        second.setArguments(arguments);
        second.start();
        EXPECT_TRUE(second.waitForStarted());
        if (meanwhile)
            meanwhile(second.processId());
        if (!second.waitForFinished(60000)) {
            second.kill();
            second.waitForFinished();
            return -1;
        }
        return second.exitCode();
    }

    test::TempProgramFolder folder;
    QProcess first;
    QString window;
};

TEST_F(SecondStartOnX, anUnknownTitleIsSaidInAMessageAndTheStartFails) {
    int boxes = 0;
    const int code = secondStart({QStringLiteral("nosuchapp")}, [&](qint64 pid) {
        const QStringList shown = shownWindowsOf(pid);
        boxes = int(shown.size());
        if (!shown.isEmpty())
            xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), shown.first(),
                     QStringLiteral("key"), QStringLiteral("Return")});
    });
    EXPECT_EQ(boxes, 1) << "no message";
    EXPECT_EQ(code, 1);
    EXPECT_EQ(first.state(), QProcess::Running);
}

// Two windows on one program folder would each store and sweep at exit what the other expanded.
TEST_F(SecondStartOnX, theStartupSwitchAndAPlainStartBringTheFirstWindowBack) {
    for (const QStringList& arguments : {QStringList{QStringLiteral("/START")}, QStringList{}}) {
        xdotool({QStringLiteral("windowminimize"), QStringLiteral("--sync"), window});
        ASSERT_TRUE(visibleWindowsOf(first.processId()).isEmpty());
        EXPECT_EQ(secondStart(arguments), 0) << arguments.join(u' ').toStdString();
        EXPECT_EQ(shownWindowsOf(first.processId()), QStringList{window}) << arguments.join(u' ').toStdString();
    }
}

} // namespace
