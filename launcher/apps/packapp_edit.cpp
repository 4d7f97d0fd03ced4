// Editing one application in the property editor: expand it, fill the editor, and apply what
// the user decided, renaming its files and tree node when the name changed.
#include "apps/appeditor.h"
#include "apps/archivercalls.h"
#include "apps/madebyvadok.h"
#include "apps/packapp.h"
#include "apps/commandparts.h"
#include "apps/programfiles.h"

#include "catalog/apprecords.h"
#include "catalog/settings.h"
#include "catalog/subcommands.h"
#include "platform/clock.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"
#include "util/folderutil.h"
#include "util/mainwindowlink.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace vadok {

namespace {

const QString kRoot = QStringLiteral("ROOT");

// Where a chosen icon waits until the edit is applied (glimtake writes it there too).
QString waitingIconPath() { return programFolder() + QStringLiteral("_temp.ico"); }

enum class Clash { None, Reserved, Taken };

// Whether newName may replace oldName. The names of the root are reserved; a name is taken
// by any node of the tree, and by an archive or expanded folder that some other entry left
// (renaming onto those would overwrite them or adopt their files).
Clash clashFor(const QString& newName, const QString& oldName) {
    if (newName == kRoot || newName == u"Vadok")
        return Clash::Reserved;
    if (MainWindowLink* window = mainWindowLink(); window && window->hasTreeNode(newName))
        return Clash::Taken;
    // Only the letter case changes: on a file system that ignores case the files found
    // under the new name are this application's own.
    if (newName.compare(oldName, Qt::CaseInsensitive) == 0)
        return Clash::None;
    const Settings& s = settings();
    if (QFileInfo::exists(s.PackDir + newName + QStringLiteral(".lzh")) ||
        QFileInfo(s.ExecDir + newName).exists() || QFileInfo(s.ExecDir + newName).isSymLink())
        return Clash::Taken;
    return Clash::None;
}

bool renameReplacing(const QString& from, const QString& to) {
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) ==
           0;
}

QStringList nonEmpty(const QStringList& texts) {
    QStringList result;
    for (const QString& text : texts) {
        if (!text.isEmpty())
            result.append(text);
    }
    return result;
}

} // namespace

bool PackApp::moveFilesTo(const QString& newName) {
    const Settings& s = settings();
    const QString oldName = AppName();
    if (!ShortCut()) {
        const QString archive = archivePath();
        const QString renamed = s.PackDir + newName + QStringLiteral(".lzh");
        // The archive is the stored application itself: it moves in one step, and while it
        // cannot, nothing else is renamed.
        const bool hadArchive = QFileInfo::exists(archive);
        if (hadArchive && ReplaceArchive(archive, renamed) != 0) {
            showMessage(QStringLiteral("圧縮ファイルの名前を変更できませんでした。\r\n") + archive,
                        MsgIcon::Exclamation);
            return false;
        }
        // The expanded folder may hold changes the archive does not hold yet: it takes the
        // new name along, so that the renamed application goes on from it and nothing of the
        // old name is left to be swept away. Where it cannot follow, the archive goes back too.
        const QString folder = s.ExecDir + oldName;
        const bool expanded = !isPack();
        if (expanded && !renameReplacing(folder, s.ExecDir + newName)) {
            if (hadArchive)
                ReplaceArchive(renamed, archive);
            showMessage(QStringLiteral("展開フォルダの名前を変更できませんでした。\r\n") + folder,
                        MsgIcon::Exclamation);
            return false;
        }
        if (expanded)
            CarryMadeByVadok(folder, s.ExecDir + newName);
        if (hadArchive)
            RemoveArchiveLock(archive);
    }
    if (QFileInfo::exists(iconPath()))
        renameReplacing(iconPath(), s.IconDir + newName + QStringLiteral(".ico"));
    return true;
}

void PackApp::letCommandRun(const QString& command) const {
    if (command.isEmpty())
        return;
    // Commands written on Windows separate folders with "\".
    QString commandHere = command;
    commandHere.replace(u'\\', u'/');
    const QString folder = workingFolder();
    const CommandParts parts = SplitCommand(commandHere, QString(), expandedFolder(), folder);
    grantOwnerExecute(programPathOf(parts.file, folder), expandedFolder());
}

EditOutcome PackApp::ShowConfig(AppEditor& editor) {
    const QString oldName = AppName();
    if (isPack()) {
        quintptr owner = 0;
        UnPack(owner);
    }
    setLastOpenDateTime(currentDateTime());
    const QString oldFolder = AppDir();
    QStringList subCommands;
    ReadSubCommands(oldName, subCommands);
    editor.fill(*this, subCommands);
    // An icon chosen in an editor that was cancelled is not this application's.
    QFile::remove(waitingIconPath());

    EditorFields fields;
    for (;;) {
        // A refused name shows the editor again; its caption starts over, so that leaving it
        // then cancels instead of confirming once more.
        const QString decision = editor.showModal(oldName + QStringLiteral("の設定"));
        if (decision == u"DELETE") {
            Delete();
            editor.close();
            return EditOutcome::Deleted;
        }
        if (decision != u"OK") {
            editor.close();
            return EditOutcome::Cancelled;
        }
        fields = editor.fields();
        if (fields.name == oldName)
            break;
        const Clash clash = clashFor(fields.name, oldName);
        if (clash != Clash::None) {
            showMessage(QStringLiteral("変更された名称は既に使用されています。\r\n"
                                       "別の名称を入力してください。"),
                        MsgIcon::Exclamation);
            if (clash == Clash::Taken)
                editor.selectWholeName();
            continue;
        }
        if (!moveFilesTo(fields.name))
            continue;
        if (MainWindowLink* window = mainWindowLink())
            window->renameAppNode(oldName, fields.name);
        break;
    }

    setAppName(fields.name);
    setInfo(fields.info);
    setExecCmd(fields.execCmd);
    setAppDir(fields.folder);
    setNonPack(fields.nonPack);
    if (fields.iconChanged && QFileInfo::exists(waitingIconPath())) {
        QFile::remove(iconPath());
        QFile::copy(waitingIconPath(), iconPath());
        QFile::remove(waitingIconPath());
    }
    // A new application has no node yet: it gets one in its folder.
    if (MainWindowLink* window = mainWindowLink();
        window && (AppDir() != oldFolder || !window->hasTreeNode(AppName())))
        window->placeAppNode(AppName(), AppDir());
    SaveConfig(oldName);
    if (!ShortCut()) {
        for (const QString& command : QStringList{fields.execCmd} + fields.subCommands)
            letCommandRun(command);
    }
    // Emptied boxes remove the commands stored before; a record that had none and gets none
    // is left as it is.
    const QStringList commands = nonEmpty(fields.subCommands);
    if (!commands.isEmpty() || !subCommands.isEmpty())
        SaveSubCommands(m_record, commands);
    editor.close();
    return EditOutcome::Saved;
}

} // namespace vadok
