#include "mainwindow/laterstarts.h"

#include "instances/handoverserver.h"
#include "platform/prompter.h"

namespace vadok {

LaterStarts::LaterStarts(const QString& programFolder)
    : m_server(std::make_unique<HandOverServer>(programFolder)) {
    m_server->listen();
}

LaterStarts::~LaterStarts() = default;

void LaterStarts::close() {
    m_server->close();
}

void LaterStarts::reportFailureOnce() {
    if (m_server->isListening() || m_failureReported)
        return;
    m_failureReported = true;
    showMessage(QStringLiteral("MessagePass(R)エラー\r\n") + m_server->error());
}

void LaterStarts::processRequests(HandOverTarget& target) {
    m_server->processRequests(target);
}

} // namespace vadok
