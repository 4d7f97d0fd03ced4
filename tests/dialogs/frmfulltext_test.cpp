#include "dialogs/frmfulltext.h"

#include "support/qtprinters.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace vadok::test {
namespace {

// The dialog over a scripted index: each query is recorded and answered at once from
// `answers` and `failures`, by the query's text (anything else finds nothing), unless held:
// then answer() gives the answer later, as the index's thread does.
class FullTextDialog : public ::testing::Test {
protected:
    FullTextDialog()
        : dialog([this](const QString& text) {
              queries << text;
              if (!held)
                  answer(text);
          }) {}

    void answer(const QString& text) { dialog.showAnswer(text, {answers.value(text), failures.value(text)}); }

    QLineEdit* box() { return dialog.findChild<QLineEdit*>(QStringLiteral("txtFullText")); }
    QTreeWidget* results() { return dialog.findChild<QTreeWidget*>(QStringLiteral("lvwFullText")); }
    QLabel* progress() { return dialog.findChild<QLabel*>(QStringLiteral("lblProgress")); }
    QLabel* label(const char* name) { return dialog.findChild<QLabel*>(QString::fromLatin1(name)); }
    // Each result row as "title|place|excerpt".
    QStringList rows() {
        QStringList lines;
        for (int i = 0; i < results()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = results()->topLevelItem(i);
            lines << item->text(0) + u'|' + item->text(1) + u'|' + item->text(2);
        }
        return lines;
    }
    QString current() {
        return results()->currentItem() ? results()->currentItem()->text(0) : QString();
    }
    void open() {
        dialog.bringUp();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }

    QStringList queries;
    QHash<QString, std::vector<FullTextHit>> answers{
        {u"z"_qs,
         {{u"Zipper"_qs, u"名称"_qs, u"Zipper"_qs, {{0, 1}}},
          {u"Lazy"_qs, u"説明"_qs, u"a lazy tool"_qs, {{4, 1}}},
          {u"Gz"_qs, u"doc/readme.txt"_qs, u"gzip files"_qs, {{1, 1}}}}},
        {u"zz"_qs,
         {{u"Gz"_qs, u"doc/readme.txt"_qs, u"gzip files"_qs, {{1, 1}}},
          {u"Lazy"_qs, u"説明"_qs, u"a lazy tool"_qs, {{4, 1}}}}},
        {u"lazy"_qs, {{u"Lazy"_qs, u"説明"_qs, u"a lazy tool"_qs, {{2, 4}}}}},
    };
    QHash<QString, QString> failures;
    bool held = false;
    frmFullText dialog;
};

TEST_F(FullTextDialog, showsTheIndexsAnswerFromTheFirstCharacterInItsOrderWithTheBestCurrent) {
    open();
    EXPECT_EQ(dialog.windowTitle(), u"全文検索"_qs);
    EXPECT_TRUE(box()->hasFocus());
    EXPECT_EQ(results()->headerItem()->text(1), u"場所"_qs);

    QTest::keyClicks(box(), u"z"_qs);
    EXPECT_EQ(queries, QStringList{u"z"_qs});
    EXPECT_EQ(rows(), (QStringList{u"Zipper|名称|Zipper"_qs, u"Lazy|説明|a lazy tool"_qs,
                                   u"Gz|doc/readme.txt|gzip files"_qs}));
    EXPECT_EQ(current(), u"Zipper"_qs);

    // A new word makes the new best the choice, wherever the user had moved.
    QTest::keyClick(box(), Qt::Key_Down);
    ASSERT_EQ(current(), u"Lazy"_qs);
    QTest::keyClicks(box(), u"z"_qs);
    EXPECT_EQ(rows(), (QStringList{u"Gz|doc/readme.txt|gzip files"_qs, u"Lazy|説明|a lazy tool"_qs}));
    EXPECT_EQ(current(), u"Gz"_qs);

    // Emptied, the box shows nothing and asks nothing.
    box()->clear();
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_EQ(queries.size(), 2);
}

struct KeyCase {
    const char* name;
    const char* query;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    int downs;           // Down presses in the box before the key
    QString selected;    // selectRequested's title, or empty
    QString run;         // runRequested's title, or empty
    bool staysOpen;
};

void PrintTo(const KeyCase& c, std::ostream* out) { *out << c.name; }

class FullTextKeys : public FullTextDialog, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(FullTextKeys, chooseRunOrCloseAsTheKeySays) {
    const KeyCase c = GetParam();
    open();
    QSignalSpy selected(&dialog, &frmFullText::selectRequested);
    QSignalSpy run(&dialog, &frmFullText::runRequested);
    QTest::keyClicks(box(), QString::fromUtf8(c.query));
    for (int i = 0; i < c.downs; ++i)
        QTest::keyClick(box(), Qt::Key_Down);

    QTest::keyClick(box(), c.key, c.modifiers);

    EXPECT_EQ(selected.isEmpty() ? QString() : selected.first().first().toString(), c.selected);
    EXPECT_EQ(run.isEmpty() ? QString() : run.first().first().toString(), c.run);
    EXPECT_EQ(selected.size() + run.size(), c.selected.isEmpty() && c.run.isEmpty() ? 0 : 1);
    EXPECT_EQ(dialog.isVisible(), c.staysOpen);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, FullTextKeys,
    ::testing::Values(
        KeyCase{"enterSelectsTheBest", "z", Qt::Key_Return, {}, 0, u"Zipper"_qs, {}, false},
        KeyCase{"keypadEnterToo", "z", Qt::Key_Enter, Qt::KeypadModifier, 0, u"Zipper"_qs, {}, false},
        KeyCase{"downMovesTheChoice", "z", Qt::Key_Return, {}, 2, u"Gz"_qs, {}, false},
        KeyCase{"downStopsAtTheLast", "z", Qt::Key_Return, {}, 5, u"Gz"_qs, {}, false},
        KeyCase{"ctrlEnterRuns", "z", Qt::Key_Return, Qt::ControlModifier, 1, {}, u"Lazy"_qs, false},
        KeyCase{"enterWithoutResultsStays", "q", Qt::Key_Return, {}, 0, {}, {}, true},
        KeyCase{"escapeCloses", "z", Qt::Key_Escape, {}, 0, {}, {}, false}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return info.param.name; });

TEST_F(FullTextDialog, aDoubleClickSelectsThatResult) {
    open();
    QSignalSpy selected(&dialog, &frmFullText::selectRequested);
    QTest::keyClicks(box(), u"z"_qs);
    QTreeWidgetItem* lazy = results()->topLevelItem(1);
    const QPoint at = results()->visualItemRect(lazy).center();
    QTest::mouseClick(results()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(results()->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first().first().toString(), u"Lazy"_qs);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(FullTextDialog, showsHowFarTheIndexIsAndAsksAgainWhenItIsDone) {
    open();
    QTest::keyClicks(box(), u"lazy"_qs);
    // Indexed meanwhile, and better.
    auto& later = answers[u"lazy"_qs];
    later.insert(later.begin(), {u"Sloth"_qs, u"名称"_qs, u"Lazy Sloth"_qs, {}});

    dialog.showProgress(3, 40);
    EXPECT_TRUE(progress()->isVisibleTo(&dialog));
    EXPECT_EQ(progress()->text(), u"索引を作成しています... 3/40"_qs);
    dialog.showProgress(17, 40);
    EXPECT_EQ(progress()->text(), u"索引を作成しています... 17/40"_qs);
    // The user's choice is kept when a new answer still holds it.
    ASSERT_EQ(current(), u"Lazy"_qs);

    dialog.showIndexed({});
    EXPECT_FALSE(progress()->isVisibleTo(&dialog));
    EXPECT_FALSE(label("lblCut")->isVisibleTo(&dialog));
    EXPECT_EQ(rows(), (QStringList{u"Sloth|名称|Lazy Sloth"_qs, u"Lazy|説明|a lazy tool"_qs}));
    EXPECT_EQ(current(), u"Lazy"_qs);

    // A build that ended early says why; the results stay what was indexed.
    dialog.showProgress(5, 40);
    dialog.showFailed(u"全文検索の索引を更新できませんでした（ディスクの空きが足りません：database or disk is full）。"_qs);
    EXPECT_TRUE(progress()->isVisibleTo(&dialog));
    EXPECT_EQ(progress()->text(),
              u"全文検索の索引を更新できませんでした（ディスクの空きが足りません：database or disk is full）。"_qs);
    EXPECT_EQ(rows().size(), 2);

    // Applications indexed only in part are named, the first five of them.
    dialog.showIndexed({u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs, u"E"_qs, u"F"_qs, u"G"_qs});
    EXPECT_TRUE(label("lblCut")->isVisibleTo(&dialog));
    EXPECT_EQ(label("lblCut")->text(),
              u"添付のテキストが多すぎるため、次のアプリケーションは一部だけを索引しています: "
              u"A、B、C、D、E ほか2件"_qs);
}

TEST_F(FullTextDialog, aFailedQueryIsSaidRatherThanShownAsNoHits) {
    open();
    failures[u"zq"_qs] = u"検索できませんでした（索引のファイルを開けません：x）。"_qs;
    QTest::keyClicks(box(), u"zq"_qs);
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_TRUE(label("lblFailure")->isVisibleTo(&dialog));
    EXPECT_EQ(label("lblFailure")->text(), u"検索できませんでした（索引のファイルを開けません：x）。"_qs);
    // Answered again, the failure goes.
    QTest::keyClick(box(), Qt::Key_Backspace);
    EXPECT_EQ(rows().size(), 3);
    EXPECT_FALSE(label("lblFailure")->isVisibleTo(&dialog));
}

TEST_F(FullTextDialog, answersComeLaterAndOnlyTheOneForTheBoxIsShown) {
    open();
    held = true;
    QSignalSpy selected(&dialog, &frmFullText::selectRequested);
    QTest::keyClicks(box(), u"z"_qs);
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_TRUE(dialog.isAsking());
    QTest::keyClicks(box(), u"z"_qs);
    // The answer to "z" comes after "zz" was typed: it is not shown.
    answer(u"z"_qs);
    EXPECT_TRUE(rows().isEmpty());
    // Enter typed before the answer takes the best of the answer to what the box holds.
    QTest::keyClick(box(), Qt::Key_Return);
    EXPECT_TRUE(selected.isEmpty());
    EXPECT_TRUE(dialog.isVisible());
    // The index grew meanwhile and the same words are asked again: the Enter still holds.
    dialog.showIndexed({});
    answer(u"zz"_qs);
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.first().first().toString(), u"Gz"_qs);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(FullTextDialog, theExcerptMarksTheFoundWordsInBold) {
    open();
    QTest::keyClicks(box(), u"lazy"_qs);
    EXPECT_EQ(results()->topLevelItem(0)->data(2, frmFullText::MarkedExcerptRole).toString(),
              u"a <b>lazy</b> tool"_qs);

    const struct {
        const char* excerpt;
        QList<QPair<int, int>> marks;
        const char* html;
    } cases[] = {
        {"x<y & z", {{0, 1}, {6, 1}}, "<b>x</b>&lt;y &amp; <b>z</b>"},
        {"out of order", {{7, 5}, {0, 3}}, "<b>out</b> of <b>order</b>"},
        {"stray", {{3, 10}, {40, 2}, {-2, 3}, {4, 1}}, "<b>s</b>tr<b>ay</b>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.excerpt);
        EXPECT_EQ(frmFullText::markedExcerpt(QString::fromUtf8(c.excerpt), c.marks),
                  QString::fromUtf8(c.html));
    }
}

TEST_F(FullTextDialog, openedAgainTheLastQueryIsSelectedSoTypingReplacesIt) {
    open();
    QTest::keyClicks(box(), u"lazy"_qs);
    QTest::keyClick(box(), Qt::Key_Escape);
    ASSERT_FALSE(dialog.isVisible());
    open();
    QTest::keyClicks(box(), u"z"_qs);
    EXPECT_EQ(box()->text(), u"z"_qs);
    EXPECT_EQ(rows().size(), 3);
}

} // namespace
} // namespace vadok::test
