#include "support/files.h"
#include "platform/shellopen.h"

#include "support/detachedprogram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace vadok;
using vadok::test::readFile;
using vadok::test::writeFile;
using vadok::test::BarePath;
using vadok::test::makeTraceFifo;
using vadok::test::readTraceFifo;

namespace {

TEST(ShellOpen, startsAProgramDetachedInItsFolderWithShellSplitParameters) {
    QTemporaryDir dir;
    const QString app = dir.path() + QStringLiteral("/My App/");
    writeFile(app + QStringLiteral("run.sh"),
              "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"[$a]\"; done; echo end; } > trace.txt\n", true);
    ASSERT_TRUE(makeTraceFifo(app + QStringLiteral("trace.txt")));
    EXPECT_GT(ShellOpen(QStringLiteral("\"RUN.SH\""), QStringLiteral("one \"two three\""), app), 32);
    EXPECT_EQ(readTraceFifo(app + QStringLiteral("trace.txt")),
              QDir(app).canonicalPath().toUtf8() + "\n[one]\n[two three]\nend\n");
}

TEST(ShellOpen, failuresCarryTheDesktopCodes) {
    QTemporaryDir dir;
    const QString w = dir.path() + u'/';
    writeFile(w + QStringLiteral("noexec.sh"), "#!/bin/sh\necho hi\n", false);
    writeFile(w + QStringLiteral("garbage.bin"), QByteArray(64, '\x01'), true);
    writeFile(w + QStringLiteral("Tool.exe"), "MZ", false);
    writeFile(w + QStringLiteral("notes.txt"), "hello", false);
    BarePath bare;

    EXPECT_EQ(ShellOpen(QStringLiteral("missing"), QString(), w), ShellCode::FileNotFound);
    EXPECT_EQ(ShellOpen(QStringLiteral("nodir/x"), QString(), w), ShellCode::PathNotFound);
    EXPECT_EQ(ShellOpen(QStringLiteral("x"), QString(), w + QStringLiteral("gone/")), ShellCode::PathNotFound);
    EXPECT_EQ(ShellOpen(QStringLiteral("noexec.sh"), QString(), w), ShellCode::AccessDenied);
    EXPECT_EQ(ShellOpen(QStringLiteral("garbage.bin"), QString(), w), ShellCode::BadFormat);
    EXPECT_EQ(ShellOpen(QStringLiteral("TOOL.exe"), QString(), w), ShellCode::NoAssociation);
    EXPECT_EQ(ShellOpen(QStringLiteral("notes.txt"), QString(), w), ShellCode::NoAssociation);
}

TEST(ResolvePathIgnoringCase, findsTheOnDiskSpellingComponentByComponent) {
    QTemporaryDir dir;
    writeFile(dir.path() + QStringLiteral("/Apps/Tool/Tool.exe"), "MZ", false);
    EXPECT_EQ(ResolvePathIgnoringCase(dir.path() + QStringLiteral("/APPS/tool/TOOL.EXE")),
              dir.path() + QStringLiteral("/Apps/Tool/Tool.exe"));
    EXPECT_EQ(ResolvePathIgnoringCase(dir.path() + QStringLiteral("/Apps/Tool/Tool.exe")),
              dir.path() + QStringLiteral("/Apps/Tool/Tool.exe"));
    EXPECT_TRUE(ResolvePathIgnoringCase(dir.path() + QStringLiteral("/Apps/Other.exe")).isEmpty());
}

} // namespace
