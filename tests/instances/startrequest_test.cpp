#include "instances/commandline.h"
#include "instances/startrequest.h"

#include "support/tempprogramfolder.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

using namespace vadok;
using namespace Qt::StringLiterals;

namespace {

TEST(StartRequest, aCommandLineIsAnAbsolutePathAPossibleTitleOrNothingToAct) {
    test::TempProgramFolder folder;
    folder.writeFile(u"tool.zip"_s, "x");
    QDir().mkpath(folder.file(u"my app"_s));
    using Kind = StartRequest::Kind;
    const struct {
        QString commandLine;
        Kind kind;
        QString pathOrTitle;
        QStringList arguments;
    } cases[] = {
        {folder.file(u"tool.zip"_s), Kind::Register, folder.file(u"tool.zip"_s), {}},
        {u'"' + folder.file(u"my app"_s) + u'"', Kind::Register, folder.file(u"my app"_s), {}},
        {u"Tool"_s, Kind::Run, u"Tool"_s, {}},
        {JoinCommandLine({u"Tool"_s, u"two words"_s, QString(), u"\"q\""_s}), Kind::Run, u"Tool"_s,
         {u"two words"_s, QString(), u"\"q\""_s}},
        {folder.file(u"missing.zip"_s), Kind::Unreadable, QString(), {}},
        {u"../victim"_s, Kind::Unreadable, QString(), {}},
        {u"_work"_s, Kind::Unreadable, QString(), {}},
        {u".."_s, Kind::Unreadable, QString(), {}},
        {u"\"\" Tool"_s, Kind::Nothing, QString(), {}},
    };
    for (const auto& c : cases) {
        const StartRequest request = ReadStartRequest(c.commandLine);
        EXPECT_EQ(request.kind, c.kind) << c.commandLine.toStdString();
        EXPECT_EQ(c.kind == Kind::Register ? request.path : request.title, c.pathOrTitle)
            << c.commandLine.toStdString();
        EXPECT_EQ(request.arguments, c.arguments) << c.commandLine.toStdString();
    }
}

// The launch splits parameters as QProcess::splitCommand does.
TEST(QuotedParameters, everyArgumentReachesTheProgramAsGiven) {
    const QStringList arguments{u"hello"_s, u"two words"_s, u"say \"hi\""_s, u"\""_s,
                                u"a\"\"b"_s,  u"\"lead"_s,   u"trail\""_s,    u"タブ\tあり"_s};
    EXPECT_EQ(QProcess::splitCommand(QuotedParameters(arguments)), arguments);
    EXPECT_EQ(QuotedParameters({u"a"_s, u"b c"_s}), u"\"a\" \"b c\" "_s);
    EXPECT_EQ(QuotedParameters({}), QString());
}

} // namespace
