#include "mainwindow/waitingstores.h"

#include "util/statustext.h"

#include <QTimer>

namespace vadok {

WaitingStores::WaitingStores(QObject* parent) : QObject(parent) {}

void WaitingStores::add(const QString& name, How how) {
    m_waiting.insert(name, how);
    if (!m_timer) {
        m_timer = new QTimer(this);
        m_timer->setInterval(1000);
        connect(m_timer, &QTimer::timeout, this, &WaitingStores::due);
    }
    m_timer->start();
    SetStatusText(u'[' + name + QStringLiteral("] のプログラムが終わるのを待っています。終わったら格納します。"), 1);
}

std::optional<WaitingStores::How> WaitingStores::take(const QString& name) {
    if (!m_waiting.contains(name))
        return std::nullopt;
    return m_waiting.take(name);
}

void WaitingStores::stopPolling() {
    if (m_timer)
        m_timer->stop();
}

} // namespace vadok
