#pragma once

#include <QString>
#include <QStringList>

namespace vadok {

// What the running instance does with the requests of later starts.
class HandOverTarget {
public:
    virtual ~HandOverTarget() = default;
    // A later start asks for the window: out of the tray and to the front.
    virtual void restoreRequested() = 0;
    // Starts the application called title with arguments (none: its own parameters); says so
    // when no application carries that title.
    virtual void runRequested(const QString& title, const QStringList& arguments) = 0;
    // Shows the dropped-item dialog for path modally; returns when it is closed.
    virtual void showDropDialog(const QString& path) = 0;
    // A request that is neither a path nor a possible title: text tells the user so.
    virtual void refuseRequest(const QString& text) = 0;
};

// The request that asks the running instance to come back from the task tray.
inline const QString kRestoreRequest = QStringLiteral("%%%タスクトレイから復元%%%");

// Acts on one request: the restore request, or a command line as a start was given it.
void ActOnHandOverRequest(const QString& request, HandOverTarget& target);

// The local socket through which the instance of programFolder takes requests. It lies in this
// user's runtime folder, out of reach of other users, other machines and the program folder.
QString HandOverSocketPath(const QString& programFolder);

enum class HandOverDelivery {
    Delivered,  // the running instance has the request and will act on it
    NoListener, // nobody takes requests for this folder (yet, or any more)
    Failed,
};
struct HandOverSent {
    HandOverDelivery delivery = HandOverDelivery::Failed;
    QString error; // Failed: why, for the user
};

// Hands request to the instance of programFolder, as one message. Only an instance run by
// this user gets it.
HandOverSent SendHandOverRequest(const QString& programFolder, const QString& request);

} // namespace vadok
