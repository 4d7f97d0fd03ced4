#include "platform/desktopfolder.h"

#include "platform/programfolder.h"

#include <QDir>
#include <QStandardPaths>

namespace vadok {

namespace {

QString g_override;

} // namespace

QString desktopFolder() {
    if (!g_override.isEmpty())
        return g_override;
    // Qt reads the same user-dirs file as xdg-user-dir, with the same fallback.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (folder.isEmpty())
        folder = QDir::homePath() + QStringLiteral("/Desktop");
    return withTrailingSlash(folder);
}

void setDesktopFolder(const QString& folder) {
    g_override = folder.isEmpty() ? QString() : withTrailingSlash(folder);
}

} // namespace vadok
