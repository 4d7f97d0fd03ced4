#pragma once

#include <QStringList>

namespace vadok {

// Titles of the applications whose title holds text, in file order. Both are upper-cased
// first, so Latin letters match in either case, full-width ones included (but never their
// half-width forms). An empty text matches every title; a file that cannot be read gives none.
QStringList SearchTitles(const QString& text);

} // namespace vadok
