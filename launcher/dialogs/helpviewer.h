#pragma once

#include <QDialog>

class QTextBrowser;

namespace vadok {

// The help page in a window of our own: for desktops where no browser opens it. Links within
// the page and to its neighbours are followed here; links to the web go to the desktop.
class HelpViewer : public QDialog {
    Q_OBJECT
public:
    explicit HelpViewer(const QString& file, QWidget* parent = nullptr);

private:
    QTextBrowser* m_browser = nullptr;
};

// Opens the help page file with the desktop's browser; when none opens it (no xdg-open, no
// application for web pages, or it cannot be started) shows it in a HelpViewer owned by
// owner, raising the one already open there.
void OpenHelpPage(const QString& file, QWidget* owner);

} // namespace vadok
