#include "apps/execsweep.h"

#include "support/qtprinters.h"

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

} // namespace
} // namespace vadok::test
