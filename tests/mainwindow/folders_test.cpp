#include "mainwindowfixture.h"

#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "mainwindow/catalogtree.h"

#include <QAction>
#include <QTest>

namespace vadok::test {
namespace {

const QString kNewFolderPrompt = QStringLiteral("新しく作成するディレクトリ名を入力してください");

class Folders : public MainWindowFixture {
protected:
    Folders() {
        qputenv("XDG_DATA_HOME", scratch.path().toUtf8());
        writeFolders({{QStringLiteral("ROOT"), QStringLiteral("ROOT"), {QStringLiteral("Top")}},
                      {QStringLiteral("メイン"),
                       QStringLiteral("ROOT"),
                       {QStringLiteral("Tool"), QStringLiteral("Keep")}},
                      {QStringLiteral("Sub"), QStringLiteral("メイン"), {QStringLiteral("Deep")}},
                      {QStringLiteral("Empty"), QStringLiteral("ROOT"), {}},
                      // In the file, but its parent is not: the tree cannot show it.
                      {QStringLiteral("Ghost"), QStringLiteral("Missing"), {}}});
        storeArchive(QStringLiteral("Tool"), {{QStringLiteral("a.txt"), "a"}});
        for (const char* name : {"Top", "Tool", "Keep", "Deep"})
            appendRecord(record(QString::fromUtf8(name)));
        window = openWindow();
    }
    ~Folders() override { qunsetenv("XDG_DATA_HOME"); }

    void trigger(const QString& selected, const char* action) {
        clickNode(*window, selected);
        window->findChild<QAction*>(QString::fromLatin1(action))->trigger();
    }
    static QString folderOf(const QString& app) {
        AppRecord r;
        EXPECT_TRUE(FindAppByName(app, r));
        return r.AppDir;
    }

    std::unique_ptr<frmMain> window;
};

struct Refused {
    std::optional<QString> name;
    const char* message;
};

class NewFolderNames : public Folders, public ::testing::WithParamInterface<Refused> {};

TEST_P(NewFolderNames, areRefusedWithTheFirstRuleTheyBreak) {
    const QStringList tree = dumpTree(*window);
    const QByteArray data = readFile(dataFilePath());
    prompter.expect(QStringLiteral("『Vadok』の下に新規ディレクトリを作成しますか？"), MsgAnswer::Yes)
        .expectInput(GetParam().name)
        .expect(QString::fromUtf8(GetParam().message));
    trigger(QStringLiteral("ROOT"), "TreeDirNew");
    EXPECT_EQ(prompter.inputPrompts(), QStringList{kNewFolderPrompt});
    EXPECT_EQ(prompter.messages().last().icon, MsgIcon::Exclamation);
    EXPECT_EQ(dumpTree(*window), tree);
    EXPECT_EQ(readFile(dataFilePath()), data);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NewFolderNames,
    ::testing::Values(Refused{std::nullopt, "ディレクトリ名が入力されませんでした。"},
                      Refused{QStringLiteral("ROOT"), "ディレクトリ名が入力されませんでした。"},
                      Refused{QStringLiteral("a&b"), "& は使えません。"},
                      Refused{QStringLiteral("<a>"), "> は使えません。"},
                      Refused{QStringLiteral("a<b"), "< は使えません。"},
                      Refused{QStringLiteral("a\\b"), "\\ は使えません。"},
                      Refused{QStringLiteral("a/b"), "/ は使えません。"},
                      Refused{QStringLiteral("\"a\""), "\" は使えません。"},
                      Refused{QStringLiteral("2008"), "数字だけのフォルダ名は作成できません"},
                      Refused{QStringLiteral(" 1.5 "), "数字だけのフォルダ名は作成できません"},
                      Refused{QStringLiteral("Tool"), "指定されたフォルダ名 [Tool] は既に存在します"},
                      Refused{QStringLiteral("Sub"), "指定されたフォルダ名 [Sub] は既に存在します"},
                      Refused{QStringLiteral("Ghost"), "指定されたフォルダ名 [Ghost] は既に存在します"}));

TEST_F(Folders, aNewFolderGoesUnderTheSelectedFolder) {
    prompter.expect(QStringLiteral("『メイン』の下に新規ディレクトリを作成しますか？"), MsgAnswer::No);
    trigger(QStringLiteral("メイン"), "TreeDirNew");
    prompter.expect(QStringLiteral("『メイン』の下に新規ディレクトリを作成しますか？"), MsgAnswer::Yes)
        .expectInput(QStringLiteral("Tools"));
    trigger(QStringLiteral("メイン"), "TreeDirNew");
    EXPECT_EQ(prompter.inputPrompts().size(), 1);
    EXPECT_TRUE(dumpTree(*window).contains(QStringLiteral("    Tools|Tools|")));
    // Folder commands on an application have no folder to act on.
    trigger(QStringLiteral("Tool"), "TreeDirNew");
    EXPECT_EQ(prompter.beeps(), 1);
}

TEST_F(Folders, renameAcceptsNumbersButNotNamesInUseOrAmpersands) {
    const QString title = QStringLiteral("[メイン]の名前変更");
    for (const auto& [input, message] :
         {std::pair{std::optional<QString>(), "フォルダ名が入力されませんでした。"},
          std::pair{std::optional<QString>(QStringLiteral("ROOT")), "フォルダ名が入力されませんでした。"},
          std::pair{std::optional<QString>(QStringLiteral("Ghost")), "指定されたフォルダ名 [Ghost] は既に存在します"},
          std::pair{std::optional<QString>(QStringLiteral("Top")), "指定されたフォルダ名 [Top] は既に存在します"}}) {
        prompter.expectInput(input).expect(QString::fromUtf8(message));
        trigger(QStringLiteral("メイン"), "TreeDirRen");
    }
    EXPECT_EQ(prompter.inputPrompts().value(0), QStringLiteral("新しいフォルダ名を入力してください"));

    prompter.expectInput(QStringLiteral("2008"));
    trigger(QStringLiteral("メイン"), "TreeDirRen");
    EXPECT_EQ(panelText(*window, 1), QStringLiteral("メイン を 2008に変更しました。"));
    EXPECT_EQ(node(*window, QStringLiteral("メイン"))->text(0), QStringLiteral("2008"));
    EXPECT_EQ(window->Apps()[2].AppDir(), QStringLiteral("2008"));
    EXPECT_EQ(folderOf(QStringLiteral("Tool")), QStringLiteral("2008"));

    // The next build keys the numeric folder apart, and its sub-folder still finds it.
    window = openWindow();
    EXPECT_TRUE(dumpTree(*window).contains(QStringLiteral("  2008numonly|2008|")));
    EXPECT_TRUE(dumpTree(*window).contains(QStringLiteral("    Sub|Sub|")));
    // The editor would refuse every application in a folder named with "&".
    const QByteArray data = readFile(dataFilePath());
    prompter.expectInput(QStringLiteral("a&b")).expect(QStringLiteral("フォルダ名に & を使うことはできません"));
    trigger(QStringLiteral("2008numonly"), "TreeDirRen");
    EXPECT_EQ(readFile(dataFilePath()), data);
    EXPECT_EQ(node(*window, QStringLiteral("2008numonly"))->text(0), QStringLiteral("2008"));
}

TEST_F(Folders, deletingAFolderMovesEverythingItHeldUpInOrder) {
    const QString question =
        QStringLiteral("このフォルダに格納されているアイテムがあります\r\nそれでも削除を実行しますか？");
    prompter.expect(question, MsgAnswer::No);
    trigger(QStringLiteral("メイン"), "TreeDirDel");
    EXPECT_NE(node(*window, QStringLiteral("メイン")), nullptr);

    prompter.expect(question, MsgAnswer::Yes);
    trigger(QStringLiteral("メイン"), "TreeDirDel");
    // An empty folder goes without a question.
    trigger(QStringLiteral("Empty"), "TreeDirDel");
    prompter.expect(QStringLiteral("削除できません"));
    trigger(QStringLiteral("ROOT"), "TreeDirDel");

    EXPECT_EQ(dumpTree(*window), (QStringList{"ROOT|Vadok|ROOT", "  Sub|Sub|", "    Deep|Deep|4",
                                              "  Top|Top|1", "  Tool|Tool|2", "  Keep|Keep|3"}));
    EXPECT_EQ(folderOf(QStringLiteral("Tool")), QStringLiteral("ROOT"));
    EXPECT_EQ(folderOf(QStringLiteral("Keep")), QStringLiteral("ROOT"));
    EXPECT_EQ(folderOf(QStringLiteral("Deep")), QStringLiteral("メイン"));
    EXPECT_TRUE(QFileInfo::exists(packDir() + QStringLiteral("Tool.lzh")));
}

TEST_F(Folders, deletingAnApplicationAsksAndRemovesItsRecord) {
    const QString question = QStringLiteral("[Tool]を削除してよろしいですか？");
    prompter.expect(question, MsgAnswer::Cancel).expect(question, MsgAnswer::Ok);
    trigger(QStringLiteral("Tool"), "TreePopDel");
    EXPECT_TRUE(QFileInfo::exists(packDir() + QStringLiteral("Tool.lzh")));
    trigger(QStringLiteral("Tool"), "TreePopDel");
    EXPECT_FALSE(QFileInfo::exists(packDir() + QStringLiteral("Tool.lzh")));
    EXPECT_EQ(node(*window, QStringLiteral("Tool")), nullptr);
    AppRecord left;
    EXPECT_FALSE(FindAppByName(QStringLiteral("Tool"), left));
    window = openWindow();
    EXPECT_EQ(node(*window, QStringLiteral("Tool")), nullptr);
}

TEST_F(Folders, theDeleteKeyOnlyTellsHowToDelete) {
    prompter.expect(QStringLiteral("フォルダの削除は...\r\n\r\nフォルダ右クリック → フォルダの削除"))
        .expect(QStringLiteral("アプリケーションの削除は...\r\n\r\nアプリ右クリック → プロパティ → 削除"));
    for (const char* key : {"ROOT", "メイン", "Tool"}) {
        clickNode(*window, QString::fromUtf8(key));
        QTest::keyClick(window->treeView(), Qt::Key_Delete);
    }
    EXPECT_EQ(prompter.messages().size(), 2);
    EXPECT_TRUE(QFileInfo::exists(packDir() + QStringLiteral("Tool.lzh")));
}

} // namespace
} // namespace vadok::test
