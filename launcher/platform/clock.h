#pragma once

#include <QDateTime>
#include <functional>

namespace vadok {

// Local date and time now; injectable so tests can stand days apart without waiting.
QDateTime currentDateTime();
void setClockSource(std::function<QDateTime()> source);

} // namespace vadok
