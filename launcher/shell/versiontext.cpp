#include "shell/versiontext.h"

namespace vadok {

QString versionText(int major, int minor, int revision) {
    QString text = QStringLiteral("Vadok %1.%2").arg(major).arg(minor);
    if (revision > 0)
        text += QStringLiteral(".%1").arg(revision);
    return text;
}

} // namespace vadok
