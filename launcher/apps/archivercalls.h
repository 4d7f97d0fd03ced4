#pragma once

#include <QString>
#include <QStringList>

namespace vadok {

// Whether this build carries the LZH/ZIP archiver. A build without it still starts, warns,
// and fails every store and expansion with ArchiverMissingCode.
bool ArchiverLinkedIn();
inline constexpr int ArchiverMissingCode = 0x8000;

// The command strings. Folders end in "/"; "-n " goes in when the archiver's own progress
// display is turned off (LhaDialog 1).
QString StoreCommand(const QString& archive, const QString& folder, bool quiet);
QString ExpandCommand(const QString& archive, const QString& destination, bool quiet);
QString UnzipCommand(const QString& archive, const QString& destination);

// Runs the command through the LZH or ZIP entry point; 0 on success. Unless the command is
// quiet, progress goes to status panel 1 and the window is repainted meanwhile.
int RunUnlha(const QString& command, QStringList* warnings = nullptr);
int RunUnzip(const QString& command);

// Every member of archive present and intact, and every file of folder in it.
int VerifyStoredFolder(const QString& archive, const QString& folder);

// Stores folder into target and reads it back against folder; when target is a fresh file
// beside archive (a rebuild), it then replaces archive, holding the archive's lock from start
// to end as a store into it does (waiting for another holder, the status bar says so). 0, or
// the code of the step that failed, after which a fresh target is gone again and archive is
// as it was. leftOut gets what the store left out of the archive, one line each (LeftOutLine).
int StoreVerified(const QString& target, const QString& archive, const QString& folder,
                  QStringList* leftOut = nullptr);

// A warning of the archiver as the user reads it when it says that something of the folder
// did not go into the archive ("absenv (フォルダの外を指すリンク: /usr/bin/env)"); empty for
// any other warning.
QString LeftOutLine(const QString& warning);

// The lock file (in the user's cache folder) that the stores, expansions and checks of
// archive take turns on; empty without the archiver. It goes by itself once unused.
QString ArchiveLockFile(const QString& archive);
// Removes the lock file an earlier version kept beside archive, for an archive that is gone
// for good (deleted, renamed); stores of an archive remove it themselves.
void RemoveArchiveLock(const QString& archive);

// Moves a newly stored archive over the old one in one step (both in the pack folder); 0, or
// the archiver's write-failure code when the old archive is still in place.
int ReplaceArchive(const QString& newArchive, const QString& archive);

// A failure code as the messages show it: upper-case hexadecimal, negative codes as eight
// digits (32773 -> "8005", -1 -> "FFFFFFFF").
QString HexCode(int code);

// The messages of failed archiver calls (title "Failed", error icon). Each names the archive
// or the application and says in words what the code means, where it has a meaning of its
// own; for a damaged archive, which member and why, as the archive check finds it.
QString StoreFailureMessage(int code, const QString& appName);
void ShowStoreFailure(int code, const QString& appName);
// Why a store or an expansion failed with code, in words; empty where the code says no more.
QString StoreFailureText(int code);
QString ExpansionFailureText(int code);
void ShowExpandFailure(int code, const QString& archive);
// The ZIP failure names no code, only the archive and what the code means.
void ShowUnzipFailure(int code, const QString& archive);

} // namespace vadok
