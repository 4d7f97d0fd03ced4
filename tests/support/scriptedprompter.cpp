#include "support/scriptedprompter.h"

#include <gtest/gtest.h>

namespace vadok::test {

ScriptedPrompter::ScriptedPrompter() { setPrompter(this); }

ScriptedPrompter::~ScriptedPrompter() {
    setPrompter(nullptr);
    for (const Expected& e : m_expected)
        ADD_FAILURE() << "expected message never shown: " << e.text.toStdString();
    if (!m_inputs.empty())
        ADD_FAILURE() << m_inputs.size() << " expected input box(es) never shown";
}

ScriptedPrompter& ScriptedPrompter::expect(const QString& text, MsgAnswer answer) {
    m_expected.push_back({text, answer, false, {}});
    return *this;
}

ScriptedPrompter& ScriptedPrompter::expectPrefix(const QString& prefix, MsgAnswer answer) {
    m_expected.push_back({prefix, answer, true, {}});
    return *this;
}

ScriptedPrompter& ScriptedPrompter::then(std::function<void()> action) {
    if (m_expected.empty())
        ADD_FAILURE() << "then() without a message to attach it to";
    else
        m_expected.back().action = std::move(action);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::expectInput(std::optional<QString> answer) {
    m_inputs.push_back(std::move(answer));
    return *this;
}

MsgAnswer ScriptedPrompter::message(const MessageRequest& request) {
    m_messages.append(request);
    if (m_expected.empty()) {
        ADD_FAILURE() << "unexpected message: " << request.text.toStdString();
        return request.buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
    }
    Expected next = m_expected.front();
    m_expected.pop_front();
    if (next.prefixOnly)
        EXPECT_TRUE(request.text.startsWith(next.text)) << request.text.toStdString();
    else
        EXPECT_EQ(request.text.toStdString(), next.text.toStdString());
    if (next.action)
        next.action();
    return next.answer;
}

std::optional<QString> ScriptedPrompter::input(const QString& prompt, const QString&,
                                               const QString& initial) {
    m_inputPrompts.append(prompt);
    m_inputInitials.append(initial);
    if (m_inputs.empty()) {
        ADD_FAILURE() << "unexpected input box: " << prompt.toStdString();
        return std::nullopt;
    }
    std::optional<QString> next;
    next.swap(m_inputs.front());
    m_inputs.pop_front();
    return next;
}

} // namespace vadok::test
