#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace vadok {

class XmlDocument;

// What a merge took from the other version and where both versions disagreed.
struct MergeReport {
    struct Clash {
        QString name;  // the application's title, or a folder's name
        QString field; // the field as the editor labels it
    };
    // Applications and folders that took something from the other version, in the order
    // they were met: what the user is told was merged.
    QStringList taken;
    // Fields both versions changed, each its own way: ours stayed.
    QList<Clash> clashes;
    // Whether ours was edited at all; a merge that finds nothing new leaves it as it was.
    bool changed = false;
};

// Merges theirs into ours, record by record, against base, the version both descend from
// (not loaded: both grew from nothing).
//   - An application or folder one side added stays; one the other side deleted goes, unless
//     an application still refers to the folder.
//   - A field changed on one side only takes that side's value; changed differently on both
//     sides, ours stays and the field is reported. Last-use times take the later one.
//   - Folders and applications keep ours' order; what only theirs has in a place follows the
//     entry it followed there.
//   - Settings follow the same rule per attribute; a setting both sides changed keeps ours
//     without a report, since each machine keeps its own window position.
MergeReport mergeDataFiles(XmlDocument& ours, const XmlDocument& theirs, const XmlDocument& base);

// Whether version descends from base as far as can be told without a history: no
// application's last-use time in version is earlier than in base, since using an
// application only ever moves it forward.
bool descendsFrom(const XmlDocument& version, const XmlDocument& base);

} // namespace vadok
