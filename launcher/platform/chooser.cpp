#include "platform/chooser.h"

namespace vadok {

namespace {

// Used before the GUI has installed its chooser (and by command-line tools): nothing can be
// shown, so every choice is cancelled.
class CancellingChooser final : public Chooser {
public:
    std::optional<QString> chooseFolder(const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> chooseFile(const FileRequest&) override { return std::nullopt; }
    std::optional<QColor> chooseColor(const QColor&) override { return std::nullopt; }
    std::optional<QFont> chooseFont(const QFont&) override { return std::nullopt; }
};

CancellingChooser g_cancelling;
Chooser* g_chooser = &g_cancelling;

} // namespace

Chooser& chooser() { return *g_chooser; }

void setChooser(Chooser* c) { g_chooser = c ? c : &g_cancelling; }

} // namespace vadok
