#include "mainwindowfixture.h"

#include "catalog/settings.h"
#include "dialogs/frmsysconfig.h"
#include "mainwindow/catalogtree.h"
#include "shell/appearance.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

namespace vadok::test {
namespace {

class Layout : public MainWindowFixture {
protected:
    Layout() {
        writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"), {QStringLiteral("Tool")}}});
        appendRecord(record(QStringLiteral("Tool")));
    }
    template <typename W = QWidget> W* part(const char* name) const {
        return window->findChild<W*>(QString::fromLatin1(name));
    }
    void choose(int mode) { part<QAction>(mode == 0 ? "mnuDispMode(0)" : "mnuDispMode(1)")->trigger(); }
    int twips(int pixels) const { return pixelsToTwips(pixels, window->logicalDpiX()); }
    // Drags the splitter bar by (dx, dy) pixels and lets go.
    void dragSplitter(int dx, int dy) {
        auto* bar = part<QFrame>("picBorderBar");
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(2, 2));
        QMouseEvent move(QEvent::MouseMove, QPointF(2 + dx, 2 + dy),
                         bar->mapToGlobal(QPointF(2 + dx, 2 + dy)), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(bar, &move);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(2 + dx, 2 + dy));
    }

    std::unique_ptr<frmMain> window;
};

TEST_F(Layout, eachDisplayComesBackAtTheSizeItWasLeftAt) {
    settings().Config.Width = 9000;
    settings().Config.Height = 6000;
    window = openWindow();
    EXPECT_EQ(window->size(), QSize(600, 400));
    EXPECT_TRUE(part<QAction>("mnuDispMode(0)")->isChecked());

    choose(1);
    EXPECT_EQ(settings().Config.DispMode, 1);
    EXPECT_EQ(window->size(), QSize(200, 333)); // 3000 x 5000 twips
    EXPECT_TRUE(part<QAction>("mnuDispMode(1)")->isChecked());
    EXPECT_FALSE(part<QAction>("mnuDispMode(0)")->isChecked());
    window->resize(250, 420);
    EXPECT_EQ(settings().Config.narrowWidth, 3750);
    EXPECT_EQ(settings().Config.narrowHeight, 6300);

    choose(0);
    EXPECT_EQ(window->size(), QSize(600, 400));
    EXPECT_EQ(settings().Config.DispMode, 0);
    choose(1);
    EXPECT_EQ(window->size(), QSize(250, 420));
    EXPECT_EQ(settings().Config.Width, 9000);
}

TEST_F(Layout, theFolderMenuSwitchesTheDisplayBothWays) {
    window = openWindow();
    for (int expected : {1, 0, 1}) {
        part<QAction>("mnuDispChange")->trigger();
        EXPECT_EQ(settings().Config.DispMode, expected);
        EXPECT_EQ(part<QLabel>("picBigIcon")->isVisible(), expected == 0);
        EXPECT_EQ(part<QLineEdit>("txtAppTitle")->isVisible(), expected == 0);
    }
}

TEST_F(Layout, theNarrowSplitterStacksTheTreeOnThePanelAndADropStoresPosUD) {
    settings().Config.posUD = 3000; // 200 pixels
    window = openWindow();
    choose(1);
    auto* bar = part<QFrame>("picBorderBar");
    auto* info = part("picInfo");
    QWidget* tree = window->treeView();
    EXPECT_EQ(bar->geometry(), QRect(0, 200, window->centralWidget()->width(), 4));
    EXPECT_EQ(tree->geometry().bottom() + 1, bar->y());
    EXPECT_EQ(info->y(), bar->y() + bar->height());
    EXPECT_EQ(info->geometry().bottom() + 1, window->centralWidget()->height());

    dragSplitter(0, -50);
    EXPECT_EQ(bar->y(), 150);
    EXPECT_EQ(settings().Config.posUD, twips(150));
    EXPECT_EQ(tree->geometry().bottom() + 1, 150);
    EXPECT_EQ(info->y(), 154);

    // The panel keeps its height when the window grows; the tree takes the room.
    const int panelHeight = info->height();
    window->resize(window->width(), window->height() + 60);
    EXPECT_EQ(info->height(), panelHeight);
    EXPECT_EQ(bar->y(), 210);

    // Dragged past either edge, the bar stays in the window.
    dragSplitter(0, 5000);
    EXPECT_EQ(bar->geometry().bottom() + 1, window->centralWidget()->height());
    EXPECT_GE(info->height(), 0);
    dragSplitter(0, -5000);
    EXPECT_GE(bar->y(), 0);
    EXPECT_GE(tree->height(), 0);
}

TEST_F(Layout, theWideSplitterDropStoresLRAndTheNextWideLayoutUsesIt) {
    window = openWindow();
    window->resize(600, 400);
    const int start = part<QFrame>("picBorderBar")->x();
    dragSplitter(2010 / 15 - start, 0);
    EXPECT_EQ(settings().Config.LR, 2010);
    choose(1);
    choose(0);
    EXPECT_EQ(window->treeView()->width(), 2010 / 15);
}

TEST_F(Layout, theNarrowDisplayHidesWhatTheSettingsSay) {
    const struct {
        bool hideInfo, hideStatus;
        quint8 buttons;
    } cases[] = {
        {false, false, 0},
        {false, true, 1},
        {true, false, 0},
        {true, true, 1},
    };
    for (const auto& c : cases) {
        settings().Color.DispInfoNarrow = c.hideInfo;
        settings().Color.DispStatusNarrow = c.hideStatus;
        settings().Config.DispCmdButtons = c.buttons;
        window = openWindow();
        choose(1);
        const std::string which = std::to_string(c.hideInfo) + std::to_string(c.hideStatus) +
                                  std::to_string(c.buttons);
        EXPECT_EQ(part("picInfo")->isVisible(), !c.hideInfo) << which;
        EXPECT_EQ(part("picBorderBar")->isVisible(), !c.hideInfo) << which;
        EXPECT_EQ(window->statusBar()->isVisible(), !c.hideStatus) << which;
        if (c.hideInfo) {
            EXPECT_EQ(window->treeView()->geometry().bottom() + 1, window->centralWidget()->height());
            continue;
        }
        auto* notes = part<QPlainTextEdit>("txtAppInfo");
        EXPECT_EQ(part<QPushButton>("cmdExec")->isVisible(), c.buttons == 1) << which;
        EXPECT_EQ(notes->y(), c.buttons == 1 ? 32 : 0) << which;
        EXPECT_EQ(notes->geometry().bottom() + 1, part("picInfo")->height()) << which;
        choose(0);
        EXPECT_TRUE(window->statusBar()->isVisible());
        EXPECT_TRUE(part<QPushButton>("cmdExec")->isVisible());
    }
}

TEST_F(Layout, hiddenMenusComeBackAlongTheTopEdgeAndGoAgainOverTheTree) {
    settings().Color.DispMenuNarrow = true;
    window = openWindow();
    choose(1);
    auto* strip = part("picInsert");
    EXPECT_FALSE(window->menuBar()->isVisible());
    ASSERT_TRUE(strip->isVisible());
    EXPECT_EQ(strip->y(), 0);

    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(strip, &enter);
    EXPECT_TRUE(window->menuBar()->isVisible());
    EXPECT_TRUE(part<QMenu>("mnuFile")->menuAction()->isVisible());
    QWidget* treeArea = window->treeView()->viewport();
    QMouseEvent move(QEvent::MouseMove, QPointF(20, 20), treeArea->mapToGlobal(QPointF(20, 20)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(treeArea, &move);
    EXPECT_FALSE(window->menuBar()->isVisible());

    choose(0);
    EXPECT_TRUE(window->menuBar()->isVisible());
    EXPECT_FALSE(strip->isVisible());
}

TEST_F(Layout, theStoredNarrowDisplayIsTheOneTheWindowOpensIn) {
    settings().Config.KeepPos = 1;
    settings().Config.DispMode = 1;
    window = openWindow();
    EXPECT_TRUE(part<QAction>("mnuDispMode(1)")->isChecked());
    EXPECT_FALSE(part<QLabel>("picBigIcon")->isVisible());
    EXPECT_EQ(settings().Config.DispMode, 1);
}

TEST_F(Layout, theSettingsDialogsChoicesAreAppliedAndSaved) {
    window = openWindow();
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<frmSysConfig*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QCheckBox*>(QStringLiteral("chkDispSearchTextBoxAnyTime"))->setChecked(true);
        dialog->findChild<QLineEdit*>(QStringLiteral("txtDate"))->setText(QStringLiteral("9"));
        dialog->findChild<QPushButton*>(QStringLiteral("cmdSave"))->click();
    });
    part<QAction>("mnuConfig")->trigger();

    EXPECT_TRUE(part<QLineEdit>("txtSearch")->isVisible());
    EXPECT_GT(window->treeView()->y(), 0);
    settings() = Settings();
    LoadSettings();
    EXPECT_EQ(settings().Config.PackDate, 9);
    EXPECT_TRUE(settings().Color.DispSearchTextBoxAnyTime);
}

} // namespace

// The tree colours of the settings colour the tree; never chosen (0), they leave the desktop's.
TEST_F(Layout, theTreeTakesTheColoursOfTheSettings) {
    window = openWindow();
    const QPalette desktop = window->treeView()->palette();
    settings().Color.treeTXT = 0x0000FF; // stored as 0x00BBGGRR
    settings().Color.treeBG = 0x00FF00;
    settings().Color.treeSEL = 0xFF0000;
    window->ApplyInfoStyle();
    const QPalette chosen = window->treeView()->palette();
    EXPECT_EQ(chosen.color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_EQ(chosen.color(QPalette::Base), QColor(0, 255, 0));
    EXPECT_EQ(chosen.color(QPalette::Highlight), QColor(0, 0, 255));
    settings().Color.treeTXT = settings().Color.treeBG = settings().Color.treeSEL = 0;
    window->ApplyInfoStyle();
    EXPECT_EQ(window->treeView()->palette().color(QPalette::Base), desktop.color(QPalette::Base));
    EXPECT_EQ(window->treeView()->palette().color(QPalette::Text), desktop.color(QPalette::Text));
}

} // namespace vadok::test
