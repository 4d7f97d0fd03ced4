#pragma once

#include "fulltext/fulltextsearch.h"

#include <QString>

#include <vector>

namespace vadok {

class SearchDb;

// The applications in which every word of text occurs (anywhere among their title, notes and
// bundled texts, not necessarily in one of them), best first: those found in their title
// before those found only in their notes, those before those found only in a bundled text;
// within a tier by the sum over the words of their best BM25 score, so that more and rarer
// words rank higher. Words of three characters or more are looked up in the trigram index,
// shorter ones by a substring scan of the same texts. Throws SqlError.
std::vector<FullTextHit> runQuery(SearchDb& db, const QString& text, int limit);

} // namespace vadok
