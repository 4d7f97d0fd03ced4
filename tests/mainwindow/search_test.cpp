#include "mainwindowfixture.h"

#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "catalog/xmldocument.h"
#include "mainwindow/catalogtree.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

namespace vadok::test {
namespace {

// The started program writes its working folder into $TRACE_FILE.
const QByteArray kTraceScript = "#!/bin/sh\n{ pwd; echo end; } > \"$TRACE_FILE\"\n";
const QString kF3Status = QStringLiteral(
    "検索モードです。F3キーを押すと戻ります。Shift+Enterを押すとタイトルと説明文から検索します。");

class Search : public MainWindowFixture {
protected:
    Search() : trace(scratch.path() + QStringLiteral("/trace.txt")) {
        qputenv("TRACE_FILE", trace.toUtf8());
        writeFolders({{QStringLiteral("メイン"),
                       QStringLiteral("ROOT"),
                       {QStringLiteral("PaintShop"), QStringLiteral("ｚｉｐ工具"),
                        QStringLiteral("ＺＩＰ倉庫"), QStringLiteral("zipper")}},
                      {QStringLiteral("Sub"), QStringLiteral("ROOT"),
                       {QStringLiteral("Pad"), QStringLiteral("Runner")}}});
        AppRecord paint = record(QStringLiteral("PaintShop"));
        paint.Info = QStringLiteral("絵を描く tool\r\n二行目");
        appendRecord(paint);
        for (const char* name : {"ｚｉｐ工具", "ＺＩＰ倉庫", "zipper"})
            appendRecord(record(QString::fromUtf8(name)));
        appendRecord(record(QStringLiteral("Pad"), QStringLiteral("Sub")));
        AppRecord runner = record(QStringLiteral("Runner"), QStringLiteral("Sub"),
                                  QStringLiteral("run.sh"));
        runner.NonPack = true;
        runner.Info = QStringLiteral("Tom's runner");
        appendRecord(runner);
        expand(QStringLiteral("Runner"), {{QStringLiteral("run.sh"), kTraceScript}});
    }
    ~Search() override { qunsetenv("TRACE_FILE"); }

    void open() {
        window = openWindow();
        window->activateWindow();
    }
    QLineEdit* box() const { return window->findChild<QLineEdit*>(QStringLiteral("txtSearch")); }
    QListWidget* list() const {
        return window->findChild<QListWidget*>(QStringLiteral("listviewSearch"));
    }
    QStringList hits() const {
        QStringList texts;
        for (int i = 0; i < list()->count(); ++i)
            texts << list()->item(i)->text();
        return texts;
    }
    QString selectedHit() const {
        const QList<QListWidgetItem*> selected = list()->selectedItems();
        return selected.isEmpty() ? QString() : selected.first()->text();
    }
    QString shownTitle() const {
        return window->findChild<QLineEdit*>(QStringLiteral("txtAppTitle"))->text();
    }
    // Typed one character at a time, as the user would (QTest's key clicks know only ASCII).
    void type(const QString& text) {
        box()->clear();
        for (QChar c : text)
            box()->insert(QString(c));
    }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(box(), k, modifiers);
    }

    QString trace;
    std::unique_ptr<frmMain> window;
};

TEST_F(Search, typingFindsTitlesInEitherCaseButFullWidthOnlyInFullWidth) {
    open();
    window->ToggleSearchMode();
    const struct {
        QString typed;
        QStringList found;
    } cases[] = {
        {QStringLiteral("shop"), {QStringLiteral("PaintShop")}},
        {QStringLiteral("ZIP"), {QStringLiteral("zipper")}},
        {QStringLiteral("ｚｉｐ"), {QStringLiteral("ｚｉｐ工具"), QStringLiteral("ＺＩＰ倉庫")}},
        {QStringLiteral("Ｚｉ"), {QStringLiteral("ｚｉｐ工具"), QStringLiteral("ＺＩＰ倉庫")}},
        {QStringLiteral("p"), {QStringLiteral("PaintShop"), QStringLiteral("zipper"), QStringLiteral("Pad")}},
        {QStringLiteral("nothing like it"), {}},
        {QString(), {}},
    };
    for (const auto& c : cases) {
        type(c.typed);
        EXPECT_EQ(hits(), c.found) << c.typed.toStdString();
    }
    // A hit carries its node's tag: clicking it shows that application.
    type(QStringLiteral("pad"));
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                      list()->visualItemRect(list()->item(0)).center());
    EXPECT_EQ(shownTitle(), QStringLiteral("Pad"));
    EXPECT_EQ(window->Apps()[size_t(window->SelectedAppIndex())].AppName(), QStringLiteral("Pad"));
}

TEST_F(Search, theFindKeyTogglesSearchModeOnlyWithTheModifiersItNames) {
    const struct {
        int findKey;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool toggles;
    } cases[] = {
        {1, Qt::Key_F3, Qt::NoModifier, true},
        {1, Qt::Key_F3, Qt::ShiftModifier, false},
        {1, Qt::Key_F, Qt::ControlModifier, false},
        {2, Qt::Key_F, Qt::ControlModifier, true},
        {2, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier, false},
        {2, Qt::Key_F3, Qt::NoModifier, false},
    };
    for (const auto& c : cases) {
        settings().Key.FindKey = quint8(c.findKey);
        open();
        QTest::keyClick(window->treeView(), c.key, c.modifiers);
        EXPECT_EQ(window->searchMode(), c.toggles) << c.findKey << " " << c.key;
        EXPECT_EQ(box()->isVisible(), c.toggles);
        if (!c.toggles)
            continue;
        EXPECT_EQ(window->focusWidget(), box());
        EXPECT_EQ(panelText(*window, 1),
                  c.findKey == 1 ? kF3Status
                                 : QStringLiteral("検索モードです。Ctrl+Fキーを押すと戻ります。"
                                                  "Shift+Enterを押すとタイトルと説明文から検索します。"));
        QTest::keyClick(box(), c.key, c.modifiers);
        EXPECT_FALSE(window->searchMode());
        EXPECT_FALSE(box()->isVisible());
        EXPECT_FALSE(list()->isVisible());
        EXPECT_EQ(window->focusWidget(), window->treeView());
        EXPECT_EQ(panelText(*window, 1), QString());
    }
}

TEST_F(Search, upAndDownWrapAroundAndShowEachHitInThePanel) {
    open();
    window->findChild<QAction*>(QStringLiteral("mnuSearch"))->trigger();
    type(QStringLiteral("p"));
    // Nothing is selected until a key moves into the hits; Up does not.
    EXPECT_EQ(selectedHit(), QString());
    const QString shownBefore = shownTitle();
    const struct {
        Qt::Key key;
        const char* selected;
    } steps[] = {
        {Qt::Key_Up, ""},         {Qt::Key_Down, "PaintShop"}, {Qt::Key_Down, "zipper"},
        {Qt::Key_Down, "Pad"},    {Qt::Key_Down, "PaintShop"}, {Qt::Key_Up, "Pad"},
        {Qt::Key_Up, "zipper"},
    };
    for (const auto& step : steps) {
        key(step.key);
        const QString selected = QString::fromUtf8(step.selected);
        EXPECT_EQ(selectedHit(), selected);
        EXPECT_EQ(shownTitle(), selected.isEmpty() ? shownBefore : selected);
        EXPECT_EQ(box()->text(), QStringLiteral("p")); // the keys never reach the text
    }
}

TEST_F(Search, enterRunsTheSelectedHitAndLeavesSearchModeButNotOnAnEmptyList) {
    open();
    window->ToggleSearchMode();
    type(QStringLiteral("none of these"));
    key(Qt::Key_Return);
    EXPECT_TRUE(window->searchMode());

    // Hits but none selected: Enter only leaves.
    type(QStringLiteral("run"));
    key(Qt::Key_Return);
    EXPECT_FALSE(window->searchMode());
    EXPECT_FALSE(panel1History.contains(QStringLiteral("Runnerを実行開始...")));

    window->ToggleSearchMode();
    type(QStringLiteral("run"));
    key(Qt::Key_Down);
    key(Qt::Key_Return);
    EXPECT_FALSE(window->searchMode());
    ASSERT_TRUE(waitUntil([&] { return readFile(trace).endsWith("end\n"); }));
    EXPECT_EQ(readFile(trace), (execDir() + QStringLiteral("Runner\nend\n")).toUtf8());
    EXPECT_EQ(shownTitle(), QStringLiteral("Runner"));
}

TEST_F(Search, enterWithAModifierSearchesTheNotesWithTheirExactCase) {
    open();
    window->ToggleSearchMode();
    const struct {
        QString typed;
        Qt::KeyboardModifiers modifiers;
        QStringList found;
    } cases[] = {
        {QStringLiteral("Tom's"), Qt::ShiftModifier, {QStringLiteral("Runner")}},
        {QStringLiteral("tom's"), Qt::ControlModifier, {}},
        {QStringLiteral("tool"), Qt::AltModifier, {QStringLiteral("PaintShop")}},
        {QStringLiteral("二行目"), Qt::ShiftModifier, {QStringLiteral("PaintShop")}},
        // Every application has a notes line, empty or not.
        {QString(), Qt::ShiftModifier,
         {QStringLiteral("PaintShop"), QStringLiteral("ｚｉｐ工具"), QStringLiteral("ＺＩＰ倉庫"),
          QStringLiteral("zipper"), QStringLiteral("Pad"), QStringLiteral("Runner")}},
    };
    for (const auto& c : cases) {
        type(c.typed);
        key(Qt::Key_Return, c.modifiers);
        EXPECT_EQ(hits(), c.found) << c.typed.toStdString();
        EXPECT_EQ(selectedHit(), QString());
        EXPECT_TRUE(window->searchMode());
    }
}

TEST_F(Search, aTitleChangedOnDiskByAnotherProgramIsSeenAtTheNextKeystroke) {
    open();
    window->ToggleSearchMode();
    type(QStringLiteral("pa"));
    EXPECT_EQ(hits(), (QStringList{QStringLiteral("PaintShop"), QStringLiteral("Pad")}));

    // The other program swaps two titles: the file keeps its length, and the hits their
    // order in the file.
    XmlDocument doc;
    ASSERT_TRUE(doc.load(dataFilePath()));
    for (XmlElement name : doc.select(QStringLiteral("/Vadok/Apps/App/Name"))) {
        if (name.text() == u"PaintShop")
            name.setText(QStringLiteral("Pad"));
        else if (name.text() == u"Pad")
            name.setText(QStringLiteral("PaintShop"));
    }
    ASSERT_TRUE(doc.save(dataFilePath()));

    key(Qt::Key_Backspace);
    EXPECT_EQ(hits(), (QStringList{QStringLiteral("Pad"), QStringLiteral("zipper"),
                                   QStringLiteral("PaintShop")}));
}

TEST_F(Search, theAlwaysShownBoxKeepsItsHitsHiddenWhileItIsEmpty) {
    settings().Color.DispSearchTextBoxAnyTime = true;
    open();
    EXPECT_TRUE(box()->isVisible());
    EXPECT_FALSE(list()->isVisible());
    QTest::keyClick(window->treeView(), Qt::Key_F3);
    EXPECT_FALSE(window->searchMode());
    EXPECT_EQ(window->focusWidget(), box());

    type(QStringLiteral("pa"));
    EXPECT_TRUE(list()->isVisible());
    EXPECT_EQ(hits(), (QStringList{QStringLiteral("PaintShop"), QStringLiteral("Pad")}));
    // The hits lie where the tree is, below the box.
    EXPECT_EQ(list()->geometry(), window->treeView()->geometry());
    EXPECT_GE(window->treeView()->y(), box()->geometry().bottom());
    key(Qt::Key_Backspace);
    key(Qt::Key_Backspace);
    EXPECT_FALSE(list()->isVisible());
    key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_FALSE(list()->isVisible());
}

} // namespace
} // namespace vadok::test
