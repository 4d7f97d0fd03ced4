#pragma once

#include <QSet>
#include <QString>
#include <functional>

namespace vadok {

class ArchiveCheckJob;
struct ArchiveConflict;

// Conflict copies of archives that a sync engine left in the pack folder: each copy is told
// once per run, with the offer to keep the newer version of each pair (the older one goes to
// the trash). A pair in use is mentioned and offered once it is free.
class ArchiveConflictOffers {
public:
    // Whether name is an application's, in the tree or only in the data file.
    using IsApplication = std::function<bool(const QString& name)>;
    // Runs a check of archives behind a progress dialog; false when the user cancelled it.
    using RunChecks = std::function<bool(ArchiveCheckJob& job)>;

    // Lists the copies not told yet, checks them and asks the user. True when a pair was
    // settled, which changes what the archives take.
    bool offer(const IsApplication& isApplication, const RunChecks& runChecks);

private:
    // Checks each copy and its archive, and notes what was found; false when the user
    // cancelled the check.
    bool checkCopies(QList<ArchiveConflict>& conflicts, const RunChecks& runChecks);

    QSet<QString> m_offered;
    QSet<QString> m_toldInUse;
};

} // namespace vadok
