#include "startup/startup.h"

#include "apps/archivercalls.h"
#include "apps/packapp.h"
#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "instances/commandline.h"
#include "instances/handover.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"
#include "util/textutil.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

namespace vadok {

bool StartedByStartup = false;

namespace {

void processEvents() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void warnWhenArchiverMissing() {
    if (ArchiverLinkedIn())
        return;
    showMessage(programFolder() + QStringLiteral(" にUnlha32.dllが見つかりません。\r\n"
                                                 "このプログラムを正常に動作させるためにはこのファイルが必要です。"),
                MsgIcon::Exclamation);
}

QString applyDelaySwitch(const QString& commandLine, const StartupOptions& options) {
    const DelaySwitch delay = TakeDelaySwitch(commandLine);
    if (!delay.found)
        return commandLine;
    processEvents();
    if (delay.seconds > 0) {
        if (options.sleep)
            options.sleep(delay.seconds * 1000);
        else
            QThread::msleep(delay.seconds * 1000);
    }
    processEvents();
    return delay.remaining;
}

StartupResult runNamedItem(const QString& commandLine, StartupWindows& windows) {
    const QStringList arguments = SplitCommandLine(commandLine);
    const QString first = arguments.value(0);
    if (first.isEmpty())
        return StartupResult::Exit;
    if (QFileInfo(first).isFile() || IsExistingFolder(first)) {
        windows.showMainWindow();
        windows.showDropDialog(first);
        return StartupResult::RunEventLoop;
    }
    AppRecord record;
    if (FindAppByName(first, record)) {
        QString extra;
        for (qsizetype i = 1; i < arguments.size(); ++i)
            extra += u'"' + arguments[i] + QStringLiteral("\" ");
        PackApp app(record);
        QString command;
        app.Execute(command, extra);
        return StartupResult::Exit;
    }
    showMessage(QStringLiteral("渡されたパラメータを解釈できませんでした。\r\n") + commandLine,
                MsgIcon::Exclamation);
    return StartupResult::Exit;
}

} // namespace

StartupResult RunStartup(const QString& rawCommandLine, StartupWindows& windows,
                         const InstanceProbe& anotherInstanceRuns, const StartupOptions& options) {
    warnWhenArchiverMissing();
    QString commandLine = applyDelaySwitch(rawCommandLine, options);
    StartedByStartup = false;
    if (commandLine == u"/START") {
        commandLine.clear();
        StartedByStartup = true;
    }
    PrepareDataFile();
    LoadSettings();

    if (!commandLine.isEmpty()) {
        if (anotherInstanceRuns()) {
            PostHandOverRequest(commandLine);
            return StartupResult::Exit;
        }
        return runNamedItem(commandLine, windows);
    }
    if (!StartedByStartup && anotherInstanceRuns()) {
        PostHandOverRequest(kRestoreRequest);
        return StartupResult::Exit;
    }
    // Resident mode starts in the tray, never showing the window on the way.
    if (settings().Config.IntoTaskTray == 2)
        windows.openMainWindowInTray();
    else
        windows.showMainWindow();
    return StartupResult::RunEventLoop;
}

} // namespace vadok
