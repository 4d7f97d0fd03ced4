// Keys and mouse buttons as the user presses them: real events sent through the X server by
// xdotool to the window on a virtual display that openbox manages. Run by
// tests/support/under_openbox.sh.
#include "mainwindowfixture.h"

#include "catalog/apprecords.h"
#include "catalog/settings.h"
#include "catalog/subcommands.h"
#include "dialogs/frmfulltext.h"
#include "dialogs/widgetprompter.h"
#include "fulltext/fulltextsearch.h"
#include "mainwindow/catalogtree.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidgetItem>

namespace vadok::test {
namespace {

const QString kRunStarted = QStringLiteral("Toolを実行開始...");

// Counts the releases of the key that closes every step: X delivers events in the order they
// were sent, so once it is seen, everything sent before it has been handled.
class BarrierWatch : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyRelease &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_F12)
            ++releases;
        return QObject::eventFilter(watched, event);
    }
    int releases = 0;
};

class RealKeys : public MainWindowFixture {
protected:
    RealKeys() : trace(scratch.path() + QStringLiteral("/trace.txt")) {
        qputenv("TRACE_FILE", trace.toUtf8());
        writeFolders({{QStringLiteral("ROOT"), QStringLiteral("ROOT"), {QStringLiteral("Tool")}},
                      {QStringLiteral("A"), QStringLiteral("ROOT"), {}},
                      {QStringLiteral("B"), QStringLiteral("ROOT"), {}},
                      {QStringLiteral("C"), QStringLiteral("ROOT"), {}}});
        const QList<std::pair<QString, QByteArray>> files = {
            {QStringLiteral("run.sh"), "#!/bin/sh\necho main >> \"$TRACE_FILE\"\n"},
            {QStringLiteral("alt.sh"), "#!/bin/sh\necho alt >> \"$TRACE_FILE\"\n"}};
        storeArchive(QStringLiteral("Tool"), files);
        expand(QStringLiteral("Tool"), files);
        const AppRecord tool =
            record(QStringLiteral("Tool"), QStringLiteral("ROOT"), QStringLiteral("run.sh"));
        appendRecord(tool);
        EXPECT_TRUE(SaveSubCommands(tool, {QStringLiteral("alt.sh")}));
        qApp->installEventFilter(&barrier);
    }
    ~RealKeys() override {
        qApp->removeEventFilter(&barrier);
        qunsetenv("TRACE_FILE");
    }

    // The window on the screen, active, its tree holding the keyboard.
    void open() {
        window = openWindow();
        window->activateWindow();
        xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                 QString::number(window->winId())});
        ASSERT_TRUE(waitUntil([&] { return window->isActiveWindow(); }))
            << "the window manager did not activate the window";
        tree()->setFocus();
        settle();
    }
    CatalogTree* tree() const { return window->treeView(); }

    static void xdotool(const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral("xdotool"), arguments);
        ASSERT_TRUE(process.waitForFinished(60000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }
    // Waits until the events sent so far have all been handled.
    void settle() {
        const int before = barrier.releases;
        xdotool({QStringLiteral("key"), QStringLiteral("F12")});
        ASSERT_TRUE(waitUntil([&] { return barrier.releases > before; }))
            << "the events sent did not arrive; focus in "
            << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString()
                                            : std::string("nothing"))
            << (QApplication::activePopupWidget() ? ", a menu open" : "");
    }
    // Presses each key (xdotool's names, "shift+Up") in turn, and waits until all are handled.
    void keys(const QStringList& names) {
        xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30")} +
                names);
        settle();
    }
    void type(const QString& text) {
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
        settle();
    }
    // A click with the button (1 left, 3 right) on the node's text.
    void click(const QString& key, int button = 1) {
        QTreeWidgetItem* item = tree()->node(key);
        ASSERT_NE(item, nullptr) << key.toStdString();
        tree()->scrollToItem(item);
        const QRect row = tree()->visualItemRect(item);
        // Placed by the X server within the window, wherever the window manager has put it.
        const QPoint at = tree()->viewport()->mapTo(
            window.get(), QPoint(row.left() + row.height() + 8, row.center().y()));
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"),
                 QString::number(window->winId()), QString::number(at.x()),
                 QString::number(at.y()), QStringLiteral("click"), QString::number(button)});
        settle();
    }
    QString current() const { return CatalogTree::key(tree()->currentItem()); }
    QStringList children(const QString& key) const {
        QStringList keys;
        const QTreeWidgetItem* parent = tree()->node(key);
        for (int i = 0; i < parent->childCount(); ++i)
            keys << CatalogTree::key(parent->child(i));
        return keys;
    }
    QStringList storedRootFolders() const {
        QStringList names;
        for (const StoredFolder& f : storedFolders())
            if (f.parent == u"ROOT" && f.name != u"ROOT")
                names << f.name;
        return names;
    }
    QMenu* menu(const char* name) const {
        return window->findChild<QMenu*>(QString::fromLatin1(name));
    }
    QAction* action(const char* name) const {
        return window->findChild<QAction*>(QString::fromLatin1(name));
    }
    qsizetype runsStarted() const { return panel1History.count(kRunStarted); }
    bool traced(const QByteArray& line) const { return readFile(trace).split('\n').contains(line); }

    QString trace;
    BarrierWatch barrier;
    std::unique_ptr<frmMain> window;
};

TEST_F(RealKeys, shiftArrowsMoveTheClickedFolderAmongItsSiblings) {
    open();
    click(QStringLiteral("B"));
    ASSERT_EQ(current(), QStringLiteral("B"));

    // xdotool lets go of Shift before the arrow, as many users do.
    keys({QStringLiteral("shift+Up")});
    EXPECT_EQ(children(QStringLiteral("ROOT")), (QStringList{"B", "A", "C", "Tool"}));
    EXPECT_EQ(current(), QStringLiteral("B"));
    EXPECT_EQ(storedRootFolders(), (QStringList{"B", "A", "C"}));

    keys({QStringLiteral("shift+Down"), QStringLiteral("shift+Down")});
    EXPECT_EQ(children(QStringLiteral("ROOT")), (QStringList{"A", "C", "B", "Tool"}));
    EXPECT_EQ(current(), QStringLiteral("B"));
    EXPECT_EQ(storedRootFolders(), (QStringList{"A", "C", "B"}));

    // The arrow let go while Shift is still held.
    xdotool({QStringLiteral("keydown"), QStringLiteral("shift"), QStringLiteral("keydown"),
             QStringLiteral("Up"), QStringLiteral("keyup"), QStringLiteral("Up"),
             QStringLiteral("keyup"), QStringLiteral("shift")});
    settle();
    EXPECT_EQ(children(QStringLiteral("ROOT")), (QStringList{"A", "B", "C", "Tool"}));
    EXPECT_EQ(current(), QStringLiteral("B"));
}

struct MenuChoice {
    const char* item;
    QStringList keys; // after the right click on Tool, up to the Enter that chooses
    int runs;         // of the main command
    bool alternative; // the alternative command ran
    bool expanded;    // Tool's folder is left in the execution folder
};

void PrintTo(const MenuChoice& c, std::ostream* out) { *out << c.item; }

class EnterInTheMenu : public RealKeys, public ::testing::WithParamInterface<MenuChoice> {};

TEST_P(EnterInTheMenu, runsTheChosenItemAndNothingElse) {
    const MenuChoice c = GetParam();
    open();
    click(QStringLiteral("Tool"), 3);
    ASSERT_TRUE(waitUntil([&] { return menu("TreePop")->isVisible(); }));
    keys(c.keys);
    // Enter held as a person holds it: the menu has closed by the time it comes up.
    xdotool({QStringLiteral("keydown"), QStringLiteral("Return")});
    EXPECT_TRUE(waitUntil([] { return QApplication::activePopupWidget() == nullptr; }));
    xdotool({QStringLiteral("keyup"), QStringLiteral("Return")});
    settle();
    if (c.alternative) {
        EXPECT_TRUE(waitUntil([&] { return traced("alt"); }));
    }
    if (c.runs > 0) {
        EXPECT_TRUE(waitUntil([&] { return traced("main"); }));
    }
    // The release of Enter has been handled by now: it started nothing more.
    EXPECT_EQ(runsStarted(), c.runs);
    EXPECT_EQ(QFileInfo::exists(execDir() + QStringLiteral("Tool")), c.expanded);
}

INSTANTIATE_TEST_SUITE_P(
    Items, EnterInTheMenu,
    ::testing::Values(MenuChoice{"run", {"Down"}, 1, false, true},
                      MenuChoice{"store", {"Down", "Down"}, 0, false, false},
                      MenuChoice{"alternative", {"Down", "Down", "Down", "Right"}, 0, true, true}),
    [](const ::testing::TestParamInfo<MenuChoice>& info) { return info.param.item; });

TEST_F(RealKeys, theMenuKeyAndShiftF10OpenTheSelectedNodesMenuAtTheNode) {
    open();
    const struct {
        const char* node;
        const char* key;
        const char* menu;
        bool rootItems; // 表示切替 shown, rename and delete greyed
    } cases[] = {
        {"Tool", "shift+F10", "TreePop", false}, {"Tool", "Menu", "TreePop", false},
        {"A", "Menu", "TreeDirPop", false},      {"A", "shift+F10", "TreeDirPop", false},
        {"ROOT", "shift+F10", "TreeDirPop", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.node) + " " + c.key);
        const QString key = QString::fromLatin1(c.node);
        click(key);
        ASSERT_EQ(current(), key);
        keys({QString::fromLatin1(c.key)});
        QMenu* opened = menu(c.menu);
        ASSERT_TRUE(waitUntil([&] { return opened->isVisible(); }));
        const QRect row = tree()->visualItemRect(tree()->node(key));
        const QRect nodeOnScreen(tree()->viewport()->mapToGlobal(row.topLeft()), row.size());
        EXPECT_TRUE(nodeOnScreen.adjusted(0, 0, 0, row.height()).contains(opened->pos()))
            << "menu at " << opened->pos().x() << "," << opened->pos().y();
        if (QByteArray(c.menu) == "TreeDirPop") {
            EXPECT_EQ(action("mnuDispChange")->isVisible(), c.rootItems);
            EXPECT_EQ(action("TreeDirDel")->isEnabled(), !c.rootItems);
        }
        keys({QStringLiteral("Escape")});
        EXPECT_TRUE(waitUntil([&] { return !opened->isVisible(); }));
    }
}

TEST_F(RealKeys, theRootsMenuActsOnTheRootWhileAnApplicationWasSelected) {
    open();
    click(QStringLiteral("Tool"));
    ASSERT_EQ(current(), QStringLiteral("Tool"));
    click(QStringLiteral("ROOT"), 3);
    ASSERT_TRUE(waitUntil([&] { return menu("TreeDirPop")->isVisible(); }));
    prompter.expect(QStringLiteral("『Vadok』の下に新規ディレクトリを作成しますか？"), MsgAnswer::No);
    // 表示切替, then フォルダの新規作成 past the separator.
    keys({QStringLiteral("Down"), QStringLiteral("Down"), QStringLiteral("Return")});
    EXPECT_FALSE(panel1History.contains(QStringLiteral("フォルダが選択されていません")));
    EXPECT_EQ(current(), QStringLiteral("ROOT"));
    EXPECT_EQ(prompter.beeps(), 0);
}

TEST_F(RealKeys, searchSelectsNothingUntilDownAndEnterRunsOnlyTheSelectedHitOnce) {
    settings().Key.FindKey = 1;
    open();
    auto* hits = window->findChild<QListWidget*>(QStringLiteral("listviewSearch"));
    keys({QStringLiteral("F3")});
    ASSERT_TRUE(window->searchMode());
    type(QStringLiteral("too"));
    ASSERT_EQ(hits->count(), 1);
    EXPECT_TRUE(hits->selectedItems().isEmpty());
    EXPECT_EQ(tree()->shownKey(), QStringLiteral("ROOT"));

    // Enter with nothing selected only leaves the search.
    keys({QStringLiteral("Return")});
    EXPECT_FALSE(window->searchMode());
    EXPECT_EQ(runsStarted(), 0);

    keys({QStringLiteral("F3")});
    type(QStringLiteral("too"));
    keys({QStringLiteral("Down")});
    ASSERT_EQ(hits->selectedItems().size(), 1);
    EXPECT_EQ(tree()->shownKey(), QStringLiteral("Tool"));
    // The release of this Enter reaches the tree, which has the focus again.
    keys({QStringLiteral("Return")});
    EXPECT_FALSE(window->searchMode());
    EXPECT_TRUE(waitUntil([&] { return traced("main"); }));
    EXPECT_EQ(runsStarted(), 1);
}

TEST_F(RealKeys, ctrlShiftFFindsAnApplicationByItsNotesAndEnterSelectsIt) {
    AppRecord tool;
    ASSERT_TRUE(FindAppByName(QStringLiteral("Tool"), tool));
    tool.Info = QStringLiteral("hammer and nails");
    ASSERT_TRUE(SaveAppRecord(tool));
    open();
    window->fullTextSearch().waitUntilIdle();
    click(QStringLiteral("A"));

    keys({QStringLiteral("ctrl+shift+f")});
    const auto dialog = [&] { return window->findChild<frmFullText*>(); };
    ASSERT_TRUE(waitUntil([&] { return dialog() && dialog()->isActiveWindow(); }))
        << "the dialog did not open, or the window manager did not activate it";
    type(QStringLiteral("hammer"));
    auto* results = dialog()->findChild<QTreeWidget*>(QStringLiteral("lvwFullText"));
    // Answered from the index's query thread.
    ASSERT_TRUE(waitUntil([&] { return results->topLevelItemCount() == 1; }));

    keys({QStringLiteral("Return")});
    EXPECT_TRUE(waitUntil([&] { return !dialog()->isVisible(); }));
    EXPECT_EQ(current(), QStringLiteral("Tool"));
    EXPECT_EQ(tree()->shownKey(), QStringLiteral("Tool"));
    EXPECT_TRUE(waitUntil([&] { return window->isActiveWindow(); }));
    // The release of Enter, handled by now, ran nothing.
    settle();
    EXPECT_EQ(runsStarted(), 0);
}

// Presses a button of the message box that opens next through its accessibility action, as a
// screen reader does: no key and no mouse button reaches the application for it.
class ScreenReader : public QObject {
public:
    explicit ScreenReader(QMessageBox::StandardButton button) : m_button(button) {
        qApp->installEventFilter(this);
    }
    ~ScreenReader() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box && event->type() == QEvent::Show && pressed == 0) {
            // Once the box runs its own loop, as the box on the screen is acted on.
            QTimer::singleShot(0, box, [this, box] {
                QAccessibleInterface* face =
                    QAccessible::queryAccessibleInterface(box->button(m_button));
                ASSERT_TRUE(face && face->actionInterface());
                face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            });
            ++pressed;
        }
        return QObject::eventFilter(watched, event);
    }
    int pressed = 0;

private:
    QMessageBox::StandardButton m_button;
};

// How the message is opened, on Tool, selected. Nothing waits for the events sent: the keys
// that would tell they arrived would reach a window the message blocks.
enum class Opening { DeleteKey, MenuByMouse, MenuByKeys, RootMenuByMouse, DoubleClick, EnterKey };

struct ClosedByReader {
    const char* what;
    Opening opening;
    QMessageBox::StandardButton button;
};

void PrintTo(const ClosedByReader& c, std::ostream* out) {
    *out << c.what;
}

class MessageClosedByAReader : public RealKeys,
                               public ::testing::WithParamInterface<ClosedByReader> {
protected:
    // Moves the pointer to a point of the window and presses button there count times.
    void clickAt(QWidget* widget, const QPoint& at, int button, int count = 1) {
        const QPoint global = widget->mapToGlobal(at);
        xdotool({QStringLiteral("mousemove"), QString::number(global.x()),
                 QString::number(global.y()), QStringLiteral("click"), QStringLiteral("--repeat"),
                 QString::number(count), QString::number(button)});
    }
    QPoint nodeAt(const QString& key) {
        const QRect row = tree()->visualItemRect(tree()->node(key));
        return QPoint(row.left() + row.height() + 8, row.center().y());
    }
    void openMessage(Opening opening) {
        switch (opening) {
        case Opening::DeleteKey:
            xdotool({QStringLiteral("key"), QStringLiteral("Delete")});
            break;
        case Opening::MenuByMouse: {
            clickAt(tree()->viewport(), nodeAt(QStringLiteral("Tool")), 3);
            QMenu* treePop = menu("TreePop");
            ASSERT_TRUE(waitUntil([&] { return treePop->isVisible(); }));
            clickAt(treePop, treePop->actionGeometry(action("TreePopDel")).center(), 1);
            break;
        }
        case Opening::RootMenuByMouse: {
            // The right click moves the selection to the root as the menu opens.
            clickAt(tree()->viewport(), nodeAt(QStringLiteral("ROOT")), 3);
            QMenu* dirPop = menu("TreeDirPop");
            ASSERT_TRUE(waitUntil([&] { return dirPop->isVisible(); }));
            clickAt(dirPop, dirPop->actionGeometry(action("TreeDirNew")).center(), 1);
            break;
        }
        case Opening::DoubleClick:
            clickAt(tree()->viewport(), nodeAt(QStringLiteral("Broken")), 1, 2);
            break;
        case Opening::MenuByKeys:
            xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30"),
                     QStringLiteral("Menu"), QStringLiteral("d")});
            break;
        case Opening::EnterKey:
            clickAt(tree()->viewport(), nodeAt(QStringLiteral("Broken")), 1);
            xdotool({QStringLiteral("key"), QStringLiteral("Return")});
            break;
        }
    }
};

TEST_P(MessageClosedByAReader, leavesTheNextClickOnTheTreeSelectingItsRow) {
    const ClosedByReader& c = GetParam();
    // Broken's program is missing: running it says so.
    appendRecord(
        record(QStringLiteral("Broken"), QStringLiteral("ROOT"), QStringLiteral("missing.sh")));
    expand(QStringLiteral("Broken"), {{QStringLiteral("readme.txt"), "x"}});
    writeFolders({{QStringLiteral("ROOT"),
                   QStringLiteral("ROOT"),
                   {QStringLiteral("Tool"), QStringLiteral("Broken")}},
                  {QStringLiteral("A"), QStringLiteral("ROOT"), {}},
                  {QStringLiteral("B"), QStringLiteral("ROOT"), {}}});
    open();
    WidgetPrompter boxes;
    boxes.setOwner(window.get());
    setPrompter(&boxes);
    struct Restore {
        ScriptedPrompter& scripted;
        ~Restore() { setPrompter(&scripted); }
    } restore{prompter};
    click(QStringLiteral("Tool"));
    ASSERT_EQ(current(), QStringLiteral("Tool"));

    ScreenReader reader(c.button);
    openMessage(c.opening);
    ASSERT_TRUE(
        waitUntil([&] { return reader.pressed == 1 && !QApplication::activeModalWidget(); }));
    // No key in between: a key would set right what the click finds wrong.
    click(QStringLiteral("B"));
    EXPECT_EQ(current(), QStringLiteral("B"));
    EXPECT_TRUE(tree()->currentItem()->isSelected());
    EXPECT_EQ(tree()->shownKey(), QStringLiteral("B"));
    click(QStringLiteral("Tool"));
    EXPECT_EQ(current(), QStringLiteral("Tool"));
}

INSTANTIATE_TEST_SUITE_P(
    Messages, MessageClosedByAReader,
    ::testing::Values(
        ClosedByReader{"deleteKeyHint", Opening::DeleteKey, QMessageBox::Ok},
        ClosedByReader{"menuMouseDeleteQuestion", Opening::MenuByMouse, QMessageBox::Cancel},
        ClosedByReader{"menuKeysDeleteQuestion", Opening::MenuByKeys, QMessageBox::Cancel},
        ClosedByReader{"rootMenuMouseNewFolderQuestion", Opening::RootMenuByMouse, QMessageBox::No},
        ClosedByReader{"enterFailedRun", Opening::EnterKey, QMessageBox::Ok},
        ClosedByReader{"doubleClickFailedRun", Opening::DoubleClick, QMessageBox::Ok}),
    [](const ::testing::TestParamInfo<ClosedByReader>& info) { return info.param.what; });

} // namespace
} // namespace vadok::test
