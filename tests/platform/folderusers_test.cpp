#include "platform/folderusers.h"
#include "support/files.h"
#include "support/qtprinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace vadok::test {
namespace {

// A process as the process table shows it: where its links point and how it was started.
struct FakeProcess {
    qint64 pid;
    QString cwd, exe;
    QStringList fds;   // open files
    QStringList maps;  // mapped files
    QStringList argv;
    QString comm;
};

// Writes the processes as /proc lays them out, below root.
void writeTable(const QString& root, const QList<FakeProcess>& processes) {
    for (const FakeProcess& p : processes) {
        const QString dir = root + u'/' + QString::number(p.pid);
        ASSERT_TRUE(QDir().mkpath(dir + QStringLiteral("/fd")));
        if (!p.cwd.isEmpty()) {
            ASSERT_TRUE(QFile::link(p.cwd, dir + QStringLiteral("/cwd")));
        }
        if (!p.exe.isEmpty()) {
            ASSERT_TRUE(QFile::link(p.exe, dir + QStringLiteral("/exe")));
        }
        for (qsizetype i = 0; i < p.fds.size(); ++i)
            ASSERT_TRUE(QFile::link(p.fds[i], dir + QStringLiteral("/fd/") + QString::number(i + 3)));
        QByteArray maps;
        for (const QString& mapped : p.maps)
            maps += "7f0000000000-7f0000001000 r--p 00000000 08:01 1234    " + mapped.toUtf8() + '\n';
        maps += "7ffd00000000-7ffd00021000 rw-p 00000000 00:00 0       [stack]\n";
        writeFile(dir + QStringLiteral("/maps"), maps);
        writeFile(dir + QStringLiteral("/cmdline"), p.argv.join(QChar(0)).toUtf8() + '\0');
        writeFile(dir + QStringLiteral("/comm"), p.comm.toUtf8() + '\n');
    }
}

// Each row is one process of the table and whether (and as what) it counts as using the
// application's folder.
TEST(FolderUsers, theProcessTableTellsWhoWorksInAFolder) {
    QTemporaryDir dir;
    const QString app = dir.filePath(QStringLiteral("Exec/mines"));
    const QString twin = dir.filePath(QStringLiteral("Exec/mines2")); // shares the name's start
    const QString elsewhere = dir.filePath(QStringLiteral("home"));
    for (const QString& folder : {app + QStringLiteral("/save"), twin, elsewhere})
        ASSERT_TRUE(QDir().mkpath(folder));
    writeFile(app + QStringLiteral("/mines.exe"), "MZ");
    writeFile(app + QStringLiteral("/save/slot1.dat"), "x");
    writeFile(app + QStringLiteral("/run.sh"), "#!/bin/sh\n");
    writeFile(twin + QStringLiteral("/other"), "x");
    struct Row {
        const char* what;
        FakeProcess process;
        QString program; // empty: not listed
    };
    const QList<Row> rows = {
        {"working folder inside", {101, app, QStringLiteral("/usr/bin/python3"), {}, {},
                                   {QStringLiteral("python3"), QStringLiteral("/opt/tool.py")}, QStringLiteral("python3")},
         QStringLiteral("python3")},
        {"program file inside", {102, elsewhere, app + QStringLiteral("/mines.exe"), {}, {},
                                 {QStringLiteral("./mines.exe")}, QStringLiteral("mines.exe")},
         QStringLiteral("mines.exe")},
        {"an open file inside", {103, elsewhere, QStringLiteral("/usr/bin/sleep"),
                                 {QStringLiteral("/dev/null"), app + QStringLiteral("/save/slot1.dat")}, {},
                                 {QStringLiteral("sleep"), QStringLiteral("100")}, QStringLiteral("sleep")},
         QStringLiteral("sleep")},
        {"wine maps the Windows program", {104, elsewhere, QStringLiteral("/usr/lib/wine/wine64-preloader"), {},
                                           {app + QStringLiteral("/mines.exe")},
                                           {QStringLiteral("Z:\\Exec\\mines\\mines.exe")}, QStringLiteral("mines.exe")},
         QStringLiteral("mines.exe")},
        {"a script named relative to its working folder", {105, app, QStringLiteral("/usr/bin/dash"), {}, {},
                                                           {QStringLiteral("sh"), QStringLiteral("run.sh")}, QStringLiteral("sh")},
         QStringLiteral("run.sh")},
        {"a folder whose name only begins alike", {106, twin, QStringLiteral("/usr/bin/cat"),
                                                   {twin + QStringLiteral("/other")}, {}, {QStringLiteral("cat")}, QStringLiteral("cat")},
         QString()},
        {"nothing inside", {107, elsewhere, QStringLiteral("/usr/bin/bash"), {QStringLiteral("/dev/null")}, {},
                            {QStringLiteral("bash")}, QStringLiteral("bash")},
         QString()},
        {"vadok itself", {qint64(::getpid()), app, QStringLiteral("/usr/bin/vadok"), {}, {},
                          {QStringLiteral("vadok")}, QStringLiteral("vadok")},
         QString()},
    };
    const QString root = dir.filePath(QStringLiteral("proc"));
    setProcessTableRoot(root);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QDir(root).removeRecursively();
        writeTable(root, {row.process});
        const QList<FolderUser> users = ProcessesUsingFolder(app + u'/');
        if (row.program.isEmpty()) {
            EXPECT_TRUE(users.isEmpty()) << FolderUserLines(users).toStdString();
        } else {
            ASSERT_EQ(users.size(), 1);
            EXPECT_EQ(users[0], (FolderUser{row.process.pid, row.program}));
        }
    }
    // All at once, in the order of their ids.
    QDir(root).removeRecursively();
    QList<FakeProcess> all;
    for (const Row& row : rows)
        all.prepend(row.process);
    writeTable(root, all);
    EXPECT_EQ(FolderUserLines(ProcessesUsingFolder(app)),
              QStringLiteral("python3 (PID 101)\r\nmines.exe (PID 102)\r\nsleep (PID 103)\r\n"
                             "mines.exe (PID 104)\r\nrun.sh (PID 105)"));
    EXPECT_TRUE(ProcessesUsingFolder(dir.filePath(QStringLiteral("missing"))).isEmpty());
    setProcessTableRoot(QString());
}

} // namespace
} // namespace vadok::test
