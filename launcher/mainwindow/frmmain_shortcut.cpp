// A shortcut on the desktop that starts one application through the launcher: run by its
// name, the launcher starts it, or hands the name to the instance already running.
#include "mainwindow/frmmain.h"

#include "catalog/settings.h"
#include "platform/desktopfolder.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"
#include "resources/builtinimages.h"
#include "util/shortcut.h"
#include "util/statustext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vadok {

namespace {

// The launcher's own icon as a file a desktop entry can name, made once in the program folder.
QString launcherIconFile() {
    const QString path = programFolder() + QStringLiteral("vadok.png");
    if (!QFileInfo::exists(path))
        builtinImage(QStringLiteral("exeicon")).save(path, "PNG");
    return path;
}

QString launcherProgram() {
    const QString running = QCoreApplication::applicationFilePath();
    // Tests run from their own executables; the shortcut must still start the launcher.
    if (QFileInfo(running).fileName() == u"vadok")
        return running;
    return binaryFolder() + QStringLiteral("vadok");
}

} // namespace

void frmMain::TreePopMakeShortCut_Click() {
    const int index = selectedAppOrReport();
    if (index < 0)
        return;
    const PackApp& app = m_apps[size_t(index)];
    const QString name = app.AppName();
    if (showMessage(QStringLiteral("デスクトップに[") + name +
                        QStringLiteral("]のショートカットを作成します。"),
                    MsgIcon::None, MsgButtons::OkCancel) != MsgAnswer::Ok) {
        SetStatusText(QStringLiteral("ショートカット作成はキャンセルされました"), 1);
        return;
    }

    ShortcutSpec shortcut;
    shortcut.TargetPath = launcherProgram();
    shortcut.Arguments = u'"' + name + u'"';
    shortcut.WorkingDirectory = programFolder();
    shortcut.Description = app.Info();
    const QString icon = app.iconPath();
    shortcut.IconLocation = QFileInfo::exists(icon) ? icon : launcherIconFile();
    shortcut.WindowStyle = 1;

    const QString desktop = desktopFolder();
    if (!QDir().mkpath(desktop) ||
        !CreateShortcutFile(desktop + name + QStringLiteral(".desktop"), shortcut))
        showMessage(QStringLiteral("ショートカット作成は失敗しました"));
}

} // namespace vadok
