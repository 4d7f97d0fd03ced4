// Life in the task tray: IntoTaskTray 1 hides the minimised window into it, 2 keeps the icon
// there for the whole run and starts with the window hidden.
#include "mainwindow/frmmain.h"

#include "catalog/settings.h"
#include "mainwindow/programversion.h"
#include "shell/trayicon.h"
#include "util/statustext.h"

#include <QEvent>
#include <QMenu>

namespace vadok {

void frmMain::createTrayIcon() {
    m_trayIcon = new TrayIcon(windowIcon(), programVersionText(), m_taskIconPop, this);
    connect(m_trayIcon, &TrayIcon::leftClicked, this, &frmMain::TrayIcon_LeftClick);
}

void frmMain::AddTrayIcon() {
    m_trayIcon->add();
}

void frmMain::RemoveTrayIcon() {
    m_trayIcon->remove();
}

bool frmMain::trayIconShown() const {
    return m_trayIcon->isShown();
}

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && isVisible() &&
        settings().Config.IntoTaskTray != 0)
        sendToTray();
}

void frmMain::sendToTray() {
    if (!TrayIcon::isAvailable()) {
        // Hidden without an icon to bring it back, the window would be out of reach.
        if (!isVisible())
            showMinimized();
        else if (!isMinimized())
            setWindowState(windowState() | Qt::WindowMinimized);
        if (!m_noTrayNoted) {
            m_noTrayNoted = true;
            if (m_stage == WindowStage::Normal)
                noteMissingTray();
            else
                m_noTrayNotePending = true;
        }
        return;
    }
    // The minimised state stays until the window comes back: leaving it makes the X11
    // platform map the window again, which would leave an unpainted frame on the screen of a
    // window Qt holds hidden.
    hide();
    AddTrayIcon();
}

void frmMain::noteMissingTray() {
    m_noTrayNotePending = false;
    SetStatusText(QStringLiteral("タスクトレイが見つからないため、タスクトレイに格納せず"
                                 "最小化しました。"),
                  1);
}

void frmMain::RestoreFromTray() {
    // Out of the minimised state first, so the window is not mapped as an icon.
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    if (settings().Config.IntoTaskTray == 1)
        RemoveTrayIcon();
    // To the front, without staying on top of everything afterwards.
    raise();
    activateWindow();
}

void frmMain::TrayIcon_LeftClick() {
    if (isVisible() && !isMinimized()) {
        hide();
    } else {
        RestoreFromTray();
    }
}

} // namespace vadok
