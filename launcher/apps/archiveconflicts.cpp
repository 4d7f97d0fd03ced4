#include "apps/archiveconflicts.h"

#include "apps/packapp.h"
#include "catalog/settings.h"
#include "platform/filerename.h"
#include "util/conflictcopies.h"
#include "util/folderutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

// The archive locked as a store locks it, taken at once or not at all.
class ArchiveHold {
public:
    explicit ArchiveHold(const QString& archive) {
#ifdef VADOK_WITH_ARCHIVER
        m_held = m_lock.take(QFile::encodeName(archive).toStdString(),
                             archiver::ArchiveLock::Kind::Exclusive,
                             {std::chrono::milliseconds(0), {}}) == ArchiverOk;
#else
        // Without the archiver nothing stores or expands an archive.
        Q_UNUSED(archive);
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

void readTimes(ArchiveConflict& conflict) {
    const QFileInfo archive(conflict.archivePath);
    conflict.archiveMissing = !archive.exists();
    conflict.copyIsNewer = conflict.archiveMissing ||
                           QFileInfo(conflict.copyPath).lastModified() > archive.lastModified();
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
        conflict.inUse = isExpanded(conflict.appName) || !ArchiveHold(conflict.archivePath).held();
        conflicts.append(conflict);
    }
    return conflicts;
}

ConflictSettled KeepNewerArchive(const ArchiveConflict& listed) {
    const ArchiveHold hold(listed.archivePath);
    if (!hold.held() || isExpanded(listed.appName))
        return ConflictSettled::InUse;
    if (!QFileInfo::exists(listed.copyPath))
        return ConflictSettled::CopyGone;
    ArchiveConflict now = listed;
    readTimes(now);
    if (!now.copyIsNewer)
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

} // namespace vadok
