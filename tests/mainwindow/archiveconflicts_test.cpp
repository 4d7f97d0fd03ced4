#include "mainwindowfixture.h"

#include "support/trashhome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vadok::test {
namespace {

using ArchiveConflictOffer = MainWindowFixture;

void setModified(const QString& path, const QDateTime& when) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
}

QString offer(const QString& lines) {
    return QStringLiteral("格納フォルダに、同期の競合で残った圧縮ファイルの複製があります。\r\n\r\n") + lines +
           QStringLiteral("\r\n\r\n新しい方を残し、古い方をごみ箱に移しますか?\r\n"
                          "(はい: 新しい方を残す　いいえ: 両方ともそのまま残す)");
}

// Each copy is listed once per run; いいえ leaves every file as it was, はい keeps the newer.
TEST_F(ArchiveConflictOffer, listsEachCopyOnceAndChangesNothingUnlessAsked) {
    const TrashHome trash;
    writeFolders({{QStringLiteral("ROOT"), QString(), {QStringLiteral("Demo"), QStringLiteral("Tool")}}});
    for (const QString& name : {QStringLiteral("Demo"), QStringLiteral("Tool")}) {
        storeArchive(name, {{QStringLiteral("a.txt"), name.toUtf8()}});
        appendRecord(record(name, QStringLiteral("ROOT")));
    }
    // Named like a copy, but an application's own archive, though the tree does not show it.
    appendRecord(record(QStringLiteral("Old (conflicted copy 2)"), QStringLiteral("ROOT")));
    writeFile(packDir() + QStringLiteral("Old (conflicted copy 2).lzh"), "an application's archive");
    const QDateTime base(QDate(2026, 12, 8), QTime(10, 0));
    const QString demoCopy = packDir() + QStringLiteral("Demo.sync-conflict-20261208-101500-ABCDEFG.lzh");
    writeFile(demoCopy, "the other machine's Demo");
    setModified(archiveOf(QStringLiteral("Demo")), base);
    setModified(demoCopy, base.addSecs(60));
    const QByteArray demoArchive = readFile(archiveOf(QStringLiteral("Demo")));

    prompter.expect(offer(QStringLiteral("[Demo] Demo.sync-conflict-20261208-101500-ABCDEFG.lzh（複製の方が新しい）")),
                    MsgAnswer::No);
    auto window = openWindow();
    ASSERT_TRUE(prompter.allAnswered());
    EXPECT_EQ(prompter.messages().constLast().title, QStringLiteral("同期の競合"));
    EXPECT_EQ(panel1History.constLast(), QStringLiteral("同期の競合の複製を、そのまま残しました。(1 組)"));
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Demo"))), demoArchive);
    EXPECT_EQ(readFile(demoCopy), "the other machine's Demo");

    // Listed already: not again, however often the data file changes.
    window->offerArchiveConflicts();

    const QString toolCopy = packDir() + QStringLiteral("Tool (laptop's conflicted copy 2026-12-08).lzh");
    writeFile(toolCopy, "the other machine's Tool");
    setModified(toolCopy, base);
    setModified(archiveOf(QStringLiteral("Tool")), base.addSecs(60));
    const QByteArray toolArchive = readFile(archiveOf(QStringLiteral("Tool")));
    prompter.expect(offer(QStringLiteral("[Tool] Tool (laptop's conflicted copy 2026-12-08).lzh（元の圧縮ファイルの方が新しい）")),
                    MsgAnswer::Yes);
    window->offerArchiveConflicts();
    EXPECT_EQ(panel1History.constLast(),
              QStringLiteral("同期の競合を整理しました。新しい方を残し、古い方をごみ箱に移しました。(1 組)"));
    EXPECT_EQ(readFile(archiveOf(QStringLiteral("Tool"))), toolArchive);
    EXPECT_FALSE(QFileInfo::exists(toolCopy));
    EXPECT_EQ(readFile(trash.filesFolder() + u'/' + QFileInfo(toolCopy).fileName()), "the other machine's Tool");
    EXPECT_EQ(readFile(demoCopy), "the other machine's Demo");
    EXPECT_EQ(readFile(packDir() + QStringLiteral("Old (conflicted copy 2).lzh")), "an application's archive");
}

// A registration under a copy's name would store into the copy or copy another archive over
// it: the name counts as taken.
TEST_F(ArchiveConflictOffer, aCopysNameIsNotFreeForANewApplication) {
    auto window = openWindow();
    const QString title = QStringLiteral("Demo (conflicted copy 2026-12-08 101500)");
    writeFile(packDir() + title + QStringLiteral(".lzh"), "the other machine's Demo");
    prompter.expectInput(std::nullopt);
    EXPECT_EQ(window->claimTitle(title), QString());
    EXPECT_EQ(prompter.inputPrompts(),
              QStringList{u'[' + title +
                          QStringLiteral("] という名前のアプリケーションは既に登録されています。\r\n"
                                         "別の名前で登録する場合は、名前を入力してください。")});
    EXPECT_EQ(readFile(packDir() + title + QStringLiteral(".lzh")), "the other machine's Demo");
}

} // namespace
} // namespace vadok::test
