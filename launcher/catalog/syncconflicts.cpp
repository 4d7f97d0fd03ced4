#include "catalog/syncconflicts.h"

#include "catalog/datafile.h"
#include "catalog/datafilecache.h"
#include "catalog/fileidentity.h"
#include "catalog/syncbase.h"
#include "catalog/xmldocument.h"
#include "util/conflictcopies.h"
#include "util/folderutil.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <optional>

namespace vadok {

namespace {

// Copies given up on, with the version that failed: a copy that changes is tried again.
QHash<QString, FileIdentity>& givenUp() {
    static QHash<QString, FileIdentity> copies;
    return copies;
}

bool isGivenUp(const QString& copy) {
    const auto it = givenUp().constFind(copy);
    return it != givenUp().cend() && fileIdentity(copy) == *it;
}

void giveUp(SyncMergeOutcome& outcome, const QString& copy, const QString& reason) {
    if (const std::optional<FileIdentity> identity = fileIdentity(copy))
        givenUp().insert(copy, *identity);
    outcome.failures << QFileInfo(copy).fileName() + QStringLiteral(": ") + reason;
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The snapshot and the backups are copies of the data file made on each machine; the sync
// engine's copies of them hold nothing the data file and its own backups lack.
void removeBackupCopies() {
    for (const char* suffix : {".now", ".old", ".older", ".oldest"}) {
        for (const QString& copy : conflictCopiesOf(dataFilePath() + QLatin1String(suffix)))
            DeleteFolder(copy, nullptr, false);
    }
}

// What one merge told, added to what the others told, each name once.
class OutcomeCollector {
public:
    explicit OutcomeCollector(SyncMergeOutcome& outcome) : m_outcome(outcome) {}
    void add(const MergeReport& report) {
        for (const QString& name : report.taken) {
            if (!m_taken.contains(name)) {
                m_taken.insert(name);
                m_outcome.taken << name;
            }
        }
        m_outcome.deleted += report.deleted;
        m_outcome.clashes += report.clashes;
        m_outcome.kept += report.kept;
    }

private:
    SyncMergeOutcome& m_outcome;
    QSet<QString> m_taken;
};

// Merges copy into the data file; its bytes when it was saved on another machine, which
// this machine has now read.
std::optional<QByteArray> mergeCopy(const QString& copy, const XmlDocument& base,
                                    SyncMergeOutcome& outcome, OutcomeCollector& collector) {
    const QByteArray bytes = bytesOf(copy);
    XmlDocument theirs;
    if (!theirs.loadBytes(bytes, copy)) {
        giveUp(outcome, copy, theirs.errorString());
        return std::nullopt;
    }
    DataFileEdit edit;
    if (!edit.isLoaded()) {
        giveUp(outcome, copy, edit.errorString());
        edit.keepUnchanged();
        return std::nullopt;
    }
    const MergeReport report = mergeDataFiles(edit.doc(), theirs, base);
    if (report.changed) {
        if (!edit.save()) {
            giveUp(outcome, copy, edit.errorString());
            return std::nullopt;
        }
    } else {
        edit.keepUnchanged();
    }
    // Only now that its changes are in the data file may the copy go; should the trash
    // refuse it, it stays, and merging it again later changes nothing.
    if (!DeleteFolder(copy, nullptr, false)) {
        giveUp(outcome, copy, QStringLiteral("ごみ箱に移せませんでした"));
    } else {
        ++outcome.merged;
    }
    collector.add(report);
    return savedElsewhere(theirs) ? std::optional<QByteArray>(bytes) : std::nullopt;
}

} // namespace

SyncMergeOutcome MergeSyncConflicts() {
    SyncMergeOutcome outcome;
    OutcomeCollector collector(outcome);
    removeBackupCopies();

    // The data file as the sync engine left it, before any copy joins it.
    const QByteArray current = bytesOf(dataFilePath());
    XmlDocument currentDoc;
    std::optional<QByteArray> shared;
    if (currentDoc.loadBytes(current) && savedElsewhere(currentDoc))
        shared = current;

    XmlDocument base;
    loadSharedVersion(base);
    bool allMerged = true;
    for (const QString& copy : conflictCopiesOf(dataFilePath())) {
        std::optional<QByteArray> theirs;
        if (!isGivenUp(copy))
            theirs = mergeCopy(copy, base, outcome, collector);
        if (QFileInfo::exists(copy))
            allMerged = false;
        else if (theirs && !shared)
            shared = theirs;
    }
    // While a copy waits, the version it grew from is still the one to merge it against.
    if (allMerged && shared)
        rememberSharedVersion(*shared);
    return outcome;
}

} // namespace vadok
