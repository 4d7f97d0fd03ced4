#include "instances/instancegate.h"

#include "instances/handover.h"
#include "platform/prompter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace vadok {

namespace {

void tellWriteError(const QString& reason) {
    showMessage(QStringLiteral("MessagePass(W)エラー\r\n") + reason);
}

} // namespace

InstanceGate::InstanceGate(const QString& programFolder) : m_folder(programFolder), m_lock(programFolder) {}

bool InstanceGate::becomeFirst() {
    return m_lock.acquire();
}

InstanceControl::HandOver InstanceGate::handOver(const QString& request) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const HandOverSent sent = SendHandOverRequest(m_folder, request);
        if (sent.delivery == HandOverDelivery::Delivered)
            return HandOver::Delivered;
        if (sent.delivery == HandOverDelivery::Failed) {
            tellWriteError(sent.error);
            return HandOver::Failed;
        }
        if (m_lock.acquire())
            return HandOver::BecameFirst;
        if (waited.elapsed() >= m_patienceMs) {
            tellWriteError(QStringLiteral("起動中のVadokが要求を受け付けません。"
                                          "終了処理が終わってから、もう一度起動してください。"));
            return HandOver::Failed;
        }
        if (m_pause) {
            m_pause();
        } else {
            if (QCoreApplication::instance())
                QCoreApplication::processEvents();
            QThread::msleep(100);
        }
    }
}

} // namespace vadok
