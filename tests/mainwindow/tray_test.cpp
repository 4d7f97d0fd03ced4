#include "mainwindowfixture.h"

#include "catalog/settings.h"
#include "instances/handover.h"
#include "shell/trayicon.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>

namespace vadok::test {
namespace {

const QString kNoTray =
    QStringLiteral("タスクトレイが見つからないため、タスクトレイに格納せず最小化しました。");

// The offscreen desktop has no notification area; these tests lend the window one.
class Tray : public MainWindowFixture {
protected:
    Tray() {
        writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"), {QStringLiteral("Tool")}}});
        appendRecord(record(QStringLiteral("Tool")));
        TrayIcon::setAvailabilitySource([this] { return trayAvailable; });
    }
    ~Tray() override { TrayIcon::setAvailabilitySource({}); }

    void open(int mode) {
        settings().Config.IntoTaskTray = quint8(mode);
        // One window at a time, as one program folder has: two would share the full-text
        // index, and the second could report the first's lock in the status bar.
        window.reset();
        window = openWindow();
    }
    void minimise() { window->setWindowState(window->windowState() | Qt::WindowMinimized); }
    void leftClick() {
        emit window->findChild<QSystemTrayIcon*>(QStringLiteral("TrayIcon"))
            ->activated(QSystemTrayIcon::Trigger);
    }
    void trigger(const char* name) {
        window->findChild<QAction*>(QString::fromLatin1(name))->trigger();
    }
    // "shown", "minimised" or "hidden", and whether the icon is in the tray.
    QString state() const {
        const QString where = !window->isVisible()   ? QStringLiteral("hidden")
                              : window->isMinimized() ? QStringLiteral("minimised")
                                                      : QStringLiteral("shown");
        return where + (window->trayIconShown() ? QStringLiteral("+icon") : QString());
    }

    bool trayAvailable = true;
    std::unique_ptr<frmMain> window;
};

TEST_F(Tray, minimisingGoesToTheTrayOnlyInTheTrayModes) {
    const struct {
        int mode;
        const char* opened;
        const char* minimised;
        const char* clicked;
    } cases[] = {
        {0, "shown", "minimised", "minimised"},
        {1, "shown", "hidden+icon", "shown"},
        {2, "hidden+icon", "hidden+icon", "shown+icon"},
    };
    for (const auto& c : cases) {
        open(c.mode);
        EXPECT_EQ(state(), QString::fromUtf8(c.opened)) << c.mode;
        if (c.mode == 2)
            leftClick();
        minimise();
        EXPECT_EQ(state(), QString::fromUtf8(c.minimised)) << c.mode;
        if (c.mode != 0)
            leftClick();
        EXPECT_EQ(state(), QString::fromUtf8(c.clicked)) << c.mode;
    }
}

TEST_F(Tray, residentModeHidesOnClickAndCloseAndEndsOnlyFromTheTrayMenu) {
    open(2);
    EXPECT_EQ(state(), QStringLiteral("hidden+icon"));
    leftClick();
    EXPECT_EQ(state(), QStringLiteral("shown+icon"));
    leftClick();
    EXPECT_EQ(state(), QStringLiteral("hidden+icon"));
    trigger("TaskIconPopView");
    EXPECT_EQ(state(), QStringLiteral("shown+icon"));

    EXPECT_FALSE(window->close());
    EXPECT_EQ(state(), QStringLiteral("hidden+icon"));
    EXPECT_EQ(window->stage(), QStringLiteral("NORMAL"));

    bool exited = false;
    QObject::connect(window.get(), &frmMain::exited, [&] { exited = true; });
    trigger("TaskIconPopExit");
    EXPECT_TRUE(exited);
    EXPECT_EQ(window->stage(), QStringLiteral("FIN"));
    EXPECT_EQ(state(), QStringLiteral("hidden"));
}

TEST_F(Tray, aRunThatFailsKeepsTheWindowForItsMessageAndOneThatStartsGoesToTheTray) {
    writeFolders({{QStringLiteral("メイン"), QStringLiteral("ROOT"),
                   {QStringLiteral("Good"), QStringLiteral("Broken")}}});
    appendRecord(record(QStringLiteral("Good"), QStringLiteral("メイン"), QStringLiteral("run.sh")));
    appendRecord(record(QStringLiteral("Broken"), QStringLiteral("メイン"), QStringLiteral("missing.sh")));
    expand(QStringLiteral("Good"), {{QStringLiteral("run.sh"), "#!/bin/sh\n"}});
    expand(QStringLiteral("Broken"), {{QStringLiteral("readme.txt"), "read me"}});
    const struct {
        int mode;
        const char* app;
        const char* message; // nullptr: it starts
        const char* after;
    } cases[] = {
        {1, "Broken", "ファイルが見つかりません。", "shown"},
        {1, "Good", nullptr, "hidden+icon"},
        {2, "Broken", "ファイルが見つかりません。", "shown+icon"},
        {2, "Good", nullptr, "hidden+icon"},
    };
    for (const auto& c : cases) {
        open(c.mode);
        if (c.mode == 2)
            leftClick();
        clickNode(*window, QString::fromUtf8(c.app));
        if (c.message)
            prompter.expect(QString::fromUtf8(c.message));
        window->findChild<QPushButton*>(QStringLiteral("cmdExec"))->click();
        EXPECT_EQ(state(), QString::fromUtf8(c.after)) << c.mode << ' ' << c.app;
    }
}

TEST_F(Tray, aSecondStartBringsTheResidentWindowBack) {
    open(2);
    ASSERT_EQ(state(), QStringLiteral("hidden+icon"));
    ASSERT_TRUE(handOver(kRestoreRequest));
    EXPECT_TRUE(waitUntil([&] { return window->isVisible(); }));
    EXPECT_EQ(state(), QStringLiteral("shown+icon"));
}

TEST_F(Tray, theTipNamesTheProgramAndItsVersion) {
    open(2);
    const QString version = QStringLiteral("Vadok %1.%2").arg(VADOK_VERSION_MAJOR).arg(VADOK_VERSION_MINOR) +
                            (VADOK_VERSION_REVISION > 0 ? QStringLiteral(".%1").arg(VADOK_VERSION_REVISION)
                                                        : QString());
    EXPECT_EQ(window->findChild<QSystemTrayIcon*>(QStringLiteral("TrayIcon"))->toolTip(), version);
    EXPECT_EQ(window->findChild<QSystemTrayIcon*>(QStringLiteral("TrayIcon"))->contextMenu()->objectName(),
              QStringLiteral("TaskIconPop"));
}

TEST_F(Tray, withoutATrayTheWindowIsMinimisedWithinReachAndTheUserIsToldOnce) {
    trayAvailable = false;
    open(1);
    minimise();
    EXPECT_EQ(state(), QStringLiteral("minimised"));
    EXPECT_EQ(panelText(*window, 1), kNoTray);
    window->setWindowState(Qt::WindowNoState);
    minimise();
    EXPECT_EQ(panel1History.count(kNoTray), 1);

    // The resident start says so once the catalog has loaded, where the text stays.
    panel1History.clear();
    open(2);
    EXPECT_EQ(state(), QStringLiteral("minimised"));
    EXPECT_EQ(panelText(*window, 1), kNoTray);
    EXPECT_EQ(panel1History.count(kNoTray), 1);
}

} // namespace
} // namespace vadok::test
