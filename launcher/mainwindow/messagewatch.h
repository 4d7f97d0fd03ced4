#pragma once

#include "platform/prompter.h"

namespace vadok {

// Notes whether anything was said to the user while it lives: every message, question and
// input goes on to the prompter in force before it, which it puts back when it ends. A
// command whose message the user must read keeps the window for it.
class MessageWatch : public Prompter {
public:
    MessageWatch();
    ~MessageWatch() override;
    MessageWatch(const MessageWatch&) = delete;
    MessageWatch& operator=(const MessageWatch&) = delete;

    bool anythingSaid() const { return m_said; }

    MsgAnswer message(const MessageRequest& request) override;
    std::optional<QString> input(const QString& prompt, const QString& title,
                                 const QString& initial) override;
    void beep() override;

private:
    Prompter& m_previous;
    bool m_said = false;
};

} // namespace vadok
