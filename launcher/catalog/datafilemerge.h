#pragma once

#include <QList>
#include <QSet>
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
    // Something one side deleted and the other changed: kept, with the change.
    struct Kept {
        QString name;
        bool deletedByOurs = false; // else theirs deleted it and ours changed it
    };
    // Applications and folders that took something from the other version, in the order
    // they were met: what the user is told was merged.
    QStringList taken;
    // Applications theirs deleted that ours had left as both had them: gone from ours.
    QStringList deleted;
    // Fields both versions changed, each its own way: ours stayed.
    QList<Clash> clashes;
    QList<Kept> kept;
    // Whether ours was edited at all; a merge that finds nothing new leaves it as it was.
    bool changed = false;

    // Each adds a name (or a name's field) once, however many parts of the file meet it.
    void addTaken(const QString& name);
    void addClash(const QString& name, const QString& field);

private:
    QSet<QString> m_taken;
    QSet<QString> m_clashes;
};

// Merges theirs into ours, record by record, against base, a version both grew from (an
// empty document when no such version is known: then nothing is deleted, and every field
// the two hold differently keeps ours and is reported).
//   - An application or folder one side added stays. One the other side deleted goes when
//     the side that kept it left it as base has it; changed there, it stays with the change
//     and is reported. A folder also stays while an application is shown in it.
//   - A field changed on one side only takes that side's value; changed differently on both
//     sides, ours stays and the field is reported. Last-use times take the later one.
//   - Folders and applications keep ours' order; what only theirs has in a place follows the
//     entry it followed there.
//   - Settings follow the same rule per attribute, removals included, except that each
//     machine keeps its own window position without a report and its own working folders
//     (Config/Folders), which are never taken from another version.
// Linear in the size of the three versions.
MergeReport mergeDataFiles(XmlDocument& ours, const XmlDocument& theirs, const XmlDocument& base);

} // namespace vadok
