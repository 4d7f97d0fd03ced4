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

// One archive and its conflict copy in each row, settled by keeping the newer one; every
// version that existed must be the archive, stay beside it, or lie in the trash.
TEST_F(ArchiveConflicts, keepingTheNewerLosesNeitherVersion) {
    struct Row {
        const char* what;
        QString copyName;                 // the engine's name for the copy
        std::optional<int> archiveMinute; // modification minute; nullopt: no archive
        int copyMinute;
        Trash trash;
        bool expanded;
        bool locked;
        ConflictSettled settled;
        QByteArray archiveAfter;          // "" when there is none
        bool copyStays;
        QByteArrayList trashAfter;
    };
    const QDateTime base(QDate(2026, 12, 8), QTime(10, 0));
    const QList<Row> rows = {
        {"copy newer", QStringLiteral("A.sync-conflict-20261208-101500-ABCDEFG.lzh"), 0, 5,
         Trash::Desktop, false, false, ConflictSettled::KeptCopy, "copy", false, {"archive"}},
        {"archive newer", QStringLiteral("B (conflicted copy 2026-12-08 101500).lzh"), 5, 0,
         Trash::Desktop, false, false, ConflictSettled::KeptArchive, "archive", false, {"copy"}},
        {"same time keeps the archive", QStringLiteral("C (laptop's conflicted copy 2026-12-08).lzh"),
         3, 3, Trash::Desktop, false, false, ConflictSettled::KeptArchive, "archive", false, {"copy"}},
        {"archive missing", QStringLiteral("D (laptop's conflicted copy 2026-12-08).lzh"),
         std::nullopt, 0, Trash::Desktop, false, false, ConflictSettled::KeptCopy, "copy", false, {}},
        {"trash fails, copy newer", QStringLiteral("E.sync-conflict-20261208-101500-ABCDEFG.lzh"),
         0, 5, Trash::Fails, false, false, ConflictSettled::TrashFailed, "archive", true, {}},
        {"trash fails, archive newer", QStringLiteral("F (conflicted copy 2026-12-08 101500).lzh"),
         5, 0, Trash::Fails, false, false, ConflictSettled::TrashFailed, "archive", true, {}},
        {"a file arriving at the name is not written over",
         QStringLiteral("G.sync-conflict-20261208-101500-ABCDEFG.lzh"), 0, 5, Trash::FileArrivesThen,
         false, false, ConflictSettled::RenameFailedArchiveInTrash, "arrived", true, {"archive"}},
        {"expanded application", QStringLiteral("H.sync-conflict-20261208-101500-ABCDEFG.lzh"), 0, 5,
         Trash::Desktop, true, false, ConflictSettled::InUse, "archive", true, {}},
        {"archive being read", QStringLiteral("I.sync-conflict-20261208-101500-ABCDEFG.lzh"), 0, 5,
         Trash::Desktop, false, true, ConflictSettled::InUse, "archive", true, {}},
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
        archiver::ArchiveLock reader;
        if (row.locked) {
            ASSERT_EQ(reader.take(archive.toStdString(), archiver::ArchiveLock::Kind::Shared, {}), 0);
        }
        if (row.trash == Trash::Fails)
            setConflictTrashHook([](const QString&, QString*) { return false; });
        if (row.trash == Trash::FileArrivesThen)
            setConflictTrashHook([&](const QString& path, QString* inTrash) {
                *inTrash = elsewhere.filePath(QFileInfo(path).fileName());
                const bool moved = QFile::rename(path, *inTrash);
                writeFile(path, "arrived");
                return moved;
            });

        const QList<ArchiveConflict> found = FindArchiveConflicts({});
        ASSERT_EQ(found.size(), 1);
        EXPECT_EQ(found[0].copyPath, copy);
        EXPECT_EQ(found[0].archivePath, archive);
        EXPECT_EQ(found[0].appName, appName);
        EXPECT_EQ(found[0].inUse, row.expanded || row.locked);
        EXPECT_EQ(found[0].archiveMissing, !row.archiveMinute);
        EXPECT_EQ(KeepNewerArchive(found[0]), row.settled);
        setConflictTrashHook({});

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
