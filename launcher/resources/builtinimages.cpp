#include "resources/builtinimages.h"

#include <QHash>

namespace vadok {

QPixmap builtinImage(const QString& key) {
    static QHash<QString, QPixmap> cache;
    auto it = cache.constFind(key);
    if (it == cache.constEnd())
        it = cache.insert(key, QPixmap(QStringLiteral(":/images/") + key + QStringLiteral(".png")));
    return *it;
}

} // namespace vadok
