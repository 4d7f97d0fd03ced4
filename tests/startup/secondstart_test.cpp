// A real second start of the built program while a first one shows its window: the request
// reaches that window, and no second window opens on the same program folder. (Under a window
// manager: secondstart_xvfb_test.cpp.)
#include "instances/handover.h"
#include "instances/instancelock.h"

#include "realprogram.h"
#include "support/detachedprogram.h"
#include "support/tempprogramfolder.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>
#include <gtest/gtest.h>

using namespace vadok;

namespace {

// Until path exists, woken by its folder's change notices rather than by a clock; false when
// it did not come within a bound that only a failing test reaches.
bool waitForFile(const QString& path) {
    QFileSystemWatcher watcher({QFileInfo(path).absolutePath()});
    QEventLoop loop;
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
        if (QFileInfo::exists(path))
            loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    // Looked at once the watch is on, so that a file made just before is not missed.
    if (!QFileInfo::exists(path))
        loop.exec();
    return QFileInfo::exists(path);
}

class SecondStart : public ::testing::Test {
protected:
    SecondStart() : trace(folder.file(QStringLiteral("trace.txt"))) {
        test::registerTracingApp(QStringLiteral("argtool"), trace);
        EXPECT_TRUE(test::makeTraceFifo(trace));
        test::prepareProgram(first, folder.path(), QStringLiteral("offscreen"));
        first.start();
        // Until then the test's QProcess may not have started it at all.
        EXPECT_TRUE(first.waitForStarted()) << first.errorString().toStdString();
        // A start before the first holds the instance lock would be the instance itself; the
        // first listens once it holds it.
        EXPECT_TRUE(waitForFile(HandOverSocketPath(folder.path())));
    }
    ~SecondStart() override {
        first.kill();
        first.waitForFinished();
        // A trace nobody read (a failed test) holds its writer at the FIFO: a reader that
        // comes and goes lets it end.
        test::readTraceFifo(trace, 0);
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
        EXPECT_EQ(test::readTraceFifo(trace), QByteArray(c.trace)) << c.arguments.join(u' ').toStdString();
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
    EXPECT_EQ(test::readTraceFifo(trace), QByteArray("[x]\nend\n"));
    EXPECT_EQ(first.state(), QProcess::Running);
}

} // namespace
