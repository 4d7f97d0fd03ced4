#include "appsfixture.h"

#include "apps/archiveconflicts.h"
#include "catalog/settings.h"
#include "support/files.h"
#include "support/trashhome.h"

#include "archiver/files/archivelock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace vadok::test {
namespace {

using ArchiveConflicts = AppsFixture;

// What the trash step does in a row.
enum class Trash {
    Desktop,         // the desktop's trash
    Fails,           // refuses
    FileArrivesThen, // moves the file away, then a file arrives at its name (a sync delivering)
};

// Who holds the archive's lock while the pair is listed and settled.
enum class Holder {
    None,
    Reader, // a check, the index or the sizes: done soon, and waited for
    Store,  // in use
};

// One archive and its conflict copy in each row, settled by keeping the newer one (or the
// sound one); every version that existed must be the archive, stay beside it, or lie in the
// trash, and a damaged copy never takes the archive's place.
TEST_F(ArchiveConflicts, keepingTheNewerLosesNeitherVersion) {
    struct Row {
        const char* what;
        QString copyName;                 // the engine's name for the copy
        std::optional<int> archiveMinute; // modification minute; nullopt: no archive
        int copyMinute;
        Trash trash;
        bool expanded;
        Holder holder;
        ConflictSettled settled;
        QByteArray archiveAfter;          // "" when there is none
        bool copyStays;
        QByteArrayList trashAfter;
        bool copyDamaged = false;
        bool archiveDamaged = false;
        bool copyChangesAfterCheck = false;
    };
    const QDateTime base(QDate(2026, 12, 8), QTime(10, 0));
    const QList<Row> rows = {
        {"copy newer", QStringLiteral("A.sync-conflict-20261208-101500-ABCDEFG.lzh"), 0, 5,
         Trash::Desktop, false, Holder::None, ConflictSettled::KeptCopy, "copy", false, {"archive"}},
        {"archive newer", QStringLiteral("B (conflicted copy 2026-12-08 101500).lzh"), 5, 0,
         Trash::Desktop, false, Holder::None, ConflictSettled::KeptArchive, "archive", false, {"copy"}},
        {"same time keeps the archive", QStringLiteral("C (laptop's conflicted copy 2026-12-08).lzh"),
         3, 3, Trash::Desktop, false, Holder::None, ConflictSettled::KeptArchive, "archive", false, {"copy"}},
        {"archive missing", QStringLiteral("D (laptop's conflicted copy 2026-12-08).lzh"),
         std::nullopt, 0, Trash::Desktop, false, Holder::None, ConflictSettled::KeptCopy, "copy", false, {}},
        {"trash fails, copy newer", QStringLiteral("E.sync-conflict-20261208-101500-ABCDEFG.lzh"),
         0, 5, Trash::Fails, false, Holder::None, ConflictSettled::TrashFailed, "archive", true, {}},
        {"trash fails, archive newer", QStringLiteral("F (conflicted copy 2026-12-08 101500).lzh"),
         5, 0, Trash::Fails, false, Holder::None, ConflictSettled::TrashFailed, "archive", true, {}},
        {"a file arriving at the name is not written over",
         QStringLiteral("G.sync-conflict-20261208-101500-ABCDEFG.lzh"), 0, 5, Trash::FileArrivesThen,
         false, Holder::None, ConflictSettled::RenameFailedArchiveInTrash, "arrived", true, {"archive"}},
        {"expanded application", QStringLiteral("H.sync-conflict-20261208-101500-ABCDEFG.lzh"), 0, 5,
         Trash::Desktop, true, Holder::None, ConflictSettled::InUse, "archive", true, {}},
        {"archive being stored", QStringLiteral("I.sync-conflict-20261208-101500-ABCDEFG.lzh"), 0, 5,
         Trash::Desktop, false, Holder::Store, ConflictSettled::InUse, "archive", true, {}},
        {"archive being read, until the settling waits", QStringLiteral("J.sync-conflict-20261208-101500-ABCDEFG.lzh"),
         0, 5, Trash::Desktop, false, Holder::Reader, ConflictSettled::KeptCopy, "copy", false, {"archive"}},
        {"damaged copy, newer", QStringLiteral("K.sync-conflict-20261208-101500-ABCDEFG.lzh"), 0, 5,
         Trash::Desktop, false, Holder::None, ConflictSettled::CopyDamaged, "archive", true, {}, true},
        {"damaged copy, no archive", QStringLiteral("L.sync-conflict-20261208-101500-ABCDEFG.lzh"),
         std::nullopt, 0, Trash::Desktop, false, Holder::None, ConflictSettled::CopyDamaged, "", true, {}, true},
        {"damaged archive, older sound copy", QStringLiteral("M.sync-conflict-20261208-101500-ABCDEFG.lzh"),
         5, 0, Trash::Desktop, false, Holder::None, ConflictSettled::KeptCopy, "copy", false, {"archive"},
         false, true},
        {"copy changed after the check", QStringLiteral("N.sync-conflict-20261208-101500-ABCDEFG.lzh"), 0, 5,
         Trash::Desktop, false, Holder::None, ConflictSettled::Changed, "archive", true, {}, false, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const TrashHome trash;
        QTemporaryDir elsewhere;
        const QString pack = settings().PackDir;
        const QString copy = pack + row.copyName;
        const QString appName = row.copyName.left(1);
        const QString archive = pack + appName + QStringLiteral(".lzh");
        if (row.archiveMinute) {
            writeFile(archive, "archive");
            setModified(archive, base.addSecs(60 * *row.archiveMinute));
        }
        writeFile(copy, "copy");
        setModified(copy, base.addSecs(60 * row.copyMinute));
        if (row.expanded)
            writeFile(settings().ExecDir + appName + QStringLiteral("/run.exe"), "program");
        archiver::ArchiveLock holder;
        if (row.holder != Holder::None) {
            ASSERT_EQ(holder.take(archive.toStdString(),
                                  row.holder == Holder::Store ? archiver::ArchiveLock::Kind::Exclusive
                                                              : archiver::ArchiveLock::Kind::Shared,
                                  {}),
                      0);
        }
        int readerWaits = 0;
        setConflictReaderWaitHook([&] {
            ++readerWaits;
            holder.release();
        });
        if (row.trash == Trash::Fails)
            setConflictTrashHook([](const QString&, QString*) { return false; });
        if (row.trash == Trash::FileArrivesThen)
            setConflictTrashHook([&](const QString& path, QString* inTrash) {
                *inTrash = elsewhere.filePath(QFileInfo(path).fileName());
                const bool moved = QFile::rename(path, *inTrash);
                writeFile(path, "arrived");
                return moved;
            });

        QList<ArchiveConflict> found = FindArchiveConflicts({});
        ASSERT_EQ(found.size(), 1);
        ArchiveConflict& conflict = found[0];
        EXPECT_EQ(conflict.copyPath, copy);
        EXPECT_EQ(conflict.archivePath, archive);
        EXPECT_EQ(conflict.appName, appName);
        EXPECT_EQ(conflict.inUse, row.expanded || row.holder == Holder::Store);
        EXPECT_EQ(conflict.archiveMissing, !row.archiveMinute);
        // What the check of the archives would find (its own tests read real archives).
        const QStringList files = FilesToCheck(conflict);
        EXPECT_EQ(files, (row.archiveMinute ? QStringList{copy, archive} : QStringList{copy}));
        ArchiveCheckResult sound;
        sound.sound = true;
        ArchiveCheckResult damaged;
        damaged.fault = ArchiveFault::NotAnArchive;
        NoteConflictCheck(conflict, copy, row.copyDamaged ? damaged : sound);
        if (row.archiveMinute)
            NoteConflictCheck(conflict, archive, row.archiveDamaged ? damaged : sound);
        if (row.copyChangesAfterCheck)
            writeFile(copy, "copy, written again");
        EXPECT_EQ(KeepNewerArchive(conflict), row.settled);
        EXPECT_EQ(readerWaits > 0, row.holder == Holder::Reader);
        setConflictTrashHook({});
        setConflictReaderWaitHook({});
        holder.release();

        EXPECT_EQ(readFile(archive), row.archiveAfter);
        EXPECT_EQ(QFileInfo::exists(copy), row.copyStays);
        QByteArrayList trashed;
        for (const QString& folder : {trash.filesFolder(), elsewhere.path()})
            for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files))
                trashed << readFile(file.absoluteFilePath());
        EXPECT_EQ(trashed, row.trashAfter);

        QFile::remove(copy);
        QFile::remove(archive);
        QDir(settings().ExecDir + appName).removeRecursively();
    }
}

TEST_F(ArchiveConflicts, anApplicationsOwnArchiveWithAConflictLikeNameIsNoCopy) {
    const QString pack = settings().PackDir;
    writeFile(pack + QStringLiteral("Demo.lzh"), "archive");
    writeFile(pack + QStringLiteral("Demo (conflicted copy 2).lzh"), "an application of its own");
    writeFile(pack + QStringLiteral("Demo.sync-conflict-20261208-101500-ABCDEFG.lzh"), "copy");
    writeFile(pack + QStringLiteral("vadok.sync-conflict-20261208-101500-ABCDEFG.xml"), "not an archive");
    const auto isApplication = [](const QString& name) {
        return name == u"Demo" || name == u"Demo (conflicted copy 2)";
    };
    QStringList copies;
    for (const ArchiveConflict& conflict : FindArchiveConflicts(isApplication))
        copies << QFileInfo(conflict.copyPath).fileName();
    EXPECT_EQ(copies, QStringList{QStringLiteral("Demo.sync-conflict-20261208-101500-ABCDEFG.lzh")});
}

} // namespace
} // namespace vadok::test
