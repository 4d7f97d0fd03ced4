#include "shell/filetypeicon.h"

#include "resources/builtinimages.h"

#include <QMimeDatabase>
#include <QPainter>

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

void DrawFileTypeIcon(const QString& path, QPainter& painter) {
    // Stretched like the desktop draws a small icon at the large size.
    painter.drawPixmap(QRect(0, 0, 32, 32), fileTypeIcon(path).pixmap(32, 32));
}

} // namespace vadok
