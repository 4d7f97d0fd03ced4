#include "apps/calendardays.h"

namespace vadok {

qint64 calendarDaysBetween(const QDateTime& from, const QDateTime& to) {
    if (!from.isValid() || !to.isValid())
        return 0;
    return from.toLocalTime().date().daysTo(to.toLocalTime().date());
}

} // namespace vadok
