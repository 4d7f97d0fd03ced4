#include "mainwindowfixture.h"

#include "apps/archivechecks.h"
#include "support/files.h"
#include "support/trashhome.h"

#include "archiver/files/archivelock.h"
#include "mainwindow/registration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vadok::test {
namespace {

using ArchiveConflictOffer = MainWindowFixture;

QString offer(const QString& lines) {
    return QStringLiteral("格納フォルダに、同期の競合で残った圧縮ファイルの複製があります。\r\n\r\n") + lines +
           QStringLiteral("\r\n\r\n新しい方を残し、古い方をごみ箱に移しますか?\r\n"
                          "(はい: 新しい方を残す　いいえ: 両方ともそのまま残す)");
}

// Each copy is checked and listed once per run; いいえ leaves every file as it was, はい
// keeps the newer; a damaged copy is said to be damaged and never offered. The index and
// the sizes read archives on their own threads meanwhile: a reader is no use of the archive.
TEST_F(ArchiveConflictOffer, listsEachCopyOnceAndChangesNothingUnlessAsked) {
    const TrashHome trash;
    writeFolders({{QStringLiteral("ROOT"), QString(),
                   {QStringLiteral("Demo"), QStringLiteral("Tool"), QStringLiteral("Game")}}});
    for (const QString& name : {QStringLiteral("Demo"), QStringLiteral("Tool"), QStringLiteral("Game")}) {
        storeArchive(name, {{QStringLiteral("a.txt"), name.toUtf8()}});
        appendRecord(record(name, QStringLiteral("ROOT")));
    }
    // Named like a copy, but an application's own archive, though the tree does not show it.
    appendRecord(record(QStringLiteral("Old (conflicted copy 2)"), QStringLiteral("ROOT")));
    writeFile(packDir() + QStringLiteral("Old (conflicted copy 2).lzh"), "an application's archive");
    const QDateTime base(QDate(2026, 12, 8), QTime(10, 0));
    // The other machine's versions: real archives, and one that arrived as noise.
    const QString demoCopy = packDir() + QStringLiteral("Demo.sync-conflict-20261208-101500-ABCDEFG.lzh");
    storeArchive(QStringLiteral("Other"), {{QStringLiteral("a.txt"), "the other machine's Demo"}});
    ASSERT_TRUE(QFile::rename(archiveOf(QStringLiteral("Other")), demoCopy));
    const QString gameCopy = packDir() + QStringLiteral("Game.sync-conflict-20261208-101500-ABCDEFG.lzh");
    writeFile(gameCopy, noise(500, 3));
    for (const QString& name : {QStringLiteral("Demo"), QStringLiteral("Game")})
        setModified(archiveOf(name), base);
    setModified(demoCopy, base.addSecs(60));
    setModified(gameCopy, base.addSecs(60));
    const QByteArray demoCopyBytes = readFile(demoCopy);
    const QByteArray demoArchive = readFile(archiveOf(QStringLiteral("Demo")));
    const QByteArray gameArchive = readFile(archiveOf(QStringLiteral("Game")));
    const ArchiveCheckResult gameCheck = CheckArchiveFile(gameCopy);
    ASSERT_FALSE(gameCheck.sound);
    const QString gameDamage = (gameCheck.member.isEmpty() ? QString() : gameCheck.member + QStringLiteral(": ")) +
                               faultText(gameCheck.fault);

    // Read all along by another thread of the launcher.
    archiver::ArchiveLock reader;
    ASSERT_EQ(reader.take(archiveOf(QStringLiteral("Demo")).toStdString(),
                          archiver::ArchiveLock::Kind::Shared, {}),
              0);
    prompter.expect(
        QStringLiteral("格納フォルダに、同期の競合で残った圧縮ファイルの複製があります。\r\n\r\n"
                       "[Demo] Demo.sync-conflict-20261208-101500-ABCDEFG.lzh（複製の方が新しい）\r\n\r\n"
                       "次の複製は壊れているため使えません。元の圧縮ファイルはそのままにし、"
                       "複製も消さずに残しています。\r\n"
                       "[Game] Game.sync-conflict-20261208-101500-ABCDEFG.lzh（複製が壊れています: ") +
            gameDamage +
            QStringLiteral("）\r\n\r\n新しい方を残し、古い方をごみ箱に移しますか?\r\n"
                           "(はい: 新しい方を残す　いいえ: 両方ともそのまま残す)"),
        MsgAnswer::No);
    auto window = startWindow();
    ASSERT_TRUE(waitUntil([&] { return prompter.allAnswered() && window->stage() == u"NORMAL"; }));
    reader.release();
    EXPECT_EQ(prompter.messages().constLast().title, QStringLiteral("同期の競合"));
    EXPECT_TRUE(panel1History.contains(QStringLiteral("同期の競合の複製を、そのまま残しました。(1 組)")));
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Demo"))), demoArchive);
    EXPECT_EQ(readFile(demoCopy), demoCopyBytes);
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Game"))), gameArchive);
    EXPECT_EQ(readFile(gameCopy), noise(500, 3));

    // Listed already: not again, however often the data file changes.
    window->offerArchiveConflicts();

    const QString toolCopy = packDir() + QStringLiteral("Tool (laptop's conflicted copy 2026-12-08).lzh");
    storeArchive(QStringLiteral("Other"), {{QStringLiteral("a.txt"), "the other machine's Tool"}});
    ASSERT_TRUE(QFile::rename(archiveOf(QStringLiteral("Other")), toolCopy));
    setModified(toolCopy, base);
    setModified(archiveOf(QStringLiteral("Tool")), base.addSecs(60));
    const QByteArray toolArchive = readFile(archiveOf(QStringLiteral("Tool")));
    const QByteArray toolCopyBytes = readFile(toolCopy);
    prompter.expect(offer(QStringLiteral("[Tool] Tool (laptop's conflicted copy 2026-12-08).lzh（元の圧縮ファイルの方が新しい）")),
                    MsgAnswer::Yes);
    window->offerArchiveConflicts();
    EXPECT_EQ(panel1History.constLast(),
              QStringLiteral("同期の競合を整理しました。新しい方を残し、古い方をごみ箱に移しました。(1 組)"));
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Tool"))), toolArchive);
    EXPECT_FALSE(QFileInfo::exists(toolCopy));
    EXPECT_EQ(readFile(trash.filesFolder() + u'/' + QFileInfo(toolCopy).fileName()), toolCopyBytes);
    EXPECT_EQ(readFile(demoCopy), demoCopyBytes);
    EXPECT_EQ(readFile(gameCopy), noise(500, 3));
    EXPECT_EQ(readFile(packDir() + QStringLiteral("Old (conflicted copy 2).lzh")), "an application's archive");
}

// A registration under a copy's name would store into the copy or copy another archive over
// it: the name counts as taken.
TEST_F(ArchiveConflictOffer, aCopysNameIsNotFreeForANewApplication) {
    auto window = openWindow();
    const QString title = QStringLiteral("Demo (conflicted copy 2026-12-08 101500)");
    writeFile(packDir() + title + QStringLiteral(".lzh"), "the other machine's Demo");
    prompter.expectInput(std::nullopt);
    EXPECT_EQ(window->registration().claimTitle(title), QString());
    EXPECT_EQ(prompter.inputPrompts(),
              QStringList{u'[' + title +
                          QStringLiteral("] という名前のアプリケーションは既に登録されています。\r\n"
                                         "別の名前で登録する場合は、名前を入力してください。")});
    EXPECT_EQ(readFile(packDir() + title + QStringLiteral(".lzh")), "the other machine's Demo");
}

} // namespace
} // namespace vadok::test
