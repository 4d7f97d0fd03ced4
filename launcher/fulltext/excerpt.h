#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace vadok {

// A one-line piece of text around the first place where one of the words occurs, at most
// about kExcerptLength characters, with the place of every word in it marked. Words are in
// folded form (searchfold.h); the text is shown as written. "…" stands where a line was cut.
inline constexpr int kExcerptLength = 80;

struct Excerpt {
    QString text;
    QList<QPair<int, int>> marks; // [start, length) in text, in order
};

Excerpt excerptOf(const QString& text, const QStringList& foldedWords);

} // namespace vadok
