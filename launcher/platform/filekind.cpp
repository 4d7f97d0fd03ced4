#include "platform/filekind.h"

#include <QFileInfo>

namespace vadok {

bool isNormalFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && !info.isHidden();
}

} // namespace vadok
