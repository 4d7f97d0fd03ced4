#include "shell/filetypeicon.h"

#include "resources/builtinimages.h"

#include <QMimeDatabase>

namespace vadok {

namespace {

QString extensionOf(const QString& path) {
    const qsizetype dot = path.lastIndexOf(u'.');
    return (dot < 0 ? path : path.mid(dot)).toLower();
}

} // namespace

QIcon fileTypeIcon(const QString& path) {
    if (extensionOf(path) == u".exe")
        return QIcon(builtinImage(QStringLiteral("program")));
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    if (type.isValid() && !type.isDefault()) {
        for (const QString& name : {type.iconName(), type.genericIconName()}) {
            const QIcon icon = QIcon::fromTheme(name);
            if (!icon.isNull())
                return icon;
        }
    }
    return QIcon(builtinImage(QStringLiteral("document")));
}

} // namespace vadok
