#include "mainwindow/commandgate.h"

#include "platform/prompter.h"

#include <QTimer>
#include <utility>

namespace vadok {

CommandGate::Scope::Scope(CommandGate& gate) : m_gate(gate), m_nested(gate.m_running > 0) {
    ++m_gate.m_running;
    if (m_nested)
        prompter().beep();
}

CommandGate::Scope::~Scope() {
    if (--m_gate.m_running > 0 || m_gate.m_after.isEmpty())
        return;
    // After the command's own last step, not inside it.
    QTimer::singleShot(0, &m_gate.m_context, [gate = &m_gate] {
        const QList<std::function<void()>> waiting = std::exchange(gate->m_after, {});
        for (const std::function<void()>& work : waiting)
            gate->whenIdle(work);
    });
}

void CommandGate::whenIdle(std::function<void()> work) {
    if (m_running > 0)
        m_after.append(std::move(work));
    else
        work();
}

} // namespace vadok
