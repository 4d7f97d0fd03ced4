#include "instances/handoverserver.h"

#include "instances/handover.h"
#include "instances/handoverframe.h"
#include "platform/localpeer.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QtDebug>

#include <algorithm>

namespace vadok {

HandOverServer::HandOverServer(const QString& programFolder)
    : m_path(HandOverSocketPath(programFolder)), m_trustedUser(currentUserId()) {}

HandOverServer::~HandOverServer() = default;

bool HandOverServer::listen() {
    m_server = std::make_unique<QLocalServer>();
    // Made in a private folder and moved into place, so nobody else can connect in between.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(m_path);
    if (!m_server->listen(m_path)) {
        m_error = m_server->errorString();
        m_server.reset();
        return false;
    }
    m_error.clear();
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(),
                     [this] { acceptConnections(); });
    return true;
}

void HandOverServer::close() {
    if (m_server)
        m_server->close();
}

bool HandOverServer::isListening() const {
    return m_server && m_server->isListening();
}

void HandOverServer::acceptConnections() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        const std::optional<uint> peer = localPeerUserId(socket->socketDescriptor());
        if (peer != m_trustedUser) {
            qWarning() << "hand-over: a connection from another user's process was refused";
            ++m_connectionsEnded;
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // What one connection has carried so far; ended once it has been taken or dropped.
        struct Connection {
            QByteArray received;
            bool ended = false;
        };
        auto connection = std::make_shared<Connection>();
        const quint64 number = m_connectionsTaken++;
        auto end = [this, socket, connection](const char* dropped) {
            if (connection->ended)
                return;
            connection->ended = true;
            ++m_connectionsEnded;
            if (dropped) {
                qWarning() << "hand-over: a request was dropped:" << dropped;
                socket->abort();
            }
            socket->deleteLater();
        };
        // More than one request can hold is not read on.
        auto readSome = [socket, connection, end] {
            if (connection->ended)
                return;
            connection->received.append(socket->readAll());
            if (connection->received.size() > kHandOverFrameHeader + kMaxHandOverText)
                end("more than one request");
        };
        QObject::connect(socket, &QLocalSocket::readyRead, socket, readSome);
        QObject::connect(socket, &QLocalSocket::disconnected, socket, [this, number, connection, end, readSome] {
            readSome();
            if (connection->ended)
                return;
            // A probe that connects and goes without a word is no request.
            if (connection->received.isEmpty()) {
                end(nullptr);
                return;
            }
            const DecodedHandOver decoded = DecodeHandOverFrame(connection->received);
            if (!decoded.ok) {
                end(qPrintable(decoded.error));
                return;
            }
            // Connections end in any order; their requests keep the order of connecting.
            const auto at = std::find_if(m_requests.begin(), m_requests.end(),
                                         [number](const auto& waiting) { return waiting.first > number; });
            m_requests.insert(at, {number, decoded.request});
            end(nullptr);
        });
        // Data may have come before the connection was taken.
        readSome();
    }
}

void HandOverServer::processRequests(HandOverTarget& target) {
    while (!m_requests.isEmpty())
        ActOnHandOverRequest(m_requests.takeFirst().second, target);
}

QStringList HandOverServer::waitingRequests() const {
    QStringList texts;
    for (const auto& waiting : m_requests)
        texts.append(waiting.second);
    return texts;
}

} // namespace vadok
