#include "dialogs/frmtreepop.h"

#include "support/fakemainwindow.h"
#include "support/qtprinters.h"
#include "support/scriptedprompter.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace vadok::test {
namespace {

// The main window's tree as frmMain hands it out: numeric folder keys carry "numonly", an
// application may be called like the picker's root, and an AppItem without a record has no
// tag.
class AppPicker : public ::testing::Test {
protected:
    AppPicker() {
        QPixmap folder(16, 16);
        folder.fill(Qt::yellow);
        main.catalogTree.images = {{u"folclose"_qs, QIcon(folder)}, {u"folopen"_qs, QIcon(folder)}};
        const auto folderNode = [](const QString& parent, const QString& key, const QString& text) {
            return CatalogNode{parent, key, text, QString(), u"folclose"_qs, u"folopen"_qs};
        };
        const auto app = [](const QString& parent, const QString& name, const QString& tag) {
            return CatalogNode{parent, name, name, tag, QString(), QString()};
        };
        // The root's "exeicon" is left out: the picker draws its own.
        main.catalogTree.nodes = {
            {QString(), u"ROOT"_qs, u"Vadok"_qs, u"ROOT"_qs, u"exeicon"_qs, u"exeicon"_qs},
            folderNode(u"ROOT"_qs, u"メイン"_qs, u"メイン"_qs),
            folderNode(u"ROOT"_qs, u"2008numonly"_qs, u"2008"_qs),
            folderNode(u"2008numonly"_qs, u"Sub"_qs, u"Sub"_qs),
            app(u"Sub"_qs, u"Delta"_qs, u"4"_qs),
            app(u"2008numonly"_qs, u"Gamma"_qs, u"3"_qs),
            app(u"メイン"_qs, u"Alpha"_qs, u"1"_qs),
            app(u"メイン"_qs, u"NoRecord"_qs, QString()),
            app(u"ROOT"_qs, u"Vadok"_qs, u"2"_qs),
        };
    }

    static QTreeWidget* tree(const frmTreePop& picker) {
        return picker.findChild<QTreeWidget*>(u"TreeView"_qs);
    }
    static QTreeWidgetItem* find(const frmTreePop& picker, const QString& text) {
        const auto items = tree(picker)->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return items.isEmpty() ? nullptr : items.last();
    }
    static void click(const frmTreePop& picker, const char* button) {
        QTest::mouseClick(picker.findChild<QPushButton*>(QString::fromUtf8(button)),
                          Qt::LeftButton);
    }
    // The tree as lines of its texts, two spaces per level, "+" before an expanded node.
    static QStringList dump(const frmTreePop& picker) {
        QStringList lines;
        std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* node, int depth) {
            lines << QString(depth * 2, u' ') + (node->isExpanded() ? u"+"_qs : QString()) +
                         node->text(0);
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i), depth + 1);
        };
        for (int i = 0; i < tree(picker)->topLevelItemCount(); ++i)
            walk(tree(picker)->topLevelItem(i), 0);
        return lines;
    }

    FakeMainWindow main;
    ScriptedPrompter prompter;
};

TEST_F(AppPicker, copiesTheTreeUnderItsOwnRootWithOnlyTheRootExpanded) {
    frmTreePop picker;
    EXPECT_EQ(picker.windowTitle(), u"AppSelection"_qs);
    picker.show();

    EXPECT_EQ(dump(picker), (QStringList{"+Vadok", "  メイン", "    Alpha", "    NoRecord",
                                         "  2008", "    Sub", "      Delta", "    Gamma",
                                         "  Vadok"}));
    EXPECT_FALSE(tree(picker)->topLevelItem(0)->icon(0).isNull()) << "the launcher's picture";
    EXPECT_FALSE(find(picker, u"2008"_qs)->icon(0).isNull());
}

TEST_F(AppPicker, okTakesTheChosenApplicationsNameIntoTheCaption) {
    for (const QString& name : {u"Delta"_qs, u"Alpha"_qs, u"Vadok"_qs}) {
        frmTreePop picker;
        picker.show();
        tree(picker)->setCurrentItem(find(picker, name));
        click(picker, "cmdOK");
        EXPECT_FALSE(picker.isVisible()) << name.toStdString();
        EXPECT_EQ(picker.result(), QDialog::Accepted);
        EXPECT_EQ(picker.windowTitle(), name);
    }
}

TEST_F(AppPicker, okOnTheRootAFolderOrARecordlessEntryAsksForAnApplication) {
    for (const QString& text : {u"Vadok"_qs, u"2008"_qs, u"NoRecord"_qs}) {
        frmTreePop picker;
        picker.show();
        QTreeWidgetItem* node = text == u"Vadok" ? tree(picker)->topLevelItem(0)
                                                 : find(picker, text);
        tree(picker)->setCurrentItem(node);
        prompter.expect(u"アプリケーションを選択してください。"_qs);
        click(picker, "cmdOK");
        EXPECT_TRUE(picker.isVisible()) << text.toStdString();
        EXPECT_EQ(picker.windowTitle(), u"AppSelection"_qs);
    }
}

TEST_F(AppPicker, cancelEscapeAndClosingLeaveCancelWithAnApplicationSelected) {
    const std::vector<std::pair<const char*, std::function<void(frmTreePop&)>>> ways = {
        {"cmdCancel", [](frmTreePop& p) { click(p, "cmdCancel"); }},
        {"Escape", [](frmTreePop& p) { QTest::keyClick(&p, Qt::Key_Escape); }},
        {"close button", [](frmTreePop& p) { p.close(); }},
    };
    for (const auto& [way, cancel] : ways) {
        frmTreePop picker;
        picker.show();
        tree(picker)->setCurrentItem(find(picker, u"Gamma"_qs));
        cancel(picker);
        EXPECT_FALSE(picker.isVisible()) << way;
        EXPECT_EQ(picker.result(), QDialog::Rejected) << way;
        EXPECT_EQ(picker.windowTitle(), u"Cancel"_qs) << way;
    }
}

TEST_F(AppPicker, doubleClickPicksAnApplicationButOnlyOpensAFolder) {
    frmTreePop picker;
    QTimer::singleShot(0, &picker, [&] {
        QTreeWidget* view = tree(picker);
        const auto doubleClick = [view](QTreeWidgetItem* node) {
            const QPoint at = view->visualItemRect(node).center();
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
        };
        doubleClick(find(picker, u"2008"_qs));
        EXPECT_TRUE(find(picker, u"2008"_qs)->isExpanded());
        EXPECT_TRUE(picker.isVisible());
        doubleClick(find(picker, u"Gamma"_qs));
    });
    EXPECT_EQ(picker.exec(), QDialog::Accepted);
    EXPECT_EQ(picker.windowTitle(), u"Gamma"_qs);
}

} // namespace
} // namespace vadok::test
