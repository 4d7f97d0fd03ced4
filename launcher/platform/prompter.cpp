#include "platform/prompter.h"

namespace vadok {

namespace {

// Used before the GUI has installed its prompter (and by command-line tools): nothing can be
// shown, so every question gets its default button.
class SilentPrompter final : public Prompter {
public:
    MsgAnswer message(const MessageRequest& request) override {
        if (request.defaultAnswer)
            return *request.defaultAnswer;
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

namespace {

MessageRequest requestOf(const QString& text, MsgIcon icon, MsgButtons buttons,
                         const QString& title) {
    return {text, title.isEmpty() ? QString::fromUtf16(kDefaultTitle) : title, icon, buttons, {}};
}

} // namespace

MsgAnswer showMessage(const QString& text, MsgIcon icon, MsgButtons buttons, const QString& title) {
    return prompter().message(requestOf(text, icon, buttons, title));
}

MsgAnswer askBeforeDeleting(const QString& text, MsgIcon icon, MsgButtons buttons,
                            const QString& title) {
    MessageRequest request = requestOf(text, icon, buttons, title);
    request.defaultAnswer = buttons == MsgButtons::OkCancel ? MsgAnswer::Cancel : MsgAnswer::No;
    return prompter().message(request);
}

} // namespace vadok
