#pragma once

#include "catalog/datafilemerge.h"

#include <QStringList>

namespace vadok {

// What merging the data file's conflict copies came to.
struct SyncMergeOutcome {
    int merged = 0;                     // copies merged and moved to the trash
    QStringList taken;                  // applications and folders that took something from them
    QList<MergeReport::Clash> clashes;  // fields both versions changed: the data file's value stayed
    QStringList failures;               // one line per copy left where it is, with the reason
};

// Merges every conflict copy a sync engine left beside the data file into it, oldest first,
// three ways against the newest backup both versions descend from (the start-up snapshot
// first, then the generations; none that fits: an empty base). Each result is saved through
// the atomic save before its copy goes to the trash; a copy that cannot be read, or whose
// merge cannot be saved, stays where it is and is not tried again until it changes.
SyncMergeOutcome MergeSyncConflicts();

} // namespace vadok
