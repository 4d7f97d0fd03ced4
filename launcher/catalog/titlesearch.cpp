#include "catalog/titlesearch.h"

#include "catalog/datafile.h"
#include "catalog/xmldocument.h"

namespace vadok {

QStringList SearchTitles(const QString& text) {
    XmlDocument doc;
    doc.load(dataFilePath());
    const QString wanted = text.toUpper();
    QStringList titles;
    for (const XmlElement& app : doc.select(QStringLiteral("/Vadok/Apps/App"))) {
        const QString title = app.firstChild(QStringLiteral("Name")).text();
        if (title.toUpper().contains(wanted))
            titles.append(title);
    }
    return titles;
}

} // namespace vadok
