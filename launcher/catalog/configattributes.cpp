#include "catalog/configattributes.h"

#include "catalog/xmldocument.h"

#include <functional>

namespace vadok {

QMap<QString, QString> configAttributes(const XmlDocument& doc) {
    QMap<QString, QString> values;
    std::function<void(const XmlElement&, const QString&)> walk = [&](const XmlElement& e,
                                                                      const QString& path) {
        for (const QString& attribute : e.attributeNames())
            values.insert(path + u'@' + attribute, e.attribute(attribute));
        for (const XmlElement& child : e.children()) {
            if (e.firstChild(child.name()) == child)
                walk(child, path + u'/' + child.name());
        }
    };
    const XmlElement config = doc.documentElement().firstChild(QStringLiteral("Config"));
    if (!config.isNull())
        walk(config, QStringLiteral("Config"));
    return values;
}

} // namespace vadok
