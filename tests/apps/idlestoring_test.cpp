#include "apps/calendardays.h"
#include "apps/idlestoring.h"
#include "apps/packapp.h"

#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace vadok::test {
namespace {

struct DayCase {
    QDateTime from;
    QDateTime to;
    qint64 days;
};

TEST(CalendarDays, countsMidnightsPassedNotWholeDays) {
    const QDate d(2026, 12, 1);
    const DayCase cases[] = {
        {QDateTime(d, QTime(23, 59)), QDateTime(d.addDays(1), QTime(0, 1)), 1},
        {QDateTime(d, QTime(0, 0)), QDateTime(d, QTime(23, 59, 59)), 0},
        {QDateTime(d, QTime(12, 0)), QDateTime(d.addDays(6), QTime(0, 0)), 6},
        {QDateTime(d.addDays(31), QTime(8, 0)), QDateTime(d.addDays(36), QTime(23, 0)), 5},
        {QDateTime(d, QTime(12, 0)), QDateTime(d.addDays(-2), QTime(12, 0)), -2},
        {QDateTime(), QDateTime(d, QTime(12, 0)), 0},
    };
    for (const DayCase& c : cases)
        EXPECT_EQ(calendarDaysBetween(c.from, c.to), c.days)
            << c.from.toString(Qt::ISODate).toStdString() << " -> "
            << c.to.toString(Qt::ISODate).toStdString();
}

// The days shown before an application is stored count down to 0 on the very day the exit
// stores it, and never reach it for what the exit never stores.
TEST(DaysBeforeStoring, reachZeroExactlyWhenTheExitStores) {
    const QDateTime now(QDate(2026, 12, 8), QTime(0, 1));
    for (const qint16 packDate : {qint16(-1), qint16(0), qint16(1), qint16(5)}) {
        for (const bool nonPack : {false, true}) {
            for (int daysAgo = 0; daysAgo <= 8; ++daysAgo) {
                AppRecord record;
                record.NonPack = nonPack;
                record.LastOpenDateTime = QDateTime(now.date().addDays(-daysAgo), QTime(23, 59));
                PackApp app(record);
                const std::optional<int> left = daysBeforeStoring(app, now, packDate);
                const bool due = isDueForStoring(app, now, packDate);
                SCOPED_TRACE(testing::Message() << packDate << (nonPack ? " NonPack " : " ") << daysAgo);
                EXPECT_EQ(left.has_value(), packDate != -1 && !nonPack);
                EXPECT_EQ(left == 0, due);
                if (left && daysAgo == 0 && packDate > 0) {
                    EXPECT_EQ(*left, packDate + 1);
                }
            }
        }
    }
}

} // namespace
} // namespace vadok::test
