#pragma once

#include <QTextBrowser>

namespace vadok {

// Shows a page that came with an application. Only files of this computer are read: the
// page's own text, decoded as a page written on either system may be, and its local images
// and links. Nothing is ever fetched from the network, whatever the page refers to; a web
// link the user clicks opens in the desktop's browser.
class ReferencePageView : public QTextBrowser {
    Q_OBJECT
public:
    explicit ReferencePageView(QWidget* parent = nullptr);

    QVariant loadResource(int type, const QUrl& name) override;
};

} // namespace vadok
