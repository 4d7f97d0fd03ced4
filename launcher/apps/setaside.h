#pragma once

#include <QString>
#include <QStringList>

namespace vadok {

// A re-expansion keeps the user's folder of a never-stored application under a hidden name
// beside it until the archive has expanded in its place.
QString reExpansionAside(const QString& execFolder, const QString& name);

struct PutBack {
    QStringList restored; // folders back under their own name
    QStringList keptBeside; // names whose folder stands again: the set-aside one stays too
};

// After a run that ended between the two steps of a re-expansion: every folder it set aside
// takes its place again where the application's folder is missing. Where a folder of that
// name stands, both stay, for the user to choose. Only folders (never links) whose name
// follows the pattern are touched.
PutBack putBackSetAsideFolders(const QString& execFolder);

} // namespace vadok
