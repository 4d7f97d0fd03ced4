#include "instances/commandline.h"
#include "instances/instancelock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vadok;

namespace {

struct DelayCase {
    const char* commandLine;
    bool found;
    int seconds;
    const char* remaining;
};

class DelaySwitchTable : public ::testing::TestWithParam<DelayCase> {};

TEST_P(DelaySwitchTable, readsClampsAndRemovesTheSwitch) {
    const DelayCase& c = GetParam();
    const DelaySwitch d = TakeDelaySwitch(QString::fromUtf8(c.commandLine));
    EXPECT_EQ(d.found, c.found);
    EXPECT_EQ(d.seconds, c.seconds);
    EXPECT_EQ(d.remaining, QString::fromUtf8(c.remaining));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DelaySwitchTable,
    ::testing::Values(DelayCase{"/DELAY=5 /START", true, 5, "/START"},
                      DelayCase{"/START/Delay=5", true, 5, "/START"},
                      DelayCase{"/delay=250", true, 100, ""},
                      DelayCase{"/DELAY=", true, 0, ""},
                      DelayCase{"/DELAY=x /START", true, 0, "x /START"},
                      // six digits are read; the seventh stays behind
                      DelayCase{"/DELAY=0000057/START", true, 5, "7/START"},
                      // every copy of the exact switch text goes, other spellings stay
                      DelayCase{"/Delay=3 a /Delay=3 /DELAY=3", true, 3, "a  /DELAY=3"},
                      DelayCase{"  /START  ", false, 0, "  /START  "}));

TEST(AnchorRelativePaths, makesRelativeNamesOfExistingFilesAbsoluteForTheRunningInstance) {
    QTemporaryDir dir;
    const QString base = dir.path();
    QDir(base).mkpath(QStringLiteral("sub/apps"));
    QFile(base + QStringLiteral("/tool.zip")).open(QIODevice::WriteOnly);
    const QStringList given = {QStringLiteral("./tool.zip"), QStringLiteral("sub/apps"),
                               QStringLiteral("sub/../tool.zip"), QStringLiteral("Tool"),
                               QStringLiteral("/START"), base + QStringLiteral("/tool.zip"),
                               QString()};
    const QStringList expected = {base + QStringLiteral("/tool.zip"), base + QStringLiteral("/sub/apps"),
                                  base + QStringLiteral("/tool.zip"), QStringLiteral("Tool"),
                                  QStringLiteral("/START"), base + QStringLiteral("/tool.zip"),
                                  QString()};
    EXPECT_EQ(AnchorRelativePaths(given, base + QStringLiteral("/sub/..")), expected);
}

TEST(SplitCommandLine, quoteAwareWhenTheLineStartsWithAQuote) {
    EXPECT_EQ(SplitCommandLine(QStringLiteral("\"/my apps/x.lzh\"")),
              QStringList{QStringLiteral("/my apps/x.lzh")});
    EXPECT_EQ(SplitCommandLine(QStringLiteral("\"a\"\"b\"")), QStringList{QStringLiteral("a\"b")});
    EXPECT_EQ(SplitCommandLine(QStringLiteral("\"a\" \"b c\" \"d")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b c")}));
    // text outside quotes joins the next quoted argument
    EXPECT_EQ(SplitCommandLine(QStringLiteral("\"a\" x\"y\"")),
              (QStringList{QStringLiteral("a"), QStringLiteral("xy")}));
    EXPECT_EQ(SplitCommandLine(QStringLiteral("\"unclosed")), QStringList{QString()});
}

TEST(SplitCommandLine, splitsAtEverySpaceOtherwise) {
    EXPECT_EQ(SplitCommandLine(QStringLiteral("app a  b")),
              (QStringList{QStringLiteral("app"), QStringLiteral("a"), QString(), QStringLiteral("b")}));
    EXPECT_EQ(SplitCommandLine(QStringLiteral("/start")), QStringList{QStringLiteral("/start")});
}

TEST(JoinCommandLine, theParserGivesEveryArgumentBackWhole) {
    const QString say = QStringLiteral("say \"hi\"");
    const struct {
        QStringList arguments;
        const char* line;
        QStringList parsed; // once the delay switch is taken out
    } cases[] = {
        {{QStringLiteral("/path with/sp ace"), say, QStringLiteral("plain")},
         "\"/path with/sp ace\" \"say \"\"hi\"\"\" \"plain\"",
         {QStringLiteral("/path with/sp ace"), say, QStringLiteral("plain")}},
        // bare text after a quoted argument would be dropped: the title is quoted too
        {{QStringLiteral("argtool"), QStringLiteral("two words")}, "\"argtool\" \"two words\"",
         {QStringLiteral("argtool"), QStringLiteral("two words")}},
        {{QStringLiteral("argtool"), QStringLiteral("hello"), QStringLiteral("world")},
         "argtool hello world", {QStringLiteral("argtool"), QStringLiteral("hello"), QStringLiteral("world")}},
        {{QStringLiteral("Tool"), QString()}, "\"Tool\" \"\"", {QStringLiteral("Tool"), QString()}},
        // the delay switch stays as the start-up finds and removes it
        {{QStringLiteral("/Delay=5"), QStringLiteral("my app")}, "/Delay=5 \"my app\"",
         {QStringLiteral("my app")}},
        {{QStringLiteral("/START/Delay=5")}, "/START/Delay=5", {QStringLiteral("/START")}},
        {{}, "", {QString()}},
    };
    for (const auto& c : cases) {
        const QString line = JoinCommandLine(c.arguments);
        EXPECT_EQ(line, QString::fromUtf8(c.line));
        EXPECT_EQ(SplitCommandLine(TakeDelaySwitch(line).remaining), c.parsed) << c.line;
    }
}

TEST(InstanceLock, aSecondInstanceOfTheSameFolderSeesTheFirst) {
    QTemporaryDir folder, other;
    InstanceLock first(folder.path());
    ASSERT_TRUE(first.acquire());
    EXPECT_TRUE(first.acquire());
    InstanceLock second(folder.path());
    EXPECT_TRUE(second.anotherInstanceRuns());
    InstanceLock elsewhere(other.path());
    EXPECT_FALSE(elsewhere.anotherInstanceRuns());
}

TEST(InstanceLock, aLockLeftByACrashedInstanceIsTakenOver) {
    QTemporaryDir folder;
    const QString path = InstanceLock::lockPathFor(folder.path());
    {
        // What a killed process leaves: its (now dead) PID, host and name.
        QFile stale(path);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write("999999\n" + QCoreApplication::applicationName().toUtf8() + "\n" +
                    QSysInfo::machineHostName().toUtf8() + "\n");
    }
    InstanceLock lock(folder.path());
    EXPECT_TRUE(lock.acquire());
}

} // namespace
