#include "catalog/syncconflicts.h"

#include "catalog/datafile.h"
#include "catalog/datafilecache.h"
#include "catalog/fileidentity.h"
#include "catalog/xmldocument.h"
#include "util/conflictcopies.h"
#include "util/folderutil.h"

#include <QFileInfo>
#include <QHash>

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

// The newest saved version both descend from; left unloaded when none does.
void loadBase(XmlDocument& base, const XmlDocument& ours, const XmlDocument& theirs) {
    const QString data = dataFilePath();
    for (const char* suffix : {".now", ".old", ".older", ".oldest"}) {
        if (base.load(data + QLatin1String(suffix)) && descendsFrom(ours, base) &&
            descendsFrom(theirs, base))
            return;
    }
    base.loadBytes(QByteArray()); // none fits: an empty base
}

void mergeCopy(const QString& copy, SyncMergeOutcome& outcome) {
    XmlDocument theirs;
    if (!theirs.load(copy)) {
        giveUp(outcome, copy, theirs.errorString());
        return;
    }
    DataFileEdit edit;
    if (!edit.isLoaded()) {
        giveUp(outcome, copy, edit.errorString());
        edit.keepUnchanged();
        return;
    }
    XmlDocument base;
    loadBase(base, edit.doc(), theirs);
    const MergeReport report = mergeDataFiles(edit.doc(), theirs, base);
    if (report.changed) {
        if (!edit.save()) {
            giveUp(outcome, copy, edit.errorString());
            return;
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
    for (const QString& name : report.taken) {
        if (!outcome.taken.contains(name))
            outcome.taken << name;
    }
    outcome.clashes += report.clashes;
}

} // namespace

SyncMergeOutcome MergeSyncConflicts() {
    SyncMergeOutcome outcome;
    for (const QString& copy : conflictCopiesOf(dataFilePath())) {
        if (!isGivenUp(copy))
            mergeCopy(copy, outcome);
    }
    return outcome;
}

} // namespace vadok
