#pragma once

#include <QString>

namespace vadok {

// Field helpers over delimited text. Positions are 1-based, comparisons case-sensitive, and
// kOmitted marks an argument the caller left out.
inline constexpr int kOmitted = -9999;

// Position just after the next separator at or after start (start below 1 counts as 1);
// 0 when there is none; 1 for an empty separator.
int FieldEndPos(const QString& text, const QString& separator, int start);

// The fields from..to (inner separators kept). to omitted means from.
QString GetField(const QString& text, const QString& separator, int from = 1, int to = kOmitted);

// Separators plus one; 0 for an empty text or separator. Without a separator, the length of
// the text.
inline const QString kCountFieldsDefault = QStringLiteral("Default Value");
int CountFields(const QString& text, const QString& separator = kCountFieldsDefault);

// Trailing spaces, then one trailing CR LF, removed until the text no longer ends in CR LF.
QString TrimTrailingBreaks(const QString& text);

// True when path names an existing folder (a trailing "/" is allowed).
bool IsExistingFolder(const QString& path);

} // namespace vadok
