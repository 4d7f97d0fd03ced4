// The first start: while the catalog holds no application the window says how to add one.
#include "mainwindowfixture.h"

#include "mainwindow/catalogtree.h"
#include "mainwindow/firststarthint.h"

#include "support/modaldriver.h"
#include "support/scriptedchooser.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

namespace vadok::test {
namespace {

class FirstStart : public MainWindowFixture {
protected:
    FirstStart() {
        qputenv("XDG_DATA_HOME", scratch.path().toUtf8());
        source = scratch.path() + QStringLiteral("/src/Foo");
        writeFile(source + QStringLiteral("/run.sh"), "#!/bin/sh\n", true);
    }
    ~FirstStart() override { qunsetenv("XDG_DATA_HOME"); }

    QLabel* hint() const { return window->findChild<QLabel*>(QStringLiteral("lblFirstStart")); }
    bool hintShown() const { return hint() && hint()->isVisible(); }

    QString source;
    ScriptedChooser chooser;
    ModalDriver driver;
    std::unique_ptr<frmMain> window;
};

TEST_F(FirstStart, anEmptyCatalogSaysHowToAddAnApplicationBelowItsFolders) {
    writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"), {}},
                  {QStringLiteral("Sub"), QStringLiteral("メイン"), {}}});
    window = openWindow();
    ASSERT_TRUE(waitUntil([&] { return hintShown(); }));
    EXPECT_EQ(hint()->text(), FirstStartHint::text());
    for (const char* said : {"ドロップ", ".lzh", ".zip", "ファイル → 新しいプログラムの登録"})
        EXPECT_TRUE(hint()->text().contains(QString::fromUtf8(said))) << said;
    // Over the empty part of the tree, not over a node, and in reach of the eye.
    auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("TreeView"));
    const QRect nodes = tree->visualItemRect(tree->topLevelItem(0));
    EXPECT_GT(hint()->geometry().top(), nodes.bottom());
    EXPECT_TRUE(tree->viewport()->rect().contains(hint()->geometry().topLeft()));
}

struct Registering {
    const char* editorButton; // registering ends in the editor with it
    bool hintAfter;
};

class FirstApplication : public FirstStart, public ::testing::WithParamInterface<Registering> {};

TEST_P(FirstApplication, theHintGoesWithTheFirstApplicationAndComesBackWithoutOne) {
    const Registering& c = GetParam();
    writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"), {}}});
    window = openWindow();
    ASSERT_TRUE(waitUntil([&] { return hintShown(); }));
    chooser.expectFolder(source);
    const QString button = QString::fromLatin1(c.editorButton);
    driver.then([&](QDialog& d) { d.findChild<QPushButton*>(button)->click(); });
    if (c.hintAfter)
        prompter.expect(QStringLiteral("[Foo]を削除してよろしいですか？"), MsgAnswer::Yes);
    else
        prompter.expect(QStringLiteral("アプリケーションの存在したディレクトリ\r\n\r\n") + source +
                            QStringLiteral("/\r\n\r\nを削除してもいいですか"),
                        MsgAnswer::No);
    window->findChild<QAction*>(QStringLiteral("mnuNew"))->trigger();
    ASSERT_EQ(node(*window, QStringLiteral("Foo")) != nullptr, !c.hintAfter);
    EXPECT_TRUE(waitUntil([&] { return hintShown() == c.hintAfter; }));
}

INSTANTIATE_TEST_SUITE_P(KeptOrDeleted, FirstApplication,
                         ::testing::Values(Registering{"cmdOK", false}, Registering{"cmdRemove", true}));

} // namespace
} // namespace vadok::test
