#include "dialogs/referencepageview.h"

#include "apps/referencetexts.h"

#include <QDesktopServices>
#include <QFile>
#include <QTextDocument>
#include <QUrl>

namespace vadok {

ReferencePageView::ReferencePageView(QWidget* parent) : QTextBrowser(parent) {
    // A link the user follows to a file of the page opens here; one to the web opens in the
    // desktop's browser, never in this view.
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
        const QUrl url = link.isRelative() ? source().resolved(link) : link;
        if (url.isLocalFile())
            setSource(url);
        else if (url.scheme() == u"http" || url.scheme() == u"https" || url.scheme() == u"mailto")
            QDesktopServices::openUrl(url);
    });
}

QVariant ReferencePageView::loadResource(int type, const QUrl& name) {
    // Relative references resolve against the page, a file; data URLs carry their content;
    // anything else would be fetched from elsewhere.
    const QUrl url = name.isRelative() ? source().resolved(name) : name;
    if (url.scheme() == u"data")
        return QTextBrowser::loadResource(type, name);
    if (!url.isLocalFile())
        return QVariant();
    if (type != QTextDocument::HtmlResource)
        return QTextBrowser::loadResource(type, url);
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly))
        return QVariant();
    return ReferencePage(file.readAll());
}

} // namespace vadok
