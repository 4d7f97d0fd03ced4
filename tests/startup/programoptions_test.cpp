// The options answered before any window exists, read from the arguments and seen from the
// built program run without a display.
#include "startup/programoptions.h"

#include "instances/instancelock.h"

#include "support/qtprinters.h"
#include "support/tempprogramfolder.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
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

struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// The built program, copied into folder so that its program folder is ours, run without a
// display unless platform names one.
ProgramRun runProgram(const QString& folder, const QStringList& arguments,
               const QString& platform = QString()) {
    const QString program = folder + QStringLiteral("vadok");
    if (!QFileInfo::exists(program))
        QFile::copy(QStringLiteral(VADOK_PROGRAM), program);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    if (!platform.isEmpty())
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ProgramRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
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
        const ProgramRun run = runProgram(folder.path(), {QString::fromUtf8(c.argument)});
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
        {{QStringLiteral("Tool"), QStringLiteral("--help")}, "Tool --help\r\n"},
        {{QStringLiteral("--"), QStringLiteral("--odd")}, "--odd\r\n"},
        {{}, "%%%タスクトレイから復元%%%\r\n"},
    };
    for (const auto& c : cases) {
        test::TempProgramFolder folder;
        InstanceLock running(folder.path());
        ASSERT_TRUE(running.acquire());
        const ProgramRun run = runProgram(folder.path(), c.arguments, QStringLiteral("offscreen"));
        EXPECT_EQ(run.exitCode, 0) << c.arguments.join(u' ').toStdString() << run.err.toStdString();
        EXPECT_EQ(folder.readFile(QStringLiteral("messagepass.txt")), QByteArray(c.handedOver))
            << c.arguments.join(u' ').toStdString();
    }
}

} // namespace
