#include "catalog/titlematch.h"

#include "catalog/datafilecache.h"

namespace vadok {

QStringList SearchTitles(const QString& text) {
    const std::shared_ptr<const XmlDocument> doc = readDataFile();
    const QString wanted = text.toUpper();
    QStringList titles;
    for (const XmlElement& app : doc->select(QStringLiteral("/Vadok/Apps/App"))) {
        const QString title = app.firstChild(QStringLiteral("Name")).text();
        if (title.toUpper().contains(wanted))
            titles.append(title);
    }
    return titles;
}

} // namespace vadok
