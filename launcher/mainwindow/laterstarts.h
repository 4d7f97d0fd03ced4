#pragma once

#include <QString>
#include <memory>

namespace vadok {

class HandOverServer;
class HandOverTarget;

// The requests of later starts of the program, taken from the moment the window exists so
// that none is lost while the tree loads, and acted on once it has loaded.
class LaterStarts {
public:
    // Starts listening in programFolder's hand-over socket.
    explicit LaterStarts(const QString& programFolder);
    ~LaterStarts();

    // The exit has begun: a later start waits for this process to end and then opens the
    // window itself, instead of handing over a request nobody would act on.
    void close();
    // When later starts cannot reach this window, says so once, where the user sees it.
    void reportFailureOnce();
    void processRequests(HandOverTarget& target);

private:
    std::unique_ptr<HandOverServer> m_server;
    bool m_failureReported = false;
};

} // namespace vadok
