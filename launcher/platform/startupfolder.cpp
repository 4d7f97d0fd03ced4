#include "platform/startupfolder.h"

#include <QDir>

namespace vadok {

QString startupFolder() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    // XDG base directories must be absolute: a relative value counts as unset.
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(config) + QStringLiteral("/autostart/");
}

} // namespace vadok
