#pragma once

// The pieces mergeDataFiles() is made of, one per part of the data file.

#include "catalog/datafilemerge.h"

#include <QHash>
#include <QSet>

namespace vadok {

class XmlDocument;

// Applications: deleted names those removed from ours because theirs deleted them.
struct MergedApps {
    QSet<QString> deleted;
};
MergedApps mergeApps(XmlDocument& ours, const XmlDocument& theirs, const XmlDocument& base,
                     MergeReport& report);

// Folders, and the applications' places in them.
void mergeFolders(XmlDocument& ours, const XmlDocument& theirs, const XmlDocument& base,
                  const MergedApps& apps, MergeReport& report);

// The Config element's attributes.
void mergeSettings(XmlDocument& ours, const XmlDocument& theirs, const XmlDocument& base,
                   MergeReport& report);

// Adds a clash once, however many parts of the file find it.
void reportClash(MergeReport& report, const QString& name, const QString& field);
void reportTaken(MergeReport& report, const QString& name);

} // namespace vadok
