#pragma once

#include "platform/prompter.h"

#include <QList>

namespace vadok::test {

// Records every message and answers OK, for failures whose text carries an error
// description that varies by system. Installs itself while it lives.
class RecordingPrompter : public Prompter {
public:
    RecordingPrompter() : m_previous(&prompter()) { setPrompter(this); }
    ~RecordingPrompter() override { setPrompter(m_previous); }

    MsgAnswer message(const MessageRequest& request) override {
        messages.append(request);
        return MsgAnswer::Ok;
    }
    std::optional<QString> input(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    void beep() override {}

    QList<MessageRequest> messages;

private:
    Prompter* m_previous;
};

} // namespace vadok::test
