#include "support/files.h"
#include "util/foldermove.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace vadok;
using vadok::test::readFile;
using vadok::test::writeFile;

namespace {

class FolderMove : public ::testing::Test {
protected:
    QString from() const { return m_dir.path() + QStringLiteral("/old/"); }
    QString to() const { return m_dir.path() + QStringLiteral("/new/"); }
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(to())); }
    // Every file below folder as "relative path=contents", sorted.
    static QStringList contents(const QString& folder) {
        QStringList found;
        QDir base(folder);
        std::function<void(const QString&)> walk = [&](const QString& path) {
            for (const QFileInfo& info : QDir(path).entryInfoList(
                     QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
                struct stat status {};
                ::lstat(QFile::encodeName(info.filePath()).constData(), &status);
                if (info.isSymLink())
                    found << base.relativeFilePath(info.filePath()) + QStringLiteral("->") +
                                 info.symLinkTarget();
                else if (S_ISFIFO(status.st_mode))
                    found << base.relativeFilePath(info.filePath()) + QStringLiteral("|fifo");
                else if (info.isDir())
                    walk(info.filePath());
                else
                    found << base.relativeFilePath(info.filePath()) + u'=' +
                                 QString::fromUtf8(readFile(info.filePath()));
            }
        };
        walk(folder);
        found.sort();
        return found;
    }

    QTemporaryDir m_dir;
};

TEST_F(FolderMove, copiesEverythingAndRenamesWhatMeetsANameAlreadyThere) {
    writeFile(from() + QStringLiteral("Tool.lzh"), "ours");
    writeFile(from() + QStringLiteral("Game.lzh"), "game");
    writeFile(from() + QStringLiteral("Editor/bin/ed"), "binary");
    writeFile(from() + QStringLiteral("noext"), "plain");
    ASSERT_TRUE(QFile::link(QStringLiteral("bin/ed"), from() + QStringLiteral("Editor/ed-link")));
    writeFile(to() + QStringLiteral("Tool.lzh"), "theirs");
    writeFile(to() + QStringLiteral("Tool (2).lzh"), "theirs too");
    writeFile(to() + QStringLiteral("Editor/readme"), "theirs");
    writeFile(to() + QStringLiteral("noext"), "theirs");
    const QStringList before = contents(from());
    QStringList progress;

    const FolderMoveResult result = CopyFolderContentsVerified(
        from(), to(), [&](int done, int total, const QString& name) {
            progress << QStringLiteral("%1/%2 %3").arg(done).arg(total).arg(name);
        });

    ASSERT_TRUE(result.ok) << result.reason.toStdString();
    EXPECT_EQ(contents(to()), (QStringList{"Editor (2)/bin/ed=binary",
                                           "Editor (2)/ed-link->" + to() + "Editor (2)/bin/ed",
                                           "Editor/readme=theirs", "Game.lzh=game",
                                           "Tool (2).lzh=theirs too", "Tool (3).lzh=ours",
                                           "Tool.lzh=theirs", "noext (2)=plain", "noext=theirs"}));
    EXPECT_EQ(result.renamed, (QList<std::pair<QString, QString>>{{"Editor", "Editor (2)"},
                                                                  {"Tool.lzh", "Tool (3).lzh"},
                                                                  {"noext", "noext (2)"}}));
    EXPECT_EQ(progress, (QStringList{"0/4 Editor", "1/4 Game.lzh", "2/4 Tool.lzh", "3/4 noext"}));
    // The caller removes the source once it has taken the new folder into use.
    EXPECT_EQ(contents(from()), before);
}

TEST_F(FolderMove, aFailureHalfWayTakesBackEveryCopyAndNamesTheFile) {
    writeFile(from() + QStringLiteral("A.lzh"), "first");
    writeFile(from() + QStringLiteral("B/inside.txt"), "second");
    ASSERT_EQ(::mkfifo(QFile::encodeName(from() + QStringLiteral("B/pipe")).constData(), 0600), 0);
    writeFile(from() + QStringLiteral("C.lzh"), "third");
    writeFile(to() + QStringLiteral("A.lzh"), "theirs");
    const QStringList before = contents(from());

    const FolderMoveResult result = CopyFolderContentsVerified(from(), to());

    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failedPath, from() + QStringLiteral("B/pipe"));
    EXPECT_EQ(result.reason, QStringLiteral("通常のファイルではありません"));
    EXPECT_TRUE(result.renamed.isEmpty());
    EXPECT_EQ(contents(to()), QStringList{"A.lzh=theirs"});
    EXPECT_EQ(contents(from()), before);
}

TEST_F(FolderMove, refusesToMoveAFolderIntoItselfUnderAnyName) {
    writeFile(from() + QStringLiteral("A.lzh"), "only copy");
    ASSERT_TRUE(QDir().mkpath(from() + QStringLiteral("sub")));
    ASSERT_TRUE(QFile::link(from(), m_dir.path() + QStringLiteral("/alias")));
    for (const QString& target : {from() + QStringLiteral("sub/"), m_dir.path() + QStringLiteral("/alias/"),
                                  m_dir.path() + QStringLiteral("/old/../old/")}) {
        const FolderMoveResult result = CopyFolderContentsVerified(from(), target);
        EXPECT_FALSE(result.ok) << target.toStdString();
        EXPECT_EQ(result.reason, QStringLiteral("移動先が移動元のフォルダの中にあります"));
    }
    EXPECT_EQ(contents(from()), (QStringList{"A.lzh=only copy"}));
    EXPECT_TRUE(IsSameFolder(from(), m_dir.path() + QStringLiteral("/alias")));
    EXPECT_TRUE(IsFolderInside(from() + QStringLiteral("sub"), m_dir.path() + QStringLiteral("/alias/")));
    EXPECT_FALSE(IsFolderInside(m_dir.path() + QStringLiteral("/older"), from()));
}

TEST_F(FolderMove, aMissingSourceHasNothingToMove) {
    const FolderMoveResult result = CopyFolderContentsVerified(from() + QStringLiteral("gone/"), to());
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(contents(to()).isEmpty());
}

} // namespace
