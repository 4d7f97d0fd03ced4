#pragma once

#include "platform/chooser.h"

class QWidget;

namespace vadok {

// The choosers as the desktop's own dialogs, owned by the main window when there is one.
class WidgetChooser : public Chooser {
public:
    std::optional<QString> chooseFolder(const QString& prompt, const QString& startFolder) override;
    std::optional<QString> chooseFile(const FileRequest& request) override;
    std::optional<QColor> chooseColor(const QColor& initial) override;
    std::optional<QFont> chooseFont(const QFont& initial) override;

    void setOwner(QWidget* owner) { m_owner = owner; }

private:
    QWidget* m_owner = nullptr;
};

} // namespace vadok
