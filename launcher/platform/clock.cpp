#include "platform/clock.h"

namespace vadok {

namespace {
std::function<QDateTime()> g_source;
}

QDateTime currentDateTime() { return g_source ? g_source() : QDateTime::currentDateTime(); }

void setClockSource(std::function<QDateTime()> source) { g_source = std::move(source); }

} // namespace vadok
