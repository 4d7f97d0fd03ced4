#include "mainwindowfixture.h"

#include "catalog/apprecords.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/treeediting.h"

#include <QTest>
#include <QTreeWidgetItem>

namespace vadok::test {
namespace {

// ROOT holds the folders A (with the sub-folder A1 and the applications One, Two), B (Three),
// 2008 (empty) and the application Top.
class Moves : public MainWindowFixture {
protected:
    Moves() {
        writeFolders({{QStringLiteral("ROOT"), QString(), {QStringLiteral("Top")}},
                      {QStringLiteral("A"), QStringLiteral("ROOT"), {QStringLiteral("One"), QStringLiteral("Two")}},
                      {QStringLiteral("B"), QStringLiteral("ROOT"), {QStringLiteral("Three")}},
                      {QStringLiteral("2008"), QStringLiteral("ROOT"), {}},
                      {QStringLiteral("A1"), QStringLiteral("A"), {}}});
        appendRecord(record(QStringLiteral("Top"), QStringLiteral("ROOT")));
        for (const char* name : {"One", "Two"})
            appendRecord(record(QString::fromLatin1(name), QStringLiteral("A")));
        appendRecord(record(QStringLiteral("Three"), QStringLiteral("B")));
        window = openWindow();
    }

    void drop(const QString& dragged, const QString& target) {
        m_tree().setCurrentItem(node(*window, dragged));
        window->treeEditing().TreeView_DragOver(node(*window, target));
        window->treeEditing().TreeView_DragDrop();
    }
    void shiftArrow(const QString& selected, Qt::Key key) {
        m_tree().setCurrentItem(node(*window, selected));
        QTest::keyClick(&m_tree(), key, Qt::ShiftModifier);
    }
    CatalogTree& m_tree() { return *window->treeView(); }
    QString storedFolderOf(const QString& name) {
        AppRecord r;
        EXPECT_TRUE(FindAppByName(name, r));
        return r.AppDir;
    }
    QStringList children(const QString& key) {
        QStringList keys;
        QTreeWidgetItem* parent = node(*window, key);
        for (int i = 0; i < parent->childCount(); ++i)
            keys << CatalogTree::key(parent->child(i));
        return keys;
    }

    std::unique_ptr<frmMain> window;
};

struct RefusedDrop {
    const char* dragged;
    const char* target;
    const char* status;
};

class RefusedDrops : public Moves, public ::testing::WithParamInterface<RefusedDrop> {};

TEST_P(RefusedDrops, sayWhyAndLeaveTheCatalogAsItWas) {
    const RefusedDrop& c = GetParam();
    const QStringList tree = dumpTree(*window);
    const std::vector<StoredFolder> stored = storedFolders();
    drop(QString::fromUtf8(c.dragged), QString::fromUtf8(c.target));
    EXPECT_EQ(panelText(*window, 1), QString::fromUtf8(c.status));
    EXPECT_EQ(dumpTree(*window), tree);
    EXPECT_EQ(storedFolders(), stored);
    EXPECT_EQ(m_tree().dropHighlight(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Drops, RefusedDrops,
    ::testing::Values(RefusedDrop{"A", "ROOT", "同一フォルダ内の移動は無効です。"},
                      RefusedDrop{"A", "A", "ドロップはキャンセルされました。"},
                      RefusedDrop{"A", "A1", "移動できません"}, // its own sub-folder
                      RefusedDrop{"A", "Top", "フォルダにドロップしてください"},
                      RefusedDrop{"One", "A", "同一フォルダ内の移動は無効です"},
                      RefusedDrop{"ROOT", "B", "移動できません"}));

TEST_F(Moves, dragOverHintsTellWhereTheNodeWillGo) {
    const QList<std::tuple<QString, QString, QString>> cases = {
        {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("フォルダの並び順変更はShift+↑↓で行ってください。")},
        {QStringLiteral("One"), QStringLiteral("B"), QStringLiteral("選択されたフォルダ末尾に移動されます。")},
        {QStringLiteral("One"), QStringLiteral("Three"), QStringLiteral("選択されたアイテムの次に移動されます。")},
        {QStringLiteral("One"), QStringLiteral("ROOT"), QStringLiteral("選択されたアイテムの次に移動されます。")},
    };
    for (const auto& [dragged, target, hint] : cases) {
        m_tree().setCurrentItem(node(*window, dragged));
        window->treeEditing().TreeView_DragOver(node(*window, target));
        EXPECT_EQ(panelText(*window, 1), hint) << dragged.toStdString();
        EXPECT_EQ(m_tree().dropHighlight(), node(*window, target));
    }
}

TEST_F(Moves, anApplicationDroppedOnAFolderMovesThereAndTakesItInItsRecord) {
    prompter.expect(QStringLiteral("One を フォルダ：Vadok に移動していいですか？"), MsgAnswer::Ok);
    drop(QStringLiteral("One"), QStringLiteral("ROOT"));
    EXPECT_EQ(children(QStringLiteral("ROOT")).last(), QStringLiteral("One"));
    EXPECT_EQ(storedFolderOf(QStringLiteral("One")), QStringLiteral("ROOT"));
    EXPECT_EQ(storedFolders().front().apps, (QStringList{"Top", "One"}));

    prompter.expect(QStringLiteral("Two を フォルダ：2008 に移動していいですか？"), MsgAnswer::Ok);
    drop(QStringLiteral("Two"), QStringLiteral("2008numonly"));
    EXPECT_EQ(children(QStringLiteral("2008numonly")), QStringList{"Two"});
    EXPECT_EQ(storedFolderOf(QStringLiteral("Two")), QStringLiteral("2008"));

    prompter.expect(QStringLiteral("Three を フォルダ：A に移動していいですか？"), MsgAnswer::Cancel);
    drop(QStringLiteral("Three"), QStringLiteral("A"));
    EXPECT_EQ(storedFolderOf(QStringLiteral("Three")), QStringLiteral("B"));
}

TEST_F(Moves, anApplicationDroppedOnAnotherGoesRightAfterItAndTakesItsFolder) {
    drop(QStringLiteral("One"), QStringLiteral("Two")); // the same folder, one place down
    EXPECT_EQ(children(QStringLiteral("A")), (QStringList{"A1", "Two", "One"}));
    EXPECT_EQ(storedFolderOf(QStringLiteral("One")), QStringLiteral("A"));
    drop(QStringLiteral("Three"), QStringLiteral("Two")); // from another folder
    EXPECT_EQ(children(QStringLiteral("A")), (QStringList{"A1", "Two", "Three", "One"}));
    EXPECT_TRUE(children(QStringLiteral("B")).isEmpty());
    // Its record follows, so that the editor offers the folder it is shown in.
    EXPECT_EQ(storedFolderOf(QStringLiteral("Three")), QStringLiteral("A"));
    const int three = CatalogTree::tag(node(*window, QStringLiteral("Three"))).toInt();
    EXPECT_EQ(window->Apps()[size_t(three)].AppDir(), QStringLiteral("A"));
    const std::vector<StoredFolder> stored = storedFolders();
    EXPECT_EQ(stored[1].apps, (QStringList{"Two", "Three", "One"}));
    drop(QStringLiteral("One"), QStringLiteral("Top")); // up to the root
    EXPECT_EQ(storedFolderOf(QStringLiteral("One")), QStringLiteral("ROOT"));
}

TEST_F(Moves, aFolderDroppedOnAnotherMovesWithEverythingBelowIt) {
    prompter.expect(QStringLiteral("フォルダ:A を フォルダ：B に移動していいですか？"), MsgAnswer::Ok);
    drop(QStringLiteral("A"), QStringLiteral("B"));
    EXPECT_EQ(children(QStringLiteral("B")), (QStringList{"Three", "A"}));
    EXPECT_EQ(children(QStringLiteral("A")), (QStringList{"A1", "One", "Two"}));
    // The applications moved with their folder; their own folder is still A.
    EXPECT_EQ(storedFolderOf(QStringLiteral("One")), QStringLiteral("A"));
    EXPECT_EQ(storedFolders(), (std::vector<StoredFolder>{
                                   {"ROOT", "ROOT", "1", {"Top"}},
                                   {"B", "ROOT", "1", {"Three"}},
                                   {"A", "B", "2", {"One", "Two"}},
                                   {"A1", "A", "1", {}},
                                   {"2008", "ROOT", "2", {}},
                               }));
}

TEST_F(Moves, shiftUpOnTheSecondOfThreeFoldersMakesItTheFirst) {
    shiftArrow(QStringLiteral("B"), Qt::Key_Up);
    EXPECT_EQ(children(QStringLiteral("ROOT")), (QStringList{"B", "A", "2008numonly", "Top"}));
    EXPECT_EQ(CatalogTree::key(m_tree().currentItem()), QStringLiteral("B"));
    std::vector<QString> order;
    for (const StoredFolder& f : storedFolders())
        if (f.parent == u"ROOT" && f.name != u"ROOT")
            order.push_back(f.name);
    EXPECT_EQ(order, (std::vector<QString>{"B", "A", "2008"}));

    shiftArrow(QStringLiteral("B"), Qt::Key_Down);
    EXPECT_EQ(children(QStringLiteral("ROOT")), (QStringList{"A", "B", "2008numonly", "Top"}));
}

TEST_F(Moves, applicationsAndFoldersDoNotTradePlacesByKey) {
    // A folder cannot go below the application that follows it...
    shiftArrow(QStringLiteral("2008numonly"), Qt::Key_Down);
    EXPECT_EQ(prompter.beeps(), 1);
    EXPECT_EQ(children(QStringLiteral("ROOT")), (QStringList{"A", "B", "2008numonly", "Top"}));
    EXPECT_EQ(CatalogTree::key(m_tree().currentItem()), QStringLiteral("2008numonly"));
    // ...nor an application above the sub-folders of its folder.
    node(*window, QStringLiteral("A"))->setExpanded(true);
    shiftArrow(QStringLiteral("One"), Qt::Key_Up);
    EXPECT_EQ(prompter.beeps(), 2);
    EXPECT_EQ(children(QStringLiteral("A")), (QStringList{"A1", "One", "Two"}));
    EXPECT_EQ(CatalogTree::key(m_tree().currentItem()), QStringLiteral("One"));
    // Among applications the order changes.
    shiftArrow(QStringLiteral("Two"), Qt::Key_Up);
    EXPECT_EQ(children(QStringLiteral("A")), (QStringList{"A1", "Two", "One"}));
    EXPECT_EQ(storedFolders()[1].apps, (QStringList{"Two", "One"}));
}

TEST_F(Moves, moveNodeWarnsAboutAMissingNode) {
    prompter.expect(QStringLiteral("[Gone]が見つかりません"));
    EXPECT_FALSE(window->treeEditing().MoveNode(QStringLiteral("Gone"), QStringLiteral("A")));
    prompter.expect(QStringLiteral("[Nowhere]が見つかりません"));
    EXPECT_FALSE(window->treeEditing().MoveNode(QStringLiteral("One"), QStringLiteral("Nowhere")));
    EXPECT_EQ(children(QStringLiteral("A")), (QStringList{"A1", "One", "Two"}));
}

} // namespace
} // namespace vadok::test
