#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <utility>

class QLocalServer;

namespace vadok {

class HandOverTarget;

// The running instance's end of the hand-over: takes the requests of later starts from a local
// socket in this user's runtime folder (HandOverSocketPath) and keeps them, in the order they
// came, until the window is ready to act on them. A connection from another user's process is
// closed unread; a connection that carries anything but exactly one request is dropped.
//
// Only the process that holds the instance lock listens, so a socket found at the path is one
// a crashed instance left, and is replaced.
class HandOverServer {
public:
    explicit HandOverServer(const QString& programFolder);
    ~HandOverServer();
    HandOverServer(const HandOverServer&) = delete;
    HandOverServer& operator=(const HandOverServer&) = delete;

    // False, with error(), when the socket cannot be made.
    bool listen();
    // Takes no more requests: a start from now on waits for this process to end and then runs
    // as the instance itself. Requests already taken stay.
    void close();
    bool isListening() const;
    QString error() const { return m_error; }

    // Acts on every waiting request in the order their starts connected, including those that
    // arrive meanwhile (while the dropped-item dialog is open, say).
    void processRequests(HandOverTarget& target);
    QStringList waitingRequests() const;
    // Connections that have ended, their request taken or dropped: what tests wait for.
    int connectionsEnded() const { return m_connectionsEnded; }

    // The user whose processes may hand requests over: this process's user. Tests name another
    // to see this user's connection refused as a stranger's.
    void setTrustedUser(uint user) { m_trustedUser = user; }

private:
    void acceptConnections();

    QString m_path;
    std::unique_ptr<QLocalServer> m_server;
    // Requests read whole, by the number of their connection in the order of connecting.
    QList<std::pair<quint64, QString>> m_requests;
    quint64 m_connectionsTaken = 0;
    QString m_error;
    uint m_trustedUser;
    int m_connectionsEnded = 0;
};

} // namespace vadok
