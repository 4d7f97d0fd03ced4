#include "fulltext/fulltextsearch.h"

namespace vadok {

struct FullTextSearch::Private {
    bool indexing = false;
};

FullTextSearch::FullTextSearch(QObject* parent) : QObject(parent), d(std::make_unique<Private>()) {}

FullTextSearch::~FullTextSearch() = default;

void FullTextSearch::refresh() {}

std::vector<FullTextHit> FullTextSearch::query(const QString&, int) { return {}; }

bool FullTextSearch::isIndexing() const { return d->indexing; }

void FullTextSearch::waitUntilIdle() {}

} // namespace vadok
