#pragma once

#include "platform/prompter.h"

class QWidget;

namespace vadok {

// Messages and input boxes as real dialogs, owned by the main window when there is one.
class WidgetPrompter : public Prompter {
public:
    MsgAnswer message(const MessageRequest& request) override;
    std::optional<QString> input(const QString& prompt, const QString& title,
                                 const QString& initial) override;
    void beep() override;

    // The window dialogs are centred on; nullptr for none.
    void setOwner(QWidget* owner) { m_owner = owner; }

private:
    QWidget* m_owner = nullptr;
};

} // namespace vadok
