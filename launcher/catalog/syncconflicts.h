#pragma once

#include "catalog/datafilemerge.h"

#include <QStringList>

namespace vadok {

// What merging the data file's conflict copies came to.
struct SyncMergeOutcome {
    int merged = 0;                     // copies merged and moved to the trash
    QStringList taken;                  // applications and folders that took something from them
    QStringList deleted;                // applications the other machine deleted: gone here too
    QList<MergeReport::Clash> clashes;  // fields both versions changed: the data file's value stayed
    QList<MergeReport::Kept> kept;      // deleted on one side, changed on the other: kept
    QStringList failures;               // one line per copy left where it is, with the reason
};

// Merges every conflict copy a sync engine left beside the data file into it, oldest first,
// three ways against the last version this machine shared with another one (syncbase.h;
// none known: nothing is deleted and differences keep the data file's values). Each result
// is saved through the atomic save before its copy goes to the trash; a copy that cannot be
// read, or whose merge cannot be saved, stays where it is and is not tried again until it
// changes. Conflict copies of the snapshot and the backups are only history: they go to the
// trash unread. Once no copy is left, a data file another machine saved becomes the version
// the next merge starts from.
SyncMergeOutcome MergeSyncConflicts();

} // namespace vadok
