#include "dialogs/helpviewer.h"

#include "platform/shellopen.h"

#include <QFileInfo>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace vadok {

HelpViewer::HelpViewer(const QString& file, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HelpViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Vadok ヘルプ"));
    resize(720, 560);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("txtHelp"));
    m_browser->setOpenExternalLinks(true);
    m_browser->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    if (!m_browser->documentTitle().isEmpty())
        setWindowTitle(m_browser->documentTitle());
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_browser, 1);
    layout->addWidget(close, 0, Qt::AlignRight);
}

void OpenHelpPage(const QString& file, QWidget* owner) {
    if (ShellOpen(file, QString(), QFileInfo(file).absolutePath()) > 32)
        return;
    auto* viewer = owner ? owner->findChild<HelpViewer*>() : nullptr;
    if (!viewer) {
        viewer = new HelpViewer(file, owner);
        // A window of its own beside the main window, not a modal box over it.
        viewer->setWindowFlag(Qt::Window);
    }
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

} // namespace vadok
