#include "util/statustext.h"

#include "platform/prompter.h"
#include "util/mainwindowlink.h"

namespace vadok {

void SetStatusText(const QString& text, int panel) {
    if (panel == 0)
        panel = 1;
    if (panel != 1 && panel != 2) {
        showMessage(QStringLiteral("TARGET引数の値が不正です"));
        return;
    }
    if (MainWindowLink* window = mainWindowLink())
        window->setStatusPanelText(panel, text);
}

} // namespace vadok
