#pragma once

#include "apps/commandparts.h"
#include "catalog/apprecord.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace vadok {

class AppEditor;

// How an edit in the property editor ended.
enum class EditOutcome { Cancelled, Saved, Deleted };

// What a store does when programs still work in the expanded folder: deleting the folder
// under them would lose what they write from then on (their settings, their saves).
enum class WhenInUse {
    AskOrWait, // ask: wait until they end, store anyway, or leave it
    Tell,      // say which programs run and leave the application expanded
    Skip,      // leave the application expanded without a word (the caller says so)
};

enum class StoreOutcome {
    Stored,    // stored (or was already, or is a shortcut entry)
    Failed,    // the archiver or the removal of the folder failed, and said so
    InUse,     // programs use the folder: left expanded
    Wait,      // programs use the folder and the user chose to wait for them
    Cancelled, // programs use the folder and the user chose to leave it expanded
};

// One application of the catalog and its three files: the archive PackDir + name + ".lzh",
// the expanded folder ExecDir + name + "/" and the icon IconDir + name + ".ico". A shortcut
// entry points at a program installed elsewhere and has neither archive nor folder.
class PackApp {
public:
    PackApp() = default;
    explicit PackApp(const AppRecord& record) : m_record(record), m_asRead(record) {}

    // The first read of an unset time stamps it with now.
    QDateTime LastOpenDateTime();
    void setLastOpenDateTime(const QDateTime& when) { m_record.LastOpenDateTime = when; }
    bool NonPack() const { return m_record.NonPack; }
    void setNonPack(bool value) { m_record.NonPack = value; }
    bool ShortCut() const { return m_record.ShortCut; }
    QString OverRideBasePath() const { return m_record.OverRideBasePath; }
    bool SetShortCut(const QString& basePath);
    QString AppDir() const { return m_record.AppDir; }
    void setAppDir(const QString& folder) { m_record.AppDir = folder; }
    QString ExecCmd() const { return m_record.ExecCmd; }
    void setExecCmd(const QString& command) { m_record.ExecCmd = command; }
    QString Info() const { return m_record.Info; }
    void setInfo(const QString& notes) { m_record.Info = notes; }
    QString AppName() const { return m_record.AppName; }
    void setAppName(const QString& name) { m_record.AppName = name; }

    // Edits the application in the property editor and applies what the user decided: a new
    // name moves its archive, expanded folder and icon and renames its tree node, a new
    // catalog folder moves the node, and the record is written under the old name as key. The
    // application is expanded while the editor is open. An icon chosen in the editor
    // replaces the old one.
    EditOutcome ShowConfig(AppEditor& editor);

    // Removes the expanded folder (to the trash), the archive, the icon, the tree node and the
    // record; every step runs even when one before failed.
    void Delete();
    // True when stored: no expanded folder, or an empty one (which is removed).
    bool isPack();
    // Whether the expanded folder holds anything, asked without changing anything (isPack
    // removes an empty folder). Shortcut entries are never expanded.
    bool isExpandedOnDisk() const;
    // Stores the expanded folder into the archive and removes the folder once the archive
    // has been read back complete. True when the application is stored afterwards. With
    // rebuild (or the pack key held) the archive is made anew from the folder, so files the
    // folder lost are dropped; the old archive is replaced only by a verified new one.
    // While a program of the user works in the folder, the user is told and the application
    // stays expanded.
    bool Pack(const QString& sourceFolder = QString(), bool rebuild = false);
    // Pack with the choice what to do while programs use the folder; those found are
    // written to users. What the archive cannot hold (links leading out of the folder,
    // sockets, devices) is named to the user unless whenInUse is Skip.
    StoreOutcome Store(const QString& sourceFolder, bool rebuild, WhenInUse whenInUse,
                       QStringList* users = nullptr);
    // Expands the archive into the application's folder; failures are shown. True when the
    // archive expanded (a shortcut entry has nothing to expand and is always true).
    bool UnPack(quintptr& ownerWindow);
    // Runs command (empty: ExecCmd, written back to the caller) with extra parameters. True
    // when the program started. False when a stored application could not be expanded (then
    // nothing was started or stamped) or when the start failed and said why.
    bool Execute(QString& command, const QString& parameters = QString());
    // The program Execute starts for command (empty: ExecCmd), as it names it: quoted or not,
    // relative to workingFolder() or not.
    QString programOf(const QString& command) const;
    // Writes what this object changed in the record since it was read (keyTitle: the name
    // it was stored under, when it was renamed) to the data file as it is now: fields left
    // alone keep what the file holds, which another machine may have written meanwhile.
    bool SaveConfig(const QString& keyTitle = QString());

    QString archivePath() const;
    QString expandedFolder() const; // ends in "/"
    QString iconPath() const;
    // Where a rebuild writes the new archive before it replaces the old one.
    QString rebuildArchivePath() const;
    QString workingFolder() const;  // ends in "/"

    AppRecord& record() { return m_record; }
    const AppRecord& record() const { return m_record; }

private:
    CommandParts launchOf(QString command, const QString& parameters) const;
    // Gives the archive, expanded folder and icon the new name; false (after saying why)
    // when the archive or the folder could not follow, with both as they were.
    bool moveFilesTo(const QString& newName);
    // A command chosen in the editor whose program lies in the application's folder without
    // the execute bit gets it, so that it runs.
    void letCommandRun(const QString& command) const;

    AppRecord m_record;
    // The record as last read or saved; a new application has none, so all of it is written.
    AppRecord m_asRead;
};

// The shared scratch folder of registration and version-up: ExecDir + "_work".
QString WorkFolder();

} // namespace vadok
