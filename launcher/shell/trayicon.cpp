#include "shell/trayicon.h"

#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

namespace vadok {

namespace {
std::function<bool()> g_availability;
}

TrayIcon::TrayIcon(const QIcon& icon, const QString& tip, QMenu* menu, QObject* parent)
    : QObject(parent), m_icon(new QSystemTrayIcon(icon, this)) {
    m_icon->setObjectName(QStringLiteral("TrayIcon"));
    m_icon->setToolTip(tip);
    // The desktop opens the menu itself on a right click, where the pointer is.
    m_icon->setContextMenu(menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
        if (why == QSystemTrayIcon::Trigger)
            emit leftClicked();
    });
}

bool TrayIcon::isAvailable() {
    return g_availability ? g_availability() : QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::setAvailabilitySource(std::function<bool()> source) {
    g_availability = std::move(source);
}

void TrayIcon::add() {
    m_icon->show();
}

void TrayIcon::remove() {
    m_icon->hide();
}

bool TrayIcon::isShown() const {
    return m_icon->isVisible();
}

} // namespace vadok
