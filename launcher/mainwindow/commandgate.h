#pragma once

#include <QList>
#include <functional>

class QObject;

namespace vadok {

// Commands that hold an application of the window's list while the archiver lets events
// through (status repaints, progress). While one runs, nothing may rebuild the list under it:
// work that would (the hand-over poll, drops, close requests) waits until it is over, and a
// second command is refused with a beep (Scope::busy() tells the command so).
class CommandGate {
public:
    // Waiting work runs from context's event loop, after the command's own last step.
    explicit CommandGate(QObject& context) : m_context(context) {}

    class Scope {
    public:
        explicit Scope(CommandGate& gate);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        bool busy() const { return m_nested; }

    private:
        CommandGate& m_gate;
        bool m_nested;
    };

    bool running() const { return m_running > 0; }
    // Runs work now, or once the running command is over.
    void whenIdle(std::function<void()> work);

private:
    QObject& m_context;
    int m_running = 0;
    QList<std::function<void()>> m_after;
};

} // namespace vadok
