#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace vadok {

// The form in which texts are indexed and queries compared: each character in its
// compatibility form (NFKC: full-width letters and digits become half-width, half-width
// katakana full-width) and case-folded, a half-width voiced or semi-voiced mark joined to the
// kana before it. Characters are folded one by one rather than the string as a whole, so a
// folded position can be traced back to the original text for excerpts.
QString foldForSearch(QStringView text);

// The folded text with, for each of its characters, the position in text it came from.
struct FoldedText {
    QString text;
    std::vector<int> origin; // one per character of text, plus text.size() at the end
};
FoldedText foldTracing(QStringView text);

} // namespace vadok
