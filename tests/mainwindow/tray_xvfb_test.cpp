// The tray on a real X server: run by tray_under_xvfb.sh, once before a tray host runs
// (VADOK_TRAY_HOST=absent), once with trayer docked at the top edge (present), and once more
// with openbox managing the windows (VADOK_WINDOW_MANAGER=openbox), where the window's close
// button, minimising and the tray icon are worked through the X server with xdotool.
#include "mainwindowfixture.h"

#include "catalog/settings.h"
#include "dialogs/frmfulltext.h"
#include "fulltext/fulltextsearch.h"
#include "instances/handover.h"
#include "mainwindow/catalogtree.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWindow>

#ifdef VADOK_TEST_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#endif

namespace vadok::test {
namespace {

class TrayHost : public MainWindowFixture {
protected:
    TrayHost() {
        writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"), {QStringLiteral("Tool")}}});
        appendRecord(record(QStringLiteral("Tool")));
    }
    static bool hostRuns() { return qgetenv("VADOK_TRAY_HOST") == "present"; }
    // The widget the X11 tray embeds for the icon.
    static QWidget* embeddedIcon() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (QByteArray(w->metaObject()->className()) == "QSystemTrayIconSys" && w->isVisible())
                return w;
        }
        return nullptr;
    }
    std::unique_ptr<frmMain> window;
};

TEST_F(TrayHost, withoutAHostMinimisingKeepsTheWindowWithinReach) {
    if (hostRuns())
        GTEST_SKIP() << "a tray host runs";
    EXPECT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    settings().Config.IntoTaskTray = 1;
    window = openWindow();
    window->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->trayIconShown());
}

TEST_F(TrayHost, theResidentIconEmbedsAndAClickOnItBringsTheWindow) {
    if (!hostRuns())
        GTEST_SKIP() << "no tray host runs";
    ASSERT_TRUE(waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
        << "trayer runs but no tray appeared";
    settings().Config.IntoTaskTray = 2;
    window = openWindow();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->trayIconShown());
    ASSERT_TRUE(waitUntil([] { return embeddedIcon() != nullptr; }))
        << "the icon was not embedded in the tray";
    const auto* icon = window->findChild<QSystemTrayIcon*>(QStringLiteral("TrayIcon"));
    EXPECT_TRUE(waitUntil([&] { return icon->geometry().width() > 0; }));

    QWidget* embedded = embeddedIcon();
    QTest::mouseClick(embedded, Qt::LeftButton, {}, embedded->rect().center());
    EXPECT_TRUE(waitUntil([&] { return window->isVisible(); }));
    EXPECT_TRUE(window->trayIconShown());
    QTest::mouseClick(embedded, Qt::LeftButton, {}, embedded->rect().center());
    EXPECT_TRUE(waitUntil([&] { return !window->isVisible(); }));
}

#ifdef VADOK_TEST_XCB
// What the X server shows, asked of it directly: Qt's own idea of a window's visibility is what
// went wrong under a window manager.
class XServer {
public:
    XServer() {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        m_connection = x11 ? x11->connection() : nullptr;
    }
    bool available() const { return m_connection != nullptr; }
    // Whether the window (or the frame the window manager put round it) is mapped and so on
    // the screen.
    bool viewable(xcb_window_t window) const {
        xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
            m_connection, xcb_get_window_attributes(m_connection, window), nullptr);
        const bool result = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(reply);
        return result;
    }
    // The top-level windows on the screen that cover point: a hidden window leaves none there,
    // neither itself nor an empty frame.
    int viewableTopLevelsAt(const QPoint& point) const {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, root), nullptr);
        if (!tree)
            return -1;
        int count = 0;
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            if (!viewable(children[i]))
                continue;
            xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(
                m_connection, xcb_get_geometry(m_connection, children[i]), nullptr);
            if (g && QRect(g->x, g->y, g->width, g->height).contains(point))
                ++count;
            std::free(g);
        }
        std::free(tree);
        return count;
    }

    // Whether the tray host has taken the window in: mapped, and no longer a child of the root.
    bool embedded(xcb_window_t window) const {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr);
        const bool reparented = tree && tree->parent != root;
        std::free(tree);
        return reparented && viewable(window);
    }

    // point of window on the screen.
    QPoint onRoot(xcb_window_t window, const QPoint& point) const {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        xcb_translate_coordinates_reply_t* reply = xcb_translate_coordinates_reply(
            m_connection,
            xcb_translate_coordinates(m_connection, window, root, qint16(point.x()), qint16(point.y())),
            nullptr);
        const QPoint result = reply ? QPoint(reply->dst_x, reply->dst_y) : QPoint(-1, -1);
        std::free(reply);
        return result;
    }

private:
    xcb_connection_t* m_connection = nullptr;
};

// Runs xdotool and lets the window answer the window manager meanwhile.
bool xdotool(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!MainWindowFixture::waitUntil([&] { return tool.state() == QProcess::NotRunning; })) {
        tool.kill();
        tool.waitForFinished();
        return false;
    }
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

class UnderWindowManager : public TrayHost {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("VADOK_WINDOW_MANAGER"))
            GTEST_SKIP() << "no window manager runs";
        ASSERT_TRUE(x.available());
        ASSERT_TRUE(waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
            << "trayer runs but no tray appeared";
    }
    QString id() const { return QString::number(window->winId()); }
    // Shown as the user sees it: mapped by the window manager and painted.
    bool onScreen() const {
        return window->isVisible() && x.viewable(xcb_window_t(window->winId())) &&
               window->windowHandle()->isExposed();
    }
    // Gone as the user sees it: nothing left on the screen where the window was.
    bool goneFrom(const QPoint& where) const {
        return !window->isVisible() && !x.viewable(xcb_window_t(window->winId())) &&
               x.viewableTopLevelsAt(where) == 0;
    }
    void closeButton() {
        ASSERT_TRUE(xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), id()}));
        // openbox's own binding for its close button: it asks the window to close.
        ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"),
                             QStringLiteral("alt+F4")}));
    }
    void minimiseButton() {
        ASSERT_TRUE(xdotool({QStringLiteral("windowminimize"), QStringLiteral("--sync"), id()}));
    }
    void clickTrayIcon() {
        ASSERT_TRUE(waitUntil([&] {
            return embeddedIcon() != nullptr && x.embedded(xcb_window_t(embeddedIcon()->winId()));
        })) << "the icon was not embedded in the tray";
        // The tray host holds the icon's window: only the X server knows where it is.
        QWidget* icon = embeddedIcon();
        // Each click lands apart from the one before, or the two would make a double click.
        m_leftHalf = !m_leftHalf;
        const QPoint within(icon->width() * (m_leftHalf ? 1 : 3) / 4, icon->height() / 2);
        const QPoint at = x.onRoot(xcb_window_t(icon->winId()), within);
        ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QString::number(at.x()),
                             QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")}));
    }
    void secondStart() { ASSERT_TRUE(handOver(kRestoreRequest)); }

    XServer x;
    bool m_leftHalf = false;
};

TEST_F(UnderWindowManager, theResidentWindowClosedWithItsCloseButtonGoesToTheTray) {
    settings().Config.IntoTaskTray = 2;
    window = openWindow();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->trayIconShown());

    secondStart();
    ASSERT_TRUE(waitUntil([&] { return onScreen(); })) << "a second start did not bring it";
    const QPoint where = window->geometry().center();
    EXPECT_GE(x.viewableTopLevelsAt(where), 1);

    closeButton();
    EXPECT_TRUE(waitUntil([&] { return goneFrom(where); }))
        << "visible " << window->isVisible() << ", mapped " << x.viewable(xcb_window_t(window->winId()))
        << ", windows there " << x.viewableTopLevelsAt(where);
    EXPECT_TRUE(window->trayIconShown());
    EXPECT_EQ(window->stage(), QStringLiteral("NORMAL"));

    // Minimised by the window manager, brought back by the tray icon.
    clickTrayIcon();
    ASSERT_TRUE(waitUntil([&] { return onScreen(); })) << "the tray icon did not bring it";
    minimiseButton();
    EXPECT_TRUE(waitUntil([&] { return goneFrom(where); }));
    EXPECT_TRUE(window->trayIconShown());
    clickTrayIcon();
    EXPECT_TRUE(waitUntil([&] { return onScreen(); }));
    EXPECT_FALSE(window->isMinimized());
}

TEST_F(UnderWindowManager, aWindowMinimisedIntoTheTrayComesBackWholeAndTheIconGoes) {
    settings().Config.IntoTaskTray = 1;
    window = openWindow();
    ASSERT_TRUE(waitUntil([&] { return onScreen(); }));
    const QPoint where = window->geometry().center();
    EXPECT_FALSE(window->trayIconShown());

    for (int round = 0; round < 2; ++round) {
        minimiseButton();
        EXPECT_TRUE(waitUntil([&] { return goneFrom(where); })) << round;
        EXPECT_TRUE(window->trayIconShown()) << round;
        if (round == 0)
            clickTrayIcon();
        else
            window->findChild<QAction*>(QStringLiteral("TaskIconPopView"))->trigger();
        EXPECT_TRUE(waitUntil([&] { return onScreen() && !window->isMinimized(); })) << round;
        EXPECT_FALSE(window->trayIconShown()) << round;
    }
}

// The full-text dialog stays on the screen when the window goes to the tray; a result chosen
// in it, typed and entered through the X server, brings the window back with the application
// selected, not selected out of sight.
TEST_F(UnderWindowManager, aFullTextResultChosenWhileTheWindowIsInTheTrayBringsTheWindowBack) {
    qputenv("XDG_DATA_HOME", scratch.path().toUtf8());
    storeArchive(QStringLiteral("Tool"), {{QStringLiteral("run.sh"), "#!/bin/sh\n"},
                                          {QStringLiteral("readme.txt"), "hammer time\n"}});
    settings().Config.IntoTaskTray = 2;
    window = openWindow();
    secondStart();
    ASSERT_TRUE(waitUntil([&] { return onScreen(); })) << "a second start did not bring it";
    window->findChild<QAction*>(QStringLiteral("mnuFullTextSearch"))->trigger();
    auto* dialog = window->findChild<frmFullText*>();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(
        waitUntil([&] { return dialog->isVisible() && dialog->windowHandle()->isExposed(); }));

    closeButton();
    ASSERT_TRUE(waitUntil(
        [&] { return !window->isVisible() && !x.viewable(xcb_window_t(window->winId())); }));
    ASSERT_TRUE(dialog->isVisible());
    window->fullTextSearch().waitUntilIdle();
    const QString dialogId = QString::number(dialog->winId());
    ASSERT_TRUE(xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), dialogId}));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("hammer")}));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
    EXPECT_TRUE(waitUntil([&] { return onScreen(); })) << "the choice did not bring the window";
    EXPECT_EQ(CatalogTree::key(window->treeView()->currentItem()), QStringLiteral("Tool"));
    window.reset();
    qunsetenv("XDG_DATA_HOME");
}
#endif // VADOK_TEST_XCB

} // namespace
} // namespace vadok::test
