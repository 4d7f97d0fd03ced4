#pragma once

#include <QDateTime>

#include <optional>

namespace vadok {

class PackApp;

// The exit's decision which expanded applications go back into their archives: those not
// marked NonPack whose last use lies more than packDate calendar days back (midnights
// passed, not 24-hour periods). packDate 0 stores every one at every exit; -1 stores none.
bool isDueForStoring(PackApp& app, const QDateTime& now, qint16 packDate);

// Exits (counted in days) before one would store the application: 1 when the exit tomorrow
// would, 0 when the next exit will. nullopt when no exit ever will (NonPack, packDate -1).
std::optional<int> daysBeforeStoring(PackApp& app, const QDateTime& now, qint16 packDate);

} // namespace vadok
