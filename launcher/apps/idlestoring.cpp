#include "apps/idlestoring.h"

#include "apps/packapp.h"
#include "apps/calendardays.h"

#include <algorithm>

namespace vadok {

bool isDueForStoring(PackApp& app, const QDateTime& now, qint16 packDate) {
    if (packDate == -1 || app.NonPack())
        return false;
    // An application never run reads as used now, so only packDate 0 stores it.
    const qint64 days = calendarDaysBetween(app.LastOpenDateTime(), now);
    return packDate == 0 || days > packDate;
}

std::optional<int> daysBeforeStoring(PackApp& app, const QDateTime& now, qint16 packDate) {
    if (packDate == -1 || app.NonPack())
        return std::nullopt;
    if (packDate == 0)
        return 0;
    const qint64 days = calendarDaysBetween(app.LastOpenDateTime(), now);
    return int(std::max<qint64>(packDate + 1 - days, 0));
}

} // namespace vadok
