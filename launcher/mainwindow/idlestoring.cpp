#include "mainwindow/idlestoring.h"

#include "apps/packapp.h"
#include "mainwindow/calendardays.h"

namespace vadok {

bool isDueForStoring(PackApp& app, const QDateTime& now, qint16 packDate) {
    if (packDate == -1 || app.NonPack())
        return false;
    // An application never run reads as used now, so only packDate 0 stores it.
    const qint64 days = calendarDaysBetween(app.LastOpenDateTime(), now);
    return packDate == 0 || days > packDate;
}

} // namespace vadok
