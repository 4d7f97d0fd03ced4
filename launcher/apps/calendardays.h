#pragma once

#include <QDateTime>

namespace vadok {

// Midnights passed from from to to, not 24-hour periods: yesterday 23:59 to today 00:01 is 1.
// Negative when to lies on an earlier day; 0 when either time is invalid.
qint64 calendarDaysBetween(const QDateTime& from, const QDateTime& to);

} // namespace vadok
