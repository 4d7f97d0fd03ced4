// A real second start of the built program while a first one shows its window: the request
// reaches that window, and no second window opens on the same program folder. (Under a window
// manager: secondstart_xvfb_test.cpp.)
#include "instances/handover.h"
#include "instances/instancelock.h"

#include "realprogram.h"
#include "support/tempprogramfolder.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

using namespace vadok;

namespace {

// The trace once the started application has written all of it; empty when none came within
// a bound that only a failing test reaches.
QByteArray takeTrace(const QString& path) {
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            if (bytes.endsWith("end\n")) {
                file.remove();
                return bytes;
            }
        }
        QThread::msleep(20);
    }
    return {};
}

class SecondStart : public ::testing::Test {
protected:
    SecondStart() : trace(folder.file(QStringLiteral("trace.txt"))) {
        test::registerTracingApp(QStringLiteral("argtool"), trace);
        test::prepareProgram(first, folder.path(), QStringLiteral("offscreen"));
        first.start();
        // Until then the test's QProcess may not have started it at all.
        EXPECT_TRUE(first.waitForStarted()) << first.errorString().toStdString();
        // A start before the first holds the instance lock would be the instance itself; the
        // first listens once it holds it.
        QDeadlineTimer deadline(60000);
        while (!QFileInfo::exists(HandOverSocketPath(folder.path())) && !deadline.hasExpired())
            QThread::msleep(20);
    }
    ~SecondStart() override {
        first.kill();
        first.waitForFinished();
        // What the killed window leaves in the runtime folder.
        QFile::remove(InstanceLock::lockPathFor(folder.path()));
        QFile::remove(HandOverSocketPath(folder.path()));
    }

    test::TempProgramFolder folder;
    QString trace;
    QProcess first;
};

TEST_F(SecondStart, theRunningWindowRunsTheTitleWithEveryArgumentAsGiven) {
    const struct {
        QStringList arguments;
        const char* trace;
    } cases[] = {
        {{QStringLiteral("argtool"), QStringLiteral("hello"), QStringLiteral("world")}, "[hello]\n[world]\nend\n"},
        {{QStringLiteral("--"), QStringLiteral("argtool"), QStringLiteral("two words")}, "[two words]\nend\n"},
        {{QStringLiteral("argtool"), QStringLiteral("say \"hi\""), QStringLiteral("a,b")},
         "[say \"hi\"]\n[a,b]\nend\n"},
        {{QStringLiteral("argtool")}, "end\n"},
    };
    for (const auto& c : cases) {
        const test::ProgramRun run = test::runProgram(folder.path(), c.arguments, QStringLiteral("offscreen"));
        EXPECT_EQ(run.exitCode, 0) << c.arguments.join(u' ').toStdString() << run.err.toStdString();
        EXPECT_EQ(takeTrace(trace), QByteArray(c.trace)) << c.arguments.join(u' ').toStdString();
    }
    EXPECT_EQ(first.state(), QProcess::Running);
}

// A second window would be one to close, with its own exit storing what the first expanded.
TEST_F(SecondStart, theStartupSwitchEndsAtOnceAndLeavesTheFirstWindowRunning) {
    const test::ProgramRun run = test::runProgram(folder.path(), {QStringLiteral("/START")},
                                                  QStringLiteral("offscreen"));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // Still the instance: a later request reaches it.
    EXPECT_EQ(test::runProgram(folder.path(), {QStringLiteral("argtool"), QStringLiteral("x")},
                               QStringLiteral("offscreen"))
                  .exitCode,
              0);
    EXPECT_EQ(takeTrace(trace), QByteArray("[x]\nend\n"));
    EXPECT_EQ(first.state(), QProcess::Running);
}

} // namespace
