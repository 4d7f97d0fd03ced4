#pragma once

#include <QDateTime>
#include <QString>

#include <cmath>
#include <limits>
#include <optional>

namespace vadok {

// Conversions between the data file's texts and typed values. A text that does not convert
// gives nullopt, and callers keep whatever value they had.

// A decimal number rounded half to even, as the stored integers were always read, and only
// when it fits the target type.
std::optional<double> textToNumber(const QString& text);

template <typename T> std::optional<T> textToInt(const QString& text) {
    const std::optional<double> value = textToNumber(text);
    if (!value)
        return std::nullopt;
    const double rounded = std::nearbyint(*value);
    if (rounded < double(std::numeric_limits<T>::min()) ||
        rounded > double(std::numeric_limits<T>::max()))
        return std::nullopt;
    return static_cast<T>(rounded);
}

// "True"/"False" in any letter case, or a number (non-zero is true).
std::optional<bool> textToBool(const QString& text);

// Booleans in element text ("True"/"False") and in attributes ("-1"/"0").
QString boolElementText(bool value);
QString boolAttributeText(bool value);

// A font size in points with at most four decimals and no trailing zeros: "9", "10.5".
QString fontSizeText(double points);

// Dates are written as "yyyy/MM/dd H:mm:ss" in local time; reading also takes single-digit
// month, day and minute fields, a date alone, and ISO 8601.
QString dateTimeText(const QDateTime& value);
std::optional<QDateTime> textToDateTime(const QString& text);

// Working-folder paths as stored: inside the program folder they are ".." plus the rest
// ("..Pack/"); elsewhere absolute. Stored forms written on Windows use "\" and read the same.
QString toStoredFolderPath(const QString& absolute, const QString& programFolder);
QString fromStoredFolderPath(const QString& stored, const QString& programFolder);

} // namespace vadok
