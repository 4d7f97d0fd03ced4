#include "support/files.h"
#include "util/desktopentry.h"
#include "util/lnkreader.h"
#include "util/shortcut.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace vadok;
using vadok::test::readFile;
using vadok::test::writeFile;

namespace {

TEST(DesktopShortcut, resolvesBackToTheTargetItWasCreatedFor) {
    QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/ツール.desktop");
    const QString target = QStringLiteral("/opt/my tools/100% \"sure\"/run$me");
    ShortcutSpec shortcut;
    shortcut.TargetPath = target;
    shortcut.WorkingDirectory = QStringLiteral("/opt/my tools");
    shortcut.Description = QString(300, u'説');
    ASSERT_TRUE(CreateShortcutFile(link, shortcut));

    EXPECT_EQ(ResolveShortcut(link), target);
    const DesktopEntry entry = DesktopEntry::parse(readFile(link));
    EXPECT_EQ(entry.value(QStringLiteral("Comment")), QString(256, u'説'));
    EXPECT_EQ(entry.value(QStringLiteral("Name")), QStringLiteral("ツール"));
    EXPECT_EQ(entry.value(QStringLiteral("Path")), QStringLiteral("/opt/my tools"));
    EXPECT_TRUE(QFile::permissions(link) & QFileDevice::ExeOwner);
}

TEST(DesktopShortcut, argumentsAreQuotedAndEscapedForTheDesktopEntry) {
    QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/a.desktop");
    ShortcutSpec shortcut;
    shortcut.TargetPath = QStringLiteral("/opt/vadok/vadok");
    // A title as the desktop-shortcut command passes it, and one with a doubled quote.
    shortcut.Arguments = QStringLiteral("\"100% $HOME `x` a\\b\" plain \"say \"\"hi\"\"\"");
    ASSERT_TRUE(CreateShortcutFile(link, shortcut));
    EXPECT_TRUE(readFile(link).contains(
        "\nExec=/opt/vadok/vadok \"100%% \\\\$HOME \\\\`x\\\\` a\\\\\\\\b\" plain "
        "\"say \\\\\"hi\\\\\"\"\n"));
    const DesktopEntry entry = DesktopEntry::parse(readFile(link));
    EXPECT_EQ(DesktopEntry::splitExec(entry.value(QStringLiteral("Exec"))),
              (QStringList{QStringLiteral("/opt/vadok/vadok"), QStringLiteral("100% $HOME `x` a\\b"),
                           QStringLiteral("plain"), QStringLiteral("say \"hi\"")}));
}

TEST(DesktopShortcut, updatingKeepsWhatTheSpecLeavesEmpty) {
    QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/v.desktop");
    writeFile(link, "# mine\n[Desktop Entry]\nName=Mine\nExec=/bin/old --flag\nX-Other=1\n"
                    "[Desktop Action x]\nExec=/bin/x\n");
    ShortcutSpec shortcut;
    shortcut.Description = QStringLiteral("new");
    ASSERT_TRUE(CreateShortcutFile(link, shortcut));
    const DesktopEntry entry = DesktopEntry::parse(readFile(link));
    EXPECT_EQ(entry.value(QStringLiteral("Name")), QStringLiteral("Mine"));
    EXPECT_EQ(entry.value(QStringLiteral("Exec")), QStringLiteral("/bin/old --flag"));
    EXPECT_EQ(entry.value(QStringLiteral("X-Other")), QStringLiteral("1"));
    EXPECT_EQ(entry.value(QStringLiteral("Comment")), QStringLiteral("new"));
    EXPECT_TRUE(readFile(link).contains("[Desktop Action x]\nExec=/bin/x\n"));
}

TEST(DesktopShortcut, relativeProgramIsJoinedToItsPath) {
    QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/r.DESKTOP");
    writeFile(link, "[Desktop Entry]\nType=Application\nExec=bin/run %f\nPath=/srv/app\n");
    EXPECT_EQ(ResolveShortcut(link), QStringLiteral("/srv/app/bin/run"));
}

TEST(ResolveShortcut, leavesOtherPathsAndUnreadableShortcutsUnchanged) {
    QTemporaryDir dir;
    const QString exe = dir.path() + QStringLiteral("/b.exe");
    EXPECT_EQ(ResolveShortcut(exe), exe);
    const QString missing = dir.path() + QStringLiteral("/gone.lnk");
    EXPECT_EQ(ResolveShortcut(missing), missing);
    const QString empty = dir.path() + QStringLiteral("/e.desktop");
    writeFile(empty, "[Desktop Entry]\nName=x\n");
    EXPECT_EQ(ResolveShortcut(empty), empty);
}

// A shell link with an empty ID list and a link info whose local base path is CP932 text.
QByteArray makeLnk(const QString& basePath, const QByteArray& suffix = QByteArray("\0", 1)) {
    QByteArray header(0x4C, '\0');
    qToLittleEndian<quint32>(0x4C, header.data());
    header.replace(4, 16, QByteArray::fromHex("0114020000000000c000000000000046"));
    qToLittleEndian<quint32>(0x3, header.data() + 0x14); // ID list + link info
    QByteArray idList(2, '\0');                             // empty list

    QStringEncoder cp932("CP932");
    const QByteArray base = QByteArray(cp932(basePath)) + '\0';
    QByteArray info(0x1C, '\0');
    const quint32 baseOffset = 0x1C;
    const quint32 suffixOffset = baseOffset + base.size();
    const quint32 size = suffixOffset + suffix.size();
    qToLittleEndian<quint32>(size, info.data());
    qToLittleEndian<quint32>(0x1C, info.data() + 4);
    qToLittleEndian<quint32>(1, info.data() + 8);
    qToLittleEndian<quint32>(baseOffset, info.data() + 16);
    qToLittleEndian<quint32>(suffixOffset, info.data() + 24);
    return header + idList + info + base + suffix;
}

TEST(LnkShortcut, yieldsTheLocalBasePathWithForwardSlashes) {
    QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/App.LNK");
    writeFile(link, makeLnk(QStringLiteral("C:\\ツール\\表示.exe")));
    EXPECT_EQ(ResolveShortcut(link), QStringLiteral("C:/ツール/表示.exe"));

    const LnkTarget withSuffix = ReadLnkTarget(makeLnk(QStringLiteral("D:\\apps\\"), QByteArray("x.exe\0", 6)));
    EXPECT_EQ(withSuffix.path, QStringLiteral("D:/apps/x.exe"));
}

TEST(LnkShortcut, everyTruncationIsRefusedWithAReason) {
    const QByteArray whole = makeLnk(QStringLiteral("C:\\a.exe"));
    for (int n = 0; n < whole.size() - 1; ++n) {
        const LnkTarget t = ReadLnkTarget(whole.left(n));
        EXPECT_FALSE(t.ok() && t.path == QStringLiteral("C:/a.exe")) << "length " << n;
        if (!t.ok()) {
            EXPECT_FALSE(t.error.isEmpty());
        }
    }
    QByteArray wrongClass = whole;
    wrongClass[5] = 'x';
    EXPECT_FALSE(ReadLnkTarget(wrongClass).ok());
}

TEST(LnkShortcut, offsetsPointingOutsideTheFileAreRefused) {
    QByteArray bytes = makeLnk(QStringLiteral("C:\\a.exe"));
    qToLittleEndian<quint32>(0x7fffffff, bytes.data() + 0x4C + 2 + 16); // base path offset
    const LnkTarget t = ReadLnkTarget(bytes);
    EXPECT_FALSE(t.ok());
}

} // namespace
