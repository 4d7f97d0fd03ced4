// The tray on a real X server: run by tray_under_xvfb.sh, once before a tray host runs
// (VADOK_TRAY_HOST=absent) and once with trayer docked at the top edge (present).
#include "mainwindowfixture.h"

#include "catalog/settings.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSystemTrayIcon>
#include <QTest>

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
    ASSERT_TRUE(waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 15000))
        << "trayer runs but no tray appeared";
    settings().Config.IntoTaskTray = 2;
    window = openWindow();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->trayIconShown());
    ASSERT_TRUE(waitUntil([] { return embeddedIcon() != nullptr; }, 15000))
        << "the icon was not embedded in the tray";
    const auto* icon = window->findChild<QSystemTrayIcon*>(QStringLiteral("TrayIcon"));
    EXPECT_TRUE(waitUntil([&] { return icon->geometry().width() > 0; }, 5000));

    QWidget* embedded = embeddedIcon();
    QTest::mouseClick(embedded, Qt::LeftButton, {}, embedded->rect().center());
    EXPECT_TRUE(waitUntil([&] { return window->isVisible(); }, 5000));
    EXPECT_TRUE(window->trayIconShown());
    QTest::mouseClick(embedded, Qt::LeftButton, {}, embedded->rect().center());
    EXPECT_TRUE(waitUntil([&] { return !window->isVisible(); }, 5000));
}

} // namespace
} // namespace vadok::test
