#pragma once

// The pieces mergeDataFiles() is made of, one per part of the data file.

#include "catalog/datafilemerge.h"

#include <QHash>
#include <QSet>

namespace vadok {

class XmlDocument;

// Applications: which names have a record in each version, and which ours holds after the
// merge, for the folders to place them.
struct MergedApps {
    QSet<QString> inOurs, inTheirs, inBase;
    QSet<QString> merged;

    bool hasRecord(const QString& name) const {
        return inOurs.contains(name) || inTheirs.contains(name) || inBase.contains(name);
    }
};
MergedApps mergeApps(XmlDocument& ours, const XmlDocument& theirs, const XmlDocument& base,
                     MergeReport& report);

// Folders, and the applications' places in them.
void mergeFolders(XmlDocument& ours, const XmlDocument& theirs, const XmlDocument& base,
                  const MergedApps& apps, MergeReport& report);

// The Config element's attributes.
void mergeSettings(XmlDocument& ours, const XmlDocument& theirs, const XmlDocument& base,
                   MergeReport& report);

} // namespace vadok
