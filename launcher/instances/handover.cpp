#include "instances/handover.h"

#include "instances/handoverframe.h"
#include "instances/instancelock.h"
#include "instances/startrequest.h"
#include "platform/localpeer.h"

#include <QLocalSocket>

namespace vadok {

namespace {

// The running instance accepts at once; a connection that takes longer finds a process that
// is stuck or gone.
constexpr int kConnectMs = 5000;
constexpr int kWriteMs = 10000;

} // namespace

void ActOnHandOverRequest(const QString& request, HandOverTarget& target) {
    if (request == kRestoreRequest) {
        target.restoreRequested();
        return;
    }
    const StartRequest read = ReadStartRequest(request);
    switch (read.kind) {
    case StartRequest::Kind::Nothing:
        break;
    case StartRequest::Kind::Register:
        target.showDropDialog(read.path);
        break;
    case StartRequest::Kind::Run:
        target.runRequested(read.title, read.arguments);
        break;
    case StartRequest::Kind::Unreadable:
        target.refuseRequest(kNotUnderstoodText);
        break;
    }
}

QString HandOverSocketPath(const QString& programFolder) {
    return instanceRuntimeFile(programFolder, QStringLiteral(".socket"));
}

HandOverSent SendHandOverRequest(const QString& programFolder, const QString& request) {
    const QByteArray frame = EncodeHandOverFrame(request);
    if (frame.size() > kHandOverFrameHeader + kMaxHandOverText)
        return {HandOverDelivery::Failed, QStringLiteral("要求が長すぎます")};
    QLocalSocket socket;
    socket.connectToServer(HandOverSocketPath(programFolder));
    if (!socket.waitForConnected(kConnectMs)) {
        const auto error = socket.error();
        if (error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError)
            return {HandOverDelivery::NoListener, QString()};
        return {HandOverDelivery::Failed, socket.errorString()};
    }
    // Where the runtime folder is shared (no XDG_RUNTIME_DIR), another user could listen in
    // our place and read what we ask for.
    const std::optional<uint> listener = localPeerUserId(socket.socketDescriptor());
    if (listener != currentUserId()) {
        socket.abort();
        return {HandOverDelivery::Failed,
                QStringLiteral("受け付けているのは別のユーザーのプロセスです")};
    }
    socket.write(frame);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kWriteMs))
            return {HandOverDelivery::Failed, socket.errorString()};
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kWriteMs);
    return {HandOverDelivery::Delivered, QString()};
}

} // namespace vadok
