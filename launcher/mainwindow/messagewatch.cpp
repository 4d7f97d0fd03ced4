#include "mainwindow/messagewatch.h"

namespace vadok {

MessageWatch::MessageWatch() : m_previous(prompter()) {
    setPrompter(this);
}

MessageWatch::~MessageWatch() {
    setPrompter(&m_previous);
}

MsgAnswer MessageWatch::message(const MessageRequest& request) {
    m_said = true;
    return m_previous.message(request);
}

std::optional<QString> MessageWatch::input(const QString& prompt, const QString& title,
                                           const QString& initial) {
    m_said = true;
    return m_previous.input(prompt, title, initial);
}

void MessageWatch::beep() {
    m_previous.beep();
}

} // namespace vadok
