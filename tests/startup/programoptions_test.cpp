// The options answered before any window exists, read from the arguments and seen from the
// built program run without a display.
#include "startup/programoptions.h"

#include "instances/handoverserver.h"
#include "instances/instancelock.h"

#include "realprogram.h"
#include "support/qtprinters.h"
#include "support/tempprogramfolder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vadok;

namespace {

TEST(ProgramOptions, onlyTheFirstArgumentIsAnOptionAndPathsAndSwitchesStayRequests) {
    QTemporaryDir dir;
    const QString oddFile = dir.filePath(QStringLiteral("--odd.lzh"));
    QFile(oddFile).open(QIODevice::WriteOnly);
    using Kind = ProgramOptions::Kind;
    const struct {
        QStringList arguments;
        Kind kind;
        QStringList request;
    } cases[] = {
        {{QStringLiteral("--verbose")}, Kind::Unknown, {QStringLiteral("--verbose")}},
        {{QStringLiteral("-x")}, Kind::Launch, {QStringLiteral("-x")}},
        {{QStringLiteral("Tool"), QStringLiteral("--help")}, Kind::Launch,
         {QStringLiteral("Tool"), QStringLiteral("--help")}},
        {{QStringLiteral("--"), QStringLiteral("--help")}, Kind::Launch, {QStringLiteral("--help")}},
        {{oddFile}, Kind::Launch, {oddFile}},
    };
    for (const auto& c : cases) {
        const ProgramOptions options = ReadProgramOptions(c.arguments);
        EXPECT_EQ(options.kind, c.kind) << c.arguments.join(u' ').toStdString();
        EXPECT_EQ(options.arguments, c.request) << c.arguments.join(u' ').toStdString();
    }
}

TEST(ProgramOptions, helpAndVersionAnswerWithoutADisplayAndAnUnknownOptionIsRefused) {
    test::TempProgramFolder folder;
    const struct {
        const char* argument;
        int exitCode;
        const char* outStart; // nullptr: nothing on standard output
        const char* errHolds; // nullptr: nothing on standard error
    } cases[] = {
        {"--help", 0, "使い方: vadok", nullptr},
        {"-h", 0, "使い方: vadok", nullptr},
        {"--version", 0, "Vadok 1.9\n", nullptr},
        {"--verbose", 2, nullptr, "不明なオプションです: --verbose"},
    };
    for (const auto& c : cases) {
        const test::ProgramRun run = test::runProgram(folder.path(), {QString::fromUtf8(c.argument)});
        EXPECT_EQ(run.exitCode, c.exitCode) << c.argument << run.err.toStdString();
        if (c.outStart)
            EXPECT_TRUE(run.out.startsWith(QString::fromUtf8(c.outStart))) << c.argument << run.out.toStdString();
        else
            EXPECT_EQ(run.out, QString()) << c.argument;
        if (c.errHolds)
            EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.errHolds))) << c.argument << run.err.toStdString();
        else
            EXPECT_EQ(run.err, QString()) << c.argument;
    }
    // Answered without a data file: an option is no start of the launcher.
    EXPECT_FALSE(QFileInfo::exists(folder.file(QStringLiteral("vadok.xml"))));
}

TEST(ProgramOptions, aSecondStartStillHandsItsRequestToTheRunningInstance) {
    const struct {
        QStringList arguments;
        const char* handedOver;
    } cases[] = {
        {{QStringLiteral("Tool"), QStringLiteral("--help")}, "Tool --help"},
        {{QStringLiteral("--"), QStringLiteral("--odd")}, "--odd"},
        {{QStringLiteral("--"), QStringLiteral("Tool"), QStringLiteral("two words")}, "\"Tool\" \"two words\""},
        {{}, "%%%タスクトレイから復元%%%"},
    };
    for (const auto& c : cases) {
        test::TempProgramFolder folder;
        for (const QString& title : {QStringLiteral("Tool"), QStringLiteral("--odd")})
            test::registerTracingApp(title, folder.file(QStringLiteral("trace.txt")));
        InstanceLock running(folder.path());
        ASSERT_TRUE(running.acquire());
        HandOverServer server(folder.path());
        ASSERT_TRUE(server.listen());
        const test::ProgramRun run = test::runProgram(folder.path(), c.arguments, QStringLiteral("offscreen"));
        EXPECT_EQ(run.exitCode, 0) << c.arguments.join(u' ').toStdString() << run.err.toStdString();
        // The request waited in the socket until this process took it.
        QDeadlineTimer deadline(60000);
        while (server.connectionsEnded() < 1 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(server.waitingRequests(), QStringList{QString::fromUtf8(c.handedOver)})
            << c.arguments.join(u' ').toStdString();
    }
}

} // namespace
