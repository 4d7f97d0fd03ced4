#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace vadok {

class SearchDb;

// One application as the data file had it when a pass was asked for.
struct AppSource {
    QString title;
    QString notes;
    QString archive; // the archive in the pack folder
    QString folder;  // the expanded folder in the execution folder
    bool shortcut = false; // its program lives elsewhere: no texts of its own
};

// Which version of an application's texts the index holds: the expanded folder's stamp
// when it is expanded, else the archive's identity; "-" for none.
QString sourceKeyOf(const AppSource& app);

struct PassHooks {
    std::function<void(int done, int total)> progress;
    std::function<bool()> stopping; // true: leave the rest for the next pass
    // Called on the reading thread: "archive" as an archive is opened, "text" after each text.
    std::function<void(const char* point)> reading;
    // The texts taken from one application, and from all together, in bytes of their files:
    // a text that does not fit is left out, and its application marked as cut.
    qint64 appTextLimit = 0;
    qint64 indexTextLimit = 0;
};

// Brings the index up to date with apps: removes the applications no longer there, follows
// renames (same texts under a new title), and for each application replaces its notes when
// they differ and its texts when their source key differs. Commits in batches, so queries
// see the work as it goes and memory stays small. Throws SqlError.
void runIndexPass(SearchDb& db, const std::vector<AppSource>& apps, const PassHooks& hooks);

// The applications whose texts were cut, by title.
QStringList appsWithCutTexts(SearchDb& db);

} // namespace vadok
