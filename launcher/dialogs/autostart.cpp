#include "dialogs/autostart.h"

#include "catalog/valueconv.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"
#include "platform/startupfolder.h"
#include "util/shortcut.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <optional>

namespace vadok {

namespace {

const QString kRegister = QStringLiteral("自動起動の設定");
const QString kRemove = QStringLiteral("自動起動の解除");

// The delay in whole seconds, halves rounded to even; nullopt when the user cancels.
std::optional<int> askDelay() {
    const QString prompt =
        QStringLiteral("スタートアップに登録する場合、Vadokの起動まである程度時間をあけることをお勧め"
                       "します。\r\n以下に起動まで遅延させる秒数を設定してください。（単位：秒）\r\n"
                       "\r\n遅延をさせない場合は 0 を設定してください");
    for (;;) {
        const std::optional<QString> answer =
            prompter().input(prompt, QStringLiteral("起動遅延の設定"), QStringLiteral("20"));
        // Cancel ends the registration: asking again and again would leave no way out.
        if (!answer)
            return std::nullopt;
        const std::optional<double> seconds = textToNumber(*answer);
        if (!seconds) {
            showMessage(QStringLiteral("数値を入力してください"), MsgIcon::Exclamation);
            continue;
        }
        if (*seconds < 0 || *seconds > 100) {
            showMessage(QStringLiteral("0-100の範囲で設定してください"), MsgIcon::Exclamation);
            continue;
        }
        return int(std::nearbyint(*seconds));
    }
}

bool writeEntry(int delay) {
    const QString program = binaryFolder() + QStringLiteral("vadok");
    ShortcutSpec entry;
    entry.TargetPath = program;
    entry.Arguments = QStringLiteral("/START/Delay=%1").arg(delay);
    entry.WorkingDirectory = programFolder();
    entry.Description = QStringLiteral("Vadok 常駐モード");
    entry.IconLocation = program;
    entry.WindowStyle = 7; // minimised, not activated: no desktop-entry equivalent
    return QDir().mkpath(startupFolder()) && CreateShortcutFile(autoStartEntryPath(), entry);
}

} // namespace

QString autoStartEntryPath() {
    return startupFolder() + QStringLiteral("vadok.desktop");
}

bool isAutoStartRegistered() {
    return QFile::exists(autoStartEntryPath());
}

QString autoStartCaption() {
    return isAutoStartRegistered() ? kRemove : kRegister;
}

void RemoveAutoStart() {
    QFile::remove(autoStartEntryPath());
}

void RegisterAutoStart() {
    if (showMessage(QStringLiteral("ログオン時にVadokが自動的に起動するように、スタートアップに登録"
                                   "しても良いですか？"),
                    MsgIcon::Question, MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    const std::optional<int> delay = askDelay();
    if (!delay)
        return;
    if (writeEntry(*delay))
        showMessage(QStringLiteral("スタートアップに登録しました。\r\n次回のログオン時からVadokが"
                                   "自動起動します"));
    else
        showMessage(QStringLiteral("スタートアップに登録…は失敗しました"), MsgIcon::Critical);
}

} // namespace vadok
