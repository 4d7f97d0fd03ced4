#include "util/sizetext.h"

#include <cmath>

namespace vadok {

QString sizeText(quint64 bytes) {
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    static const char* const units[] = {"KB", "MB", "GB"};
    double value = double(bytes) / 1024.0;
    int unit = 0;
    // Decide on the rounded value: 1048575 bytes is 1024.0 KB once rounded, and reads 1.0 MB.
    while (unit < 2 && std::round(value * 10.0) / 10.0 >= 1024.0) {
        value /= 1024.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

} // namespace vadok
