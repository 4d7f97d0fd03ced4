#pragma once

#include <QString>

#include <optional>

namespace vadok {

// The storing period as typed in the settings: any number, rounded down to whole days, from
// -1 (never store) to 32765. nullopt when it is refused; message then holds what to tell the
// user.
std::optional<qint16> parseStoringPeriod(const QString& text, QString* message);

} // namespace vadok
