#pragma once

#include "platform/prompter.h"
#include "support/qtprinters.h"

#include <QList>
#include <deque>
#include <functional>

namespace vadok::test {

// Answers messages from a queue of expectations and records every request. A message that
// nobody expected, or a text that differs from the expected one, fails the test; so does an
// expectation still waiting when the prompter is destroyed.
class ScriptedPrompter : public Prompter {
public:
    ScriptedPrompter();
    ~ScriptedPrompter() override;

    // The next message must carry exactly this text; it gets this answer.
    ScriptedPrompter& expect(const QString& text, MsgAnswer answer = MsgAnswer::Ok);
    // The next message must start with this text (for texts that end in a system error).
    ScriptedPrompter& expectPrefix(const QString& prefix, MsgAnswer answer = MsgAnswer::Ok);
    // Runs action when the message queued last is shown, before it is answered: the moment
    // a test changes the disk under a command that is waiting for the user.
    ScriptedPrompter& then(std::function<void()> action);
    // The next input box gets this answer (nullopt: cancelled).
    ScriptedPrompter& expectInput(std::optional<QString> answer);

    MsgAnswer message(const MessageRequest& request) override;
    std::optional<QString> input(const QString& prompt, const QString& title,
                                 const QString& initial) override;
    void beep() override { ++m_beeps; }

    const QList<MessageRequest>& messages() const { return m_messages; }
    QStringList inputPrompts() const { return m_inputPrompts; }
    // The text each input box started with.
    QStringList inputInitials() const { return m_inputInitials; }
    int beeps() const { return m_beeps; }
    bool allAnswered() const { return m_expected.empty() && m_inputs.empty(); }

private:
    struct Expected {
        QString text;
        MsgAnswer answer;
        bool prefixOnly = false;
        std::function<void()> action;
    };
    std::deque<Expected> m_expected;
    std::deque<std::optional<QString>> m_inputs;
    QList<MessageRequest> m_messages;
    QStringList m_inputPrompts;
    QStringList m_inputInitials;
    int m_beeps = 0;
};

} // namespace vadok::test
