#include "apps/archiveconflicts.h"

#include "apps/packapp.h"
#include "catalog/settings.h"
#include "platform/filerename.h"
#include "util/conflictcopies.h"
#include "util/folderutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>

#ifdef VADOK_WITH_ARCHIVER
#include "archiver/archiver.h"
#include "archiver/files/archivelock.h"
#endif

namespace vadok {

namespace {

const QString kArchiveSuffix = QStringLiteral(".lzh");

std::function<bool(const QString&, QString*)>& trashHook() {
    static std::function<bool(const QString&, QString*)> hook;
    return hook;
}

bool toTrash(const QString& path, QString* pathInTrash) {
    if (trashHook())
        return trashHook()(path, pathInTrash);
    return MoveToTrash(path, pathInTrash);
}

bool isExpanded(const QString& appName) {
    AppRecord record;
    record.AppName = appName;
    return PackApp(record).isExpandedOnDisk();
}

// Takes a file back out of the trash to where it was, with its trash record.
bool restoreFromTrash(const QString& pathInTrash, const QString& path) {
    if (pathInTrash.isEmpty() || !renameWithoutReplacing(pathInTrash, path))
        return false;
    const QFileInfo trashed(pathInTrash);
    if (trashed.absoluteDir().dirName() == u"files") {
        QDir trash = trashed.absoluteDir();
        trash.cdUp();
        QFile::remove(trash.filePath(QStringLiteral("info/") + trashed.fileName() +
                                     QStringLiteral(".trashinfo")));
    }
    return true;
}

std::function<void()>& readerWaitHook() {
    static std::function<void()> hook;
    return hook;
}

// A reader of an archive (a check, the index, the sizes) holds it for as long as it reads one
// archive; a settling that waits longer gives up and offers the pair again later.
constexpr std::chrono::milliseconds kReaderWait{30000};

// The archive locked as a store locks it (exclusive), or as a reader does (shared), taken
// within wait or not at all.
class ArchiveHold {
public:
    ArchiveHold(const QString& archive, bool exclusive, std::chrono::milliseconds wait = {}) {
#ifdef VADOK_WITH_ARCHIVER
        const archiver::ArchiveLock::Wait patience{wait, [] {
                                                       if (readerWaitHook())
                                                           readerWaitHook()();
                                                       return true;
                                                   }};
        m_held = m_lock.take(QFile::encodeName(archive).toStdString(),
                             exclusive ? archiver::ArchiveLock::Kind::Exclusive
                                       : archiver::ArchiveLock::Kind::Shared,
                             patience) == ArchiverOk;
#else
        // Without the archiver nothing stores or expands an archive.
        Q_UNUSED(archive);
        Q_UNUSED(exclusive);
        Q_UNUSED(wait);
        m_held = true;
#endif
    }
    bool held() const { return m_held; }

private:
#ifdef VADOK_WITH_ARCHIVER
    archiver::ArchiveLock m_lock;
#endif
    bool m_held = false;
};

// A store holds the archive: readers share their lock with us, a store does not.
bool storeHolds(const QString& archive) { return !ArchiveHold(archive, false).held(); }

void readTimes(ArchiveConflict& conflict) {
    const QFileInfo archive(conflict.archivePath);
    const QFileInfo copy(conflict.copyPath);
    conflict.archiveMissing = !archive.exists();
    conflict.copyIsNewer = conflict.archiveMissing || copy.lastModified() > archive.lastModified();
    conflict.copySize = copy.exists() ? copy.size() : -1;
    conflict.copyModified = copy.lastModified();
    conflict.archiveSize = archive.exists() ? archive.size() : -1;
    conflict.archiveModified = archive.lastModified();
}

bool sameFiles(const ArchiveConflict& a, const ArchiveConflict& b) {
    return a.copySize == b.copySize && a.copyModified == b.copyModified &&
           a.archiveSize == b.archiveSize && a.archiveModified == b.archiveModified;
}

} // namespace

QList<ArchiveConflict> FindArchiveConflicts(const std::function<bool(const QString& name)>& isApplication) {
    QList<ArchiveConflict> conflicts;
    for (const ConflictCopy& copy : conflictCopiesIn(settings().PackDir, kArchiveSuffix)) {
        const QFileInfo copyFile(copy.copyPath);
        if (isApplication && isApplication(copyFile.completeBaseName()))
            continue;
        ArchiveConflict conflict;
        conflict.copyPath = copy.copyPath;
        conflict.archivePath = copy.originalPath;
        conflict.appName = QFileInfo(copy.originalPath).completeBaseName();
        readTimes(conflict);
        conflict.inUse = isExpanded(conflict.appName) || storeHolds(conflict.archivePath);
        conflicts.append(conflict);
    }
    return conflicts;
}

QStringList FilesToCheck(const ArchiveConflict& conflict) {
    QStringList files{conflict.copyPath};
    if (!conflict.archiveMissing)
        files << conflict.archivePath;
    return files;
}

void NoteConflictCheck(ArchiveConflict& conflict, const QString& file, const ArchiveCheckResult& result) {
    // A check cut short proves nothing either way.
    const bool damaged = !result.sound;
    if (file == conflict.copyPath) {
        conflict.copyChecked = !result.cancelled;
        conflict.copyDamaged = damaged;
        const QString reason = faultText(result.fault);
        conflict.copyDamage = result.member.isEmpty() ? reason : result.member + QStringLiteral(": ") + reason;
    } else if (file == conflict.archivePath) {
        conflict.archiveDamaged = damaged && !result.cancelled;
    }
}

ConflictSettled KeepNewerArchive(const ArchiveConflict& listed) {
    if (isExpanded(listed.appName) || storeHolds(listed.archivePath))
        return ConflictSettled::InUse;
    const ArchiveHold hold(listed.archivePath, true, kReaderWait);
    if (!hold.held() || isExpanded(listed.appName))
        return ConflictSettled::InUse;
    if (!QFileInfo::exists(listed.copyPath))
        return ConflictSettled::CopyGone;
    if (!listed.copyChecked || listed.copyDamaged)
        return ConflictSettled::CopyDamaged;
    // What was checked is what is settled, or nothing is.
    ArchiveConflict now = listed;
    readTimes(now);
    if (!sameFiles(now, listed))
        return ConflictSettled::Changed;
    if (!listed.keepsCopy())
        return toTrash(now.copyPath, nullptr) ? ConflictSettled::KeptArchive : ConflictSettled::TrashFailed;

    QString archiveInTrash;
    if (!now.archiveMissing && !toTrash(now.archivePath, &archiveInTrash))
        return ConflictSettled::TrashFailed;
    if (!renameWithoutReplacing(now.copyPath, now.archivePath)) {
        if (now.archiveMissing || restoreFromTrash(archiveInTrash, now.archivePath))
            return ConflictSettled::RenameFailed;
        return ConflictSettled::RenameFailedArchiveInTrash;
    }
    syncFolderOf(now.archivePath);
    return ConflictSettled::KeptCopy;
}

void setConflictTrashHook(std::function<bool(const QString& path, QString* pathInTrash)> hook) {
    trashHook() = std::move(hook);
}

void setConflictReaderWaitHook(std::function<void()> hook) { readerWaitHook() = std::move(hook); }

} // namespace vadok
