#include "platform/programfolder.h"

namespace vadok {

namespace {
QString g_programFolder;
}

QString withTrailingSlash(const QString& folder) {
    if (folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

QString programFolder() { return g_programFolder; }

void setProgramFolder(const QString& folder) { g_programFolder = withTrailingSlash(folder); }

} // namespace vadok
