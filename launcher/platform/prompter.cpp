#include "platform/prompter.h"

namespace vadok {

namespace {

// Used before the GUI has installed its prompter (and by command-line tools): nothing can be
// shown, so every question gets its first button.
class SilentPrompter final : public Prompter {
public:
    MsgAnswer message(const MessageRequest& request) override {
        switch (request.buttons) {
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return MsgAnswer::Yes;
        default:
            return MsgAnswer::Ok;
        }
    }
    std::optional<QString> input(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    void beep() override {}
};

SilentPrompter g_silent;
Prompter* g_prompter = &g_silent;

} // namespace

Prompter& prompter() { return *g_prompter; }

void setPrompter(Prompter* p) { g_prompter = p ? p : &g_silent; }

MsgAnswer showMessage(const QString& text, MsgIcon icon, MsgButtons buttons, const QString& title) {
    MessageRequest request{text, title.isEmpty() ? QString::fromUtf16(kDefaultTitle) : title, icon,
                           buttons};
    return prompter().message(request);
}

} // namespace vadok
