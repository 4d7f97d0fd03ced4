#pragma once

#include <QString>
#include <optional>

namespace vadok {

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No };

struct MessageRequest {
    QString text;
    QString title;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    // The button Enter presses; none: the first.
    std::optional<MsgAnswer> defaultAnswer;
};

// Every question and warning the user sees goes through here, so the GUI can show real
// dialogs while tests answer from a script and check the exact wording.
class Prompter {
public:
    virtual ~Prompter() = default;
    virtual MsgAnswer message(const MessageRequest& request) = 0;
    // nullopt when the user cancels.
    virtual std::optional<QString> input(const QString& prompt, const QString& title,
                                         const QString& initial) = 0;
    virtual void beep() = 0;
};

// The prompter in force; a silent one that answers the default button until a real one is set.
Prompter& prompter();
void setPrompter(Prompter* prompter);

// The message box title used when a message names none.
inline constexpr const char16_t* kDefaultTitle = u"vadok";

MsgAnswer showMessage(const QString& text, MsgIcon icon = MsgIcon::None,
                      MsgButtons buttons = MsgButtons::Ok, const QString& title = QString());

// A question whose yes (or OK) deletes something of the user's: no (or cancel) is the default,
// so that an Enter meant for something else keeps it.
MsgAnswer askBeforeDeleting(const QString& text, MsgIcon icon, MsgButtons buttons,
                            const QString& title = QString());

} // namespace vadok
