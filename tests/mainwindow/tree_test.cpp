#include "mainwindowfixture.h"

#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "catalog/subcommands.h"
#include "catalog/xmldocument.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/iconloader.h"

#include "support/modaldriver.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTest>
#include <QTimer>

namespace vadok::test {
namespace {

using Tree = MainWindowFixture;

// A catalog with nested folders, a numeric folder, a folder listed before its parent, an
// application at the top level and a record that no folder lists.
void writeMixedCatalog(Tree& t, const std::function<void(const QList<FolderSpec>&)>& folders,
                       const std::function<void(const AppRecord&)>& append) {
    (void)t;
    folders({
        {QStringLiteral("ROOT"), QString(), {QStringLiteral("RootApp")}},
        {QStringLiteral("メイン"),
         QStringLiteral("ROOT"),
         {QStringLiteral("Alpha"), QStringLiteral("Beta")}},
        {QStringLiteral("2008"), QStringLiteral("ROOT"), {QStringLiteral("Gamma")}},
        {QStringLiteral("Sub"), QStringLiteral("2008"), {QStringLiteral("Delta")}},
        {QStringLiteral("Orphan"), QStringLiteral("Later"), {QStringLiteral("Lost")}},
        {QStringLiteral("Later"), QStringLiteral("メイン"), {}},
    });
    for (const char* name : {"RootApp", "Alpha", "Beta", "Gamma", "Delta", "Unlisted", "Lost"})
        append(Tree::record(QString::fromUtf8(name)));
}

TEST_F(Tree, buildsKeysTagsAndOrderFromNestedAndNumericFolders) {
    writeMixedCatalog(
        *this, [this](const auto& f) { writeFolders(f); },
        [this](const AppRecord& r) { appendRecord(r); });
    auto window = openWindow();

    EXPECT_EQ(dumpTree(*window), (QStringList{
                                     "ROOT|Vadok|ROOT",
                                     "  メイン|メイン|",
                                     "    Later|Later|",
                                     "    Alpha|Alpha|2",
                                     "    Beta|Beta|3",
                                     "  2008numonly|2008|",
                                     "    Sub|Sub|",
                                     "      Delta|Delta|5",
                                     "    Gamma|Gamma|4",
                                     "  RootApp|RootApp|1",
                                 }));
    // Slot 0 unused; records in file order; the unlisted record and the one in the lost
    // folder take no slot.
    ASSERT_EQ(window->Apps().size(), 6u);
    EXPECT_EQ(window->Apps()[0].AppName(), QString());
    EXPECT_EQ(window->Apps()[4].AppName(), QStringLiteral("Gamma"));
    EXPECT_TRUE(node(*window, QStringLiteral("ROOT"))->isExpanded());
    EXPECT_EQ(window->IconQueue(), QStringList{QString()}); // loaded and reset

    // The unlisted record stays in the file.
    XmlDocument doc;
    ASSERT_TRUE(doc.load(dataFilePath()));
    EXPECT_EQ(doc.select(QStringLiteral("//App[Name='Unlisted']")).size(), 1);
}

TEST_F(Tree, savingWritesFoldersParentFirstAndTheNextBuildReadsThemBack) {
    writeMixedCatalog(
        *this, [this](const auto& f) { writeFolders(f); },
        [this](const AppRecord& r) { appendRecord(r); });
    auto window = openWindow();
    const QStringList before = dumpTree(*window);

    window->SaveFolders();
    const std::vector<StoredFolder> expected{
        {"ROOT", "ROOT", "1", {"RootApp"}}, {"メイン", "ROOT", "1", {"Alpha", "Beta"}},
        {"Later", "メイン", "1", {}},       {"2008", "ROOT", "2", {"Gamma"}},
        {"Sub", "2008", "1", {"Delta"}},
    };
    EXPECT_EQ(storedFolders(), expected);

    window->LoadTree();
    EXPECT_EQ(dumpTree(*window), before);
    // The rebuild selects the root again even though the panel already showed it.
    EXPECT_EQ(window->treeView()->currentItem(), node(*window, QStringLiteral("ROOT")));
}

TEST_F(Tree, anIncompleteTreeIsNeverWrittenBack) {
    writeMixedCatalog(
        *this, [this](const auto& f) { writeFolders(f); },
        [this](const AppRecord& r) { appendRecord(r); });
    const QByteArray before = readFile(dataFilePath());
    auto window = std::make_unique<frmMain>();
    window->SaveFolders(); // before the first build
    bool savedDuringBuild = false;
    QObject::connect(window.get(), &frmMain::stageChanged, window.get(), [&](const QString& stage) {
        if (stage == u"BOOT")
            QTimer::singleShot(0, window.get(), [&] {
                savedDuringBuild = true;
                window->SaveFolders(); // while the build lets messages through
            });
    });
    window->show();
    ASSERT_TRUE(waitUntil([&] { return window->stage() == u"NORMAL"; }));
    EXPECT_TRUE(savedDuringBuild);
    EXPECT_EQ(readFile(dataFilePath()), before);
}

TEST_F(Tree, subFoldersComeFirstAfterSaveAndRebuild) {
    writeFolders({{QStringLiteral("メイン"),
                   QStringLiteral("ROOT"),
                   {QStringLiteral("A"), QStringLiteral("B")}},
                  {QStringLiteral("X"), QStringLiteral("メイン"), {}}});
    appendRecord(record(QStringLiteral("A")));
    appendRecord(record(QStringLiteral("B")));
    auto window = openWindow();
    // Move folder X between the two applications, as a drag would.
    QTreeWidgetItem* main = node(*window, QStringLiteral("メイン"));
    QTreeWidgetItem* x = main->takeChild(0);
    main->insertChild(1, x);
    window->SaveFolders();
    const std::vector<StoredFolder> got = storedFolders();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2], (StoredFolder{"X", "メイン", "2", {}})); // order counts applications too
    window->LoadTree();
    EXPECT_EQ(dumpTree(*window), (QStringList{"ROOT|Vadok|ROOT", "  メイン|メイン|", "    X|X|",
                                              "    A|A|1", "    B|B|2"}));
}

TEST_F(Tree, aSecondRecordOfOneNameIsDeletedAndTheFirstIsShown) {
    writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"), {QStringLiteral("Tool")}}});
    appendRecord(record(QStringLiteral("Tool"), QStringLiteral("メイン"), QStringLiteral("first")));
    appendRecord(
        record(QStringLiteral("Tool"), QStringLiteral("メイン"), QStringLiteral("second")));
    auto window = openWindow();
    ASSERT_EQ(window->Apps().size(), 2u);
    EXPECT_EQ(window->Apps()[1].ExecCmd(), QStringLiteral("first"));

    XmlDocument doc;
    ASSERT_TRUE(doc.load(dataFilePath()));
    const QList<XmlElement> left = doc.select(QStringLiteral("//App"));
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left[0].firstChild(QStringLiteral("Exec")).text(), QStringLiteral("second"));
}

TEST_F(Tree, aRecordNamedLikeAFolderOrTheRootNeitherTurnsItIntoAnApplicationNorIsDeleted) {
    writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"), {}}});
    appendRecord(record(QStringLiteral("メイン")));
    appendRecord(record(QStringLiteral("ROOT")));
    auto window = openWindow();
    EXPECT_EQ(CatalogTree::tag(node(*window, QStringLiteral("メイン"))), QString());
    EXPECT_EQ(CatalogTree::tag(node(*window, QStringLiteral("ROOT"))), QStringLiteral("ROOT"));
    XmlDocument doc;
    ASSERT_TRUE(doc.load(dataFilePath()));
    EXPECT_EQ(doc.select(QStringLiteral("//App")).size(), 2);
}

TEST_F(Tree, aTitleThatCannotNameFilesIsShownWithAWarningAndNeverBecomesAPath) {
    const QString out = QStringLiteral("../outside");
    writeFolders({{QStringLiteral("ROOT"), QString(), {out, QStringLiteral("Good")}},
                  {QStringLiteral("メイン"), QStringLiteral("ROOT"), {QStringLiteral("a\tb")}}});
    appendRecord(record(out, QStringLiteral("ROOT"), QStringLiteral("first")));
    appendRecord(record(out, QStringLiteral("ROOT"), QStringLiteral("second")));
    appendRecord(record(QStringLiteral("Good"), QStringLiteral("ROOT")));
    appendRecord(record(QStringLiteral("a\tb")));
    // What the title would name beside the icon folder.
    writeIcon(QStringLiteral("Good"));
    ASSERT_TRUE(QFile::copy(settings().IconDir + QStringLiteral("Good.ico"),
                            settings().IconDir + out + QStringLiteral(".ico")));
    auto window = openWindow();

    for (const QString& name : {out, QStringLiteral("a\tb")}) {
        QTreeWidgetItem* shown = node(*window, name);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(CatalogTree::tag(shown), u'!' + name);
        EXPECT_NE(CatalogTree::imageKey(shown), name) << "its icon was read from outside";
    }
    ASSERT_EQ(window->Apps().size(), 2u);
    EXPECT_EQ(window->Apps()[1].AppName(), QStringLiteral("Good"));

    window->treeView()->setCurrentItem(node(*window, out));
    window->TreeView_NodeClick(node(*window, out));
    EXPECT_EQ(panelText(*window, 1),
              QStringLiteral("「../outside」は名称として使えないため、実行・格納・編集できません"));
    EXPECT_EQ(window->SelectedAppIndex(), -1);

    // Both records stay, and so do the places of the titles: the file is the user's to mend.
    window->SaveFolders();
    XmlDocument doc;
    ASSERT_TRUE(doc.load(dataFilePath()));
    EXPECT_EQ(doc.select(QStringLiteral("//App")).size(), 4);
    EXPECT_EQ(doc.select(QStringLiteral("//AppItem")).size(), 3);
}

TEST_F(Tree, reportsProgressEveryTenRecordsThenDone) {
    QStringList names;
    for (int i = 0; i < 25; ++i)
        names << QStringLiteral("App%1").arg(i, 2, 10, QChar(u'0'));
    writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"), names}});
    for (const QString& name : names)
        appendRecord(record(name));
    auto window = openWindow();
    const QString loading = QStringLiteral("アプリケーション一覧を呼び出しています。");
    QStringList progress;
    for (const QString& text : std::as_const(panel1History))
        if (text.startsWith(loading) || text == u"読み込み完了しました。")
            progress << text;
    EXPECT_EQ(progress,
              (QStringList{loading, loading + " (0/24)", loading + " (10/24)", loading + " (20/24)",
                           "読み込み完了しました。", "読み込み完了しました。"}));
}

TEST_F(Tree, missingDataFileIsReportedAndCreatedFromTheTemplate) {
    QFile::remove(dataFilePath());
    prompter.expect(QStringLiteral("データファイルが見つかりません\r\n新規作成します"));
    auto window = openWindow();
    EXPECT_TRUE(QFile::exists(dataFilePath()));
    EXPECT_EQ(dumpTree(*window), (QStringList{"ROOT|Vadok|ROOT", "  メイン|メイン|"}));
}

TEST_F(Tree, iconsUnderTheRootShowAtOnceTheOthersArriveLaterWithAPlaceholderMeanwhile) {
    writeFolders({{QStringLiteral("ROOT"), QString(), {QStringLiteral("Top")}},
                  {QStringLiteral("メイン"),
                   QStringLiteral("ROOT"),
                   {QStringLiteral("Inner"), QStringLiteral("NoIcon")}}});
    for (const char* name : {"Top", "Inner", "NoIcon"})
        appendRecord(record(QString::fromLatin1(name)));
    writeIcon(QStringLiteral("Top"));
    writeIcon(QStringLiteral("Inner"));

    QSemaphore held, proceed;
    auto window = startWindow();
    window->iconLoader().setWorkerGate([&] {
        held.release();
        proceed.acquire();
    });
    // However the test ends, the loading thread goes on before the window waits for it.
    const auto release = qScopeGuard([&] { proceed.release(); });
    ASSERT_TRUE(waitUntil([&] { return held.tryAcquire(); }));

    // The loading thread has read nothing yet: the tree is whole and usable.
    EXPECT_EQ(window->stage(), QStringLiteral("ICONLOADING"));
    EXPECT_EQ(window->IconQueue(), (QStringList{QString(), "Inner", "NoIcon"}));
    EXPECT_EQ(CatalogTree::imageKey(node(*window, QStringLiteral("Top"))), QStringLiteral("Top"));
    for (const char* name : {"Inner", "NoIcon"}) {
        QTreeWidgetItem* waiting = node(*window, QString::fromLatin1(name));
        EXPECT_EQ(CatalogTree::imageKey(waiting), IconLoader::placeholderKey()) << name;
        EXPECT_FALSE(waiting->icon(0).isNull()) << name;
    }

    proceed.release();
    ASSERT_TRUE(waitUntil([&] { return window->stage() == u"NORMAL"; }));
    EXPECT_EQ(CatalogTree::imageKey(node(*window, QStringLiteral("Inner"))),
              QStringLiteral("Inner"));
    EXPECT_FALSE(node(*window, QStringLiteral("Inner"))->icon(0).isNull());
    // A missing icon file leaves no image, and no placeholder.
    EXPECT_EQ(CatalogTree::imageKey(node(*window, QStringLiteral("NoIcon"))), QString());
    EXPECT_EQ(window->IconQueue(), QStringList{QString()});
}

TEST_F(Tree, iconLoadingReportsEveryTenQueuedIconsAndShowsEveryOne) {
    QStringList names;
    for (int i = 0; i < 35; ++i)
        names << QStringLiteral("App%1").arg(i, 2, 10, QChar(u'0'));
    writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"), names}});
    for (const QString& name : names) {
        appendRecord(record(name));
        writeIcon(name);
    }
    auto window = openWindow();
    const QString loaded = QStringLiteral("読み込み完了しました。");
    const qsizetype start = panel1History.indexOf(loaded + QStringLiteral("(アイコン読込中...)"));
    ASSERT_GE(start, 0);
    EXPECT_EQ(
        panel1History.mid(start),
        (QStringList{loaded + "(アイコン読込中...)", loaded + "(アイコン読込中... 0/35)",
                     loaded + "(アイコン読込中... 10/35)", loaded + "(アイコン読込中... 20/35)",
                     loaded + "(アイコン読込中... 30/35)", loaded}));
    for (const QString& name : names)
        EXPECT_EQ(CatalogTree::imageKey(node(*window, name)), name);
}

TEST_F(Tree, stagesRunInOrderAndTheWindowShowsBeforeTheCatalogIsRead) {
    auto window = std::make_unique<frmMain>();
    EXPECT_EQ(window->stage(), QStringLiteral("INIT"));
    EXPECT_EQ(window->findChild<QLineEdit*>(QStringLiteral("txtAppTitle"))->text(),
              QStringLiteral("Please wait..."));
    QStringList stages;
    bool visibleAtBoot = false;
    QObject::connect(window.get(), &frmMain::stageChanged, window.get(), [&](const QString& stage) {
        stages << stage;
        if (stage == u"BOOT")
            visibleAtBoot = window->isVisible();
    });
    window->show();
    ASSERT_TRUE(waitUntil([&] { return window->stage() == u"NORMAL"; }));
    EXPECT_TRUE(visibleAtBoot);
    EXPECT_EQ(stages, (QStringList{"BOOT", "ICONLOAD", "ICONLOADING", "NORMAL"}));
    EXPECT_EQ(window->findChild<QTimer*>(QStringLiteral("GCTimer"))->interval(), 500);
}

// ---- information panel ----------------------------------------------------------------------

class Panel : public MainWindowFixture {
protected:
    Panel() {
        writeFolders(
            {{QStringLiteral("メイン"),
              QStringLiteral("ROOT"),
              {QStringLiteral("Stored"), QStringLiteral("Open"), QStringLiteral("Keep")}}});
        AppRecord stored = record(QStringLiteral("Stored"));
        stored.Info = QStringLiteral("一行目\r\n二行目");
        appendRecord(stored);
        appendRecord(record(QStringLiteral("Open")));
        AppRecord keep = record(QStringLiteral("Keep"));
        keep.NonPack = true;
        appendRecord(keep);
        expand(QStringLiteral("Open"), {{QStringLiteral("a.txt"), "a"}});
        expand(QStringLiteral("Keep"), {{QStringLiteral("a.txt"), "a"}});
    }
    QString title() const {
        return window->findChild<QLineEdit*>(QStringLiteral("txtAppTitle"))->text();
    }
    QString info() const {
        return window->findChild<QPlainTextEdit*>(QStringLiteral("txtAppInfo"))->toPlainText();
    }
    bool packEnabled() const {
        return window->findChild<QPushButton*>(QStringLiteral("cmdPack"))->isEnabled();
    }

    std::unique_ptr<frmMain> window;
};

TEST_F(Panel, rootShowsTheVersionAndTheIntroduction) {
    window = openWindow();
    QString version =
        QStringLiteral("Vadok %1.%2").arg(VADOK_VERSION_MAJOR).arg(VADOK_VERSION_MINOR);
    if (VADOK_VERSION_REVISION > 0)
        version += QStringLiteral(".%1").arg(VADOK_VERSION_REVISION);
    EXPECT_EQ(title(), version);
    EXPECT_TRUE(panel1History.contains(version));
    EXPECT_TRUE(info().startsWith(
        QStringLiteral("Vadokはアプリケーション格納型ランチャーです。\n\nたくさんの")));
    EXPECT_TRUE(info().endsWith(QStringLiteral(
        "■version 1.9 の修正点\n　　検索機能の追加：[F3]キーを押すと検索画面が表示されます")));
    EXPECT_EQ(window->SelectedAppIndex(), -1);
}

TEST_F(Panel, folderAndApplicationsShowTheirOwnDetails) {
    window = openWindow();
    clickNode(*window, QStringLiteral("メイン"));
    EXPECT_EQ(title(), QStringLiteral("メイン"));
    EXPECT_EQ(info(), QStringLiteral("メイン フォルダ\n\n"));
    EXPECT_EQ(panelText(*window, 1), QStringLiteral("フォルダ:メイン"));
    EXPECT_EQ(panelText(*window, 2), QString());
    EXPECT_EQ(window->SelectedAppIndex(), -1);

    struct Case {
        QString name;
        QString status1;
        QString status2;
        bool packEnabled;
    };
    const Case cases[] = {
        {"Stored", "一行目", "圧縮", true},
        {"Open", "", "展開", true},
        {"Keep", "", "展開", false},
    };
    for (const Case& c : cases) {
        clickNode(*window, c.name);
        EXPECT_EQ(title(), c.name);
        EXPECT_EQ(panelText(*window, 1), c.status1) << c.name.toStdString();
        EXPECT_EQ(panelText(*window, 2), c.status2) << c.name.toStdString();
        EXPECT_EQ(packEnabled(), c.packEnabled) << c.name.toStdString();
        EXPECT_EQ(window->treeView()->shownKey(), c.name);
        EXPECT_EQ(window->Apps()[size_t(window->SelectedAppIndex())].AppName(), c.name);
    }
    clickNode(*window, QStringLiteral("Stored"));
    EXPECT_TRUE(info().startsWith(QStringLiteral("一行目\n二行目")));
    // The root has no state of its own: the last application's is not left standing.
    clickNode(*window, QStringLiteral("Open"));
    clickNode(*window, QStringLiteral("ROOT"));
    EXPECT_EQ(panelText(*window, 2), QString());
}

// After an edit the tree is built anew: the application stays selected, its folder open, and
// the panel shows it as it now is.
TEST_F(Panel, anEditedApplicationStaysSelectedInItsOpenFolder) {
    window = openWindow();
    clickNode(*window, QStringLiteral("Open"));
    ModalDriver driver;
    driver.then([](QDialog& d) {
        control<QLineEdit>(d, "txtName")->setText(QStringLiteral("Open 2"));
        control<QPushButton>(d, "cmdOK")->click();
    });
    window->findChild<QPushButton*>(QStringLiteral("cmdEdit"))->click();

    ASSERT_EQ(CatalogTree::key(window->treeView()->currentItem()), QStringLiteral("Open 2"));
    EXPECT_TRUE(window->treeView()->currentItem()->isSelected());
    EXPECT_TRUE(node(*window, QStringLiteral("メイン"))->isExpanded());
    EXPECT_EQ(window->treeView()->shownKey(), QStringLiteral("Open 2"));
    EXPECT_EQ(title(), QStringLiteral("Open 2"));
    EXPECT_EQ(window->Apps()[size_t(window->SelectedAppIndex())].AppName(),
              QStringLiteral("Open 2"));
}

TEST_F(Panel, aRepeatedClickOnTheShownNodeDoesNotRedraw) {
    window = openWindow();
    clickNode(*window, QStringLiteral("Stored"));
    window->setStatusPanelText(1, QStringLiteral("marker"));
    clickNode(*window, QStringLiteral("Stored"));
    EXPECT_EQ(panelText(*window, 1), QStringLiteral("marker"));
    clickNode(*window, QStringLiteral("Open"));
    clickNode(*window, QStringLiteral("Stored"));
    EXPECT_EQ(panelText(*window, 1), QStringLiteral("一行目"));
}

TEST_F(Panel, draggingTheSplitterStoresTheTreeWidth) {
    settings().Config.LR = 3000; // 200 pixels at 96 dots per inch
    window = openWindow();
    window->resize(600, 400);
    auto* bar = window->findChild<QFrame*>(QStringLiteral("picBorderBar"));
    const int dpi = window->logicalDpiX();
    const int startLeft = bar->x();
    ASSERT_EQ(window->treeView()->width(), startLeft);

    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(2, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(2 + 50, 10), bar->mapToGlobal(QPointF(2 + 50, 10)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &move);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(2, 10));

    EXPECT_EQ(bar->x(), startLeft + 50);
    EXPECT_EQ(window->treeView()->width(), startLeft + 50);
    EXPECT_EQ(settings().Config.LR, (startLeft + 50) * 1440 / dpi);
    auto* info = window->findChild<QWidget*>(QStringLiteral("picInfo"));
    EXPECT_EQ(info->x(), bar->x() + bar->width());
    EXPECT_EQ(info->x() + info->width(), window->centralWidget()->width());

    // A bar dragged past the edge stays inside the window.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(2, 10));
    QMouseEvent far(QEvent::MouseMove, QPointF(2 + 5000, 10),
                    bar->mapToGlobal(QPointF(2 + 5000, 10)), Qt::NoButton, Qt::LeftButton,
                    Qt::NoModifier);
    QCoreApplication::sendEvent(bar, &far);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(2, 10));
    EXPECT_EQ(bar->x() + bar->width(), window->centralWidget()->width());
    EXPECT_GE(info->width(), 0);
}

// ---- context menus ----------------------------------------------------------------------------

TEST_F(Panel, contextMenusArePreparedForTheNodeUnderThePointer) {
    AppRecord shortcut = record(QStringLiteral("Link"));
    shortcut.ShortCut = true;
    shortcut.OverRideBasePath = scratch.path() + u'/';
    appendRecord(shortcut);
    writeFolders({{QStringLiteral("メイン"),
                   QStringLiteral("ROOT"),
                   {QStringLiteral("Stored"), QStringLiteral("Open"), QStringLiteral("Keep"),
                    QStringLiteral("Link")}}});
    ASSERT_TRUE(SaveSubCommands(record(QStringLiteral("Stored")), {"one", "two", "three"}));
    window = openWindow();
    auto* treePop = window->findChild<QMenu*>(QStringLiteral("TreePop"));
    auto* dirPop = window->findChild<QMenu*>(QStringLiteral("TreeDirPop"));
    auto action = [&](const char* name) {
        return window->findChild<QAction*>(QString::fromLatin1(name));
    };

    clickNode(*window, QStringLiteral("ROOT"), Qt::RightButton);
    EXPECT_TRUE(dirPop->isVisible());
    EXPECT_TRUE(action("mnuDispChange")->isVisible());
    EXPECT_FALSE(action("TreeDirDel")->isEnabled());
    EXPECT_FALSE(action("TreeDirRen")->isEnabled());
    dirPop->hide();

    clickNode(*window, QStringLiteral("メイン"), Qt::RightButton);
    EXPECT_TRUE(dirPop->isVisible());
    EXPECT_FALSE(action("mnuDispChange")->isVisible());
    dirPop->hide();

    clickNode(*window, QStringLiteral("Stored"), Qt::RightButton);
    EXPECT_TRUE(treePop->isVisible());
    EXPECT_EQ(treePop->defaultAction(), action("TreePopExec"));
    EXPECT_TRUE(action("TreePopSubE")->isEnabled());
    for (int i = 0; i < 5; ++i) {
        QAction* item = window->findChild<QAction*>(QStringLiteral("TreePopSubExec(%1)").arg(i));
        EXPECT_EQ(item->isVisible(), i < 3) << i;
        if (i < 3) {
            EXPECT_EQ(item->text(), (QStringList{"one", "two", "three"})[i]);
        }
    }
    EXPECT_TRUE(action("TreePopPack")->isEnabled());
    EXPECT_FALSE(action("mnuNoPack")->isVisible());
    treePop->hide();

    clickNode(*window, QStringLiteral("Open"), Qt::RightButton);
    EXPECT_FALSE(action("TreePopSubE")->isEnabled());
    treePop->hide();
    clickNode(*window, QStringLiteral("Link"), Qt::RightButton);
    EXPECT_FALSE(action("TreePopPack")->isEnabled());
    treePop->hide();
    clickNode(*window, QStringLiteral("Keep"), Qt::RightButton);
    EXPECT_TRUE(action("mnuNoPack")->isVisible());
    treePop->hide();
    // A right click selects the node its menu acts on.
    ASSERT_GE(window->SelectedAppIndex(), 1);
    EXPECT_EQ(window->Apps()[size_t(window->SelectedAppIndex())].AppName(), QStringLiteral("Keep"));
    EXPECT_EQ(window->treeView()->shownKey(), QStringLiteral("Keep"));
}

TEST_F(Panel, everyCommandIsThereAndEnabled) {
    window = openWindow();
    EXPECT_TRUE(window->findChild<QPushButton*>(QStringLiteral("cmdEdit"))->isEnabled());
    for (const char* name :
         {"mnuFolPack", "mnuFolExec", "mnuExit", "mnuHelp", "mnuDispMode(0)", "TreePopExec",
          "TreePopOpenDir", "TreePopMakeShortCut", "numNoPackPack", "mnuNoPackExtract", "mnuNew",
          "mnuNewShortCut", "TreePopDel", "TreePopProperty", "TreeDirNew", "mnuSearch",
          "mnuConfig", "mnuDispMode(1)", "mnuDispChange"}) {
        QAction* item = window->findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(item, nullptr) << name;
        EXPECT_TRUE(item->isEnabled()) << name;
    }
    EXPECT_TRUE(window->findChild<QAction*>(QStringLiteral("mnuDispMode(0)"))->isChecked());
}


// A row whose image is missing keeps the room of an icon, so its text lines up with the
// rows beside it.
TEST(CatalogTreeRows, aRowWithoutAnIconIsIndentedLikeTheOthers) {
    CatalogTree tree;
    QPixmap red(16, 16);
    red.fill(Qt::red);
    tree.addImage(QStringLiteral("app"), QIcon(red));
    tree.addNode(QString(), QStringLiteral("ROOT"), QStringLiteral("Vadok"));
    QTreeWidgetItem* withIcon = tree.addNode(QStringLiteral("ROOT"), QStringLiteral("A"),
                                             QStringLiteral("A"), QStringLiteral("app"), QStringLiteral("app"));
    QTreeWidgetItem* without = tree.addNode(QStringLiteral("ROOT"), QStringLiteral("B"), QStringLiteral("B"));
    QTreeWidgetItem* unknown = tree.addNode(QStringLiteral("ROOT"), QStringLiteral("C"),
                                            QStringLiteral("C"), QStringLiteral("gone"), QStringLiteral("gone"));
    ASSERT_TRUE(withIcon && without && unknown);
    for (QTreeWidgetItem* row : {without, unknown}) {
        EXPECT_FALSE(row->icon(0).isNull());
        EXPECT_EQ(row->icon(0).actualSize(QSize(16, 16)), withIcon->icon(0).actualSize(QSize(16, 16)));
    }
}

} // namespace
} // namespace vadok::test
