#include "apps/execsweep.h"
#include "apps/madebyvadok.h"

#include "support/qtprinters.h"
#include "support/tempprogramfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace vadok::test {
namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
}

class ExecSweep : public ::testing::Test {
protected:
    QString path(const QString& relative) const { return dir.path() + u'/' + relative; }
    QTemporaryDir dir;
    TempProgramFolder programFolder; // whose marks live in a cache folder of its own
};

TEST_F(ExecSweep, refusesFoldersHoldingWhatTheUserCannotLose) {
    for (const char* sub : {"prog/Pack", "prog/Icon", "prog/Exec", "home/user", "elsewhere/Exec"})
        QDir().mkpath(path(QString::fromLatin1(sub)));
    const ProtectedFolders guarded{path("prog/"), path("home/user"), path("prog/Pack/"),
                                   path("prog/Icon/")};
    QFile::link(path("prog"), path("prog-link"));
    struct Case {
        QString exec;
        bool refused;
    };
    const Case cases[] = {
        {path("prog/Exec/"), false}, {path("elsewhere/Exec/"), false},
        {path("prog/"), true},      // the program folder itself
        {path("prog-link/"), true}, // the same, reached through a link
        {dir.path() + u'/', true},  // holds the program folder and the home folder
        {path("home/user/"), true},  {path("home/"), true},
        {path("prog/Pack/"), true},  {QStringLiteral("/"), true},
        {path("missing/"), false}, // nothing there to delete
    };
    for (const Case& c : cases)
        EXPECT_EQ(!sweepRefusalReason(c.exec, guarded).isEmpty(), c.refused)
            << c.exec.toStdString();
    EXPECT_EQ(sweepRefusalReason(QStringLiteral("/"), guarded),
              QStringLiteral("ファイルシステムのルートです"));
    EXPECT_EQ(sweepRefusalReason(path("prog/"), guarded),
              QStringLiteral("プログラムフォルダを含んでいます"));
}

TEST_F(ExecSweep, deletingNeverReachesThroughSymbolicLinks) {
    touch(path("outside/keep.txt"));
    touch(path("exec/junk/file.txt"));
    ASSERT_TRUE(QFile::link(path("outside"), path("exec/link-to-dir")));
    ASSERT_TRUE(QFile::link(path("outside/keep.txt"), path("exec/link-to-file")));
    ASSERT_TRUE(QFile::link(path("outside"), path("exec/junk/inner-link")));
    ASSERT_TRUE(QFile::link(path("nowhere"), path("exec/dangling")));

    const QStringList names = execFolderEntries(path("exec"));
    EXPECT_EQ(names, (QStringList{"dangling", "junk", "link-to-dir", "link-to-file"}));
    for (const QString& name : names)
        EXPECT_TRUE(deleteExecEntry(path("exec"), name)) << name.toStdString();

    EXPECT_TRUE(
        QDir(path("exec"))
            .isEmpty(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_TRUE(QFileInfo::exists(path("outside/keep.txt")));
    EXPECT_FALSE(deleteExecEntry(path("exec"), QStringLiteral("..")));
    EXPECT_FALSE(deleteExecEntry(path("exec"), QStringLiteral("../outside")));
    EXPECT_TRUE(QFileInfo::exists(path("outside/keep.txt")));
}

// Only the very folder vadok marked counts as made by it: not one put at its name later,
// not one reached through a link, and a rename takes the mark along.
TEST_F(ExecSweep, theMarkNamesOnlyTheFolderVadokMade) {
    const QString exec = path("exec/");
    for (const char* sub : {"exec/Made", "exec/Replaced", "exec/Renamed", "exec/Gone", "exec/Mine", "outside"})
        QDir().mkpath(path(QString::fromLatin1(sub)));
    for (const char* made : {"Made", "Replaced", "Renamed", "Gone"})
        EXPECT_TRUE(MarkMadeByVadok(exec + QString::fromLatin1(made)));
    // Another folder now stands at the name: the user's, or another machine's. (Made while
    // the first still stood, so that it cannot have been given its inode.)
    touch(path("theirs/theirs.txt"));
    ASSERT_TRUE(QDir(exec + QStringLiteral("Replaced")).removeRecursively());
    ASSERT_TRUE(QDir().rename(path("theirs"), exec + QStringLiteral("Replaced")));
    ASSERT_TRUE(QDir().rename(exec + QStringLiteral("Renamed"), exec + QStringLiteral("New name")));
    CarryMadeByVadok(exec + QStringLiteral("Renamed"), exec + QStringLiteral("New name"));
    ASSERT_TRUE(QDir(exec + QStringLiteral("Gone")).removeRecursively());
    ForgetMadeByVadok(exec + QStringLiteral("Gone"));
    ASSERT_TRUE(QDir().mkpath(exec + QStringLiteral("Gone")));
    ASSERT_TRUE(QFile::link(exec + QStringLiteral("Made"), exec + QStringLiteral("Link")));
    ASSERT_TRUE(QFile::link(exec, path("exec-link")));
    touch(exec + QStringLiteral("file.txt"));
    EXPECT_FALSE(MarkMadeByVadok(exec + QStringLiteral("Link")));
    EXPECT_FALSE(MarkMadeByVadok(exec + QStringLiteral("file.txt")));

    const std::pair<QString, bool> cases[] = {
        {exec + QStringLiteral("Made"), true},
        {exec + QStringLiteral("Made/"), true},
        {path("exec-link/Made"), true}, // the execution folder named through a link
        {exec + QStringLiteral("Replaced"), false},
        {exec + QStringLiteral("Renamed"), false},
        {exec + QStringLiteral("New name"), true},
        {exec + QStringLiteral("Gone"), false},
        {exec + QStringLiteral("Mine"), false},
        {exec + QStringLiteral("Link"), false},
        {exec + QStringLiteral("file.txt"), false},
        {path("outside"), false},
    };
    for (const auto& [folder, made] : cases)
        EXPECT_EQ(IsMadeByVadok(folder), made) << folder.toStdString();
}

} // namespace
} // namespace vadok::test
