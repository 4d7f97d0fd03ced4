#include "mainwindow/trayresidence.h"

#include "catalog/settings.h"
#include "mainwindow/programversion.h"
#include "shell/trayicon.h"
#include "util/statustext.h"

#include <QWidget>

namespace vadok {

TrayResidence::TrayResidence(QWidget& window, QMenu* menu, std::function<bool()> settled)
    : QObject(&window), m_window(window), m_settled(std::move(settled)) {
    m_icon = new TrayIcon(window.windowIcon(), programVersionText(), menu, this);
    connect(m_icon, &TrayIcon::leftClicked, this, &TrayResidence::toggle);
}

void TrayResidence::showIcon() {
    m_icon->add();
}

void TrayResidence::hideIcon() {
    m_icon->remove();
}

bool TrayResidence::iconShown() const {
    return m_icon->isShown();
}

void TrayResidence::windowStateChanged() {
    if (m_window.isMinimized() && m_window.isVisible() && settings().Config.IntoTaskTray != 0)
        sendToTray();
}

void TrayResidence::sendToTray() {
    if (!TrayIcon::isAvailable()) {
        // Hidden without an icon to bring it back, the window would be out of reach.
        if (!m_window.isVisible())
            m_window.showMinimized();
        else if (!m_window.isMinimized())
            m_window.setWindowState(m_window.windowState() | Qt::WindowMinimized);
        if (!m_noTrayNoted) {
            m_noTrayNoted = true;
            if (m_settled())
                noteMissingTray();
            else
                m_noTrayNotePending = true;
        }
        return;
    }
    // The minimised state stays until the window comes back: leaving it makes the X11
    // platform map the window again, which would leave an unpainted frame on the screen of a
    // window Qt holds hidden.
    m_window.hide();
    showIcon();
}

void TrayResidence::noteWhenSettled() {
    if (m_noTrayNotePending)
        noteMissingTray();
}

void TrayResidence::noteMissingTray() {
    m_noTrayNotePending = false;
    SetStatusText(QStringLiteral("タスクトレイが見つからないため、タスクトレイに格納せず"
                                 "最小化しました。"),
                  1);
}

void TrayResidence::restore() {
    // Out of the minimised state first, so the window is not mapped as an icon.
    if (m_window.isMinimized())
        m_window.setWindowState(m_window.windowState() & ~Qt::WindowMinimized);
    m_window.show();
    if (settings().Config.IntoTaskTray == 1)
        hideIcon();
    // To the front, without staying on top of everything afterwards.
    m_window.raise();
    m_window.activateWindow();
}

void TrayResidence::toggle() {
    if (m_window.isVisible() && !m_window.isMinimized())
        m_window.hide();
    else
        restore();
}

} // namespace vadok
