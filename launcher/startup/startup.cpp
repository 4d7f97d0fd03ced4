#include "startup/startup.h"

#include "apps/archivercalls.h"
#include "apps/packapp.h"
#include "catalog/apprecords.h"
#include "catalog/datafile.h"
#include "catalog/settings.h"
#include "instances/commandline.h"
#include "instances/handover.h"
#include "instances/startrequest.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"

#include <QCoreApplication>
#include <QThread>

#include <optional>

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

// Tells the user why request cannot be acted on, and returns true; false when it can (record
// then holds the application it names). Checked before a hand-over too: the running window
// could only say so in its status bar, hidden in the tray perhaps, and this start would end
// as if it had worked.
bool refused(const StartRequest& request, const QString& commandLine, AppRecord& record) {
    if (request.kind == StartRequest::Kind::Unreadable) {
        showMessage(kNotUnderstoodText + QStringLiteral("\r\n") + commandLine, MsgIcon::Exclamation);
        return true;
    }
    if (request.kind == StartRequest::Kind::Run && !FindAppByName(request.title, record)) {
        showMessage(NotRegisteredText(request.title), MsgIcon::Exclamation);
        return true;
    }
    return false;
}

StartupResult runNamedItem(const QString& commandLine, StartupWindows& windows) {
    const StartRequest request = ReadStartRequest(commandLine);
    AppRecord record;
    if (refused(request, commandLine, record))
        return StartupResult::Failed;
    if (request.kind == StartRequest::Kind::Nothing)
        return StartupResult::Exit;
    if (request.kind == StartRequest::Kind::Register) {
        windows.showMainWindow();
        windows.showDropDialog(request.path);
        return StartupResult::RunEventLoop;
    }
    PackApp app(record);
    QString command;
    return app.Execute(command, QuotedParameters(request.arguments)) ? StartupResult::Exit
                                                                     : StartupResult::Failed;
}

// Hands request to the running instance; nullopt when that instance ended first and this
// start is the instance now.
std::optional<StartupResult> handOver(InstanceControl& instances, const QString& request) {
    switch (instances.handOver(request)) {
    case InstanceControl::HandOver::Delivered:
        return StartupResult::Exit;
    case InstanceControl::HandOver::Failed:
        return StartupResult::Failed;
    case InstanceControl::HandOver::BecameFirst:
        break;
    }
    return std::nullopt;
}

} // namespace

StartupResult RunStartup(const QString& rawCommandLine, StartupWindows& windows,
                         InstanceControl& instances, const StartupOptions& options) {
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
        if (!instances.becomeFirst()) {
            AppRecord record;
            if (refused(ReadStartRequest(commandLine), commandLine, record))
                return StartupResult::Failed;
            if (const auto handed = handOver(instances, commandLine))
                return *handed;
        }
        return runNamedItem(commandLine, windows);
    }
    // Two windows on one program folder would each store and sweep at exit what the other
    // has just expanded: a start that would open a second one brings the first forward.
    if (!instances.becomeFirst()) {
        if (const auto handed = handOver(instances, kRestoreRequest))
            return *handed;
    }
    // Resident mode starts in the tray, never showing the window on the way.
    if (settings().Config.IntoTaskTray == 2)
        windows.openMainWindowInTray();
    else
        windows.showMainWindow();
    return StartupResult::RunEventLoop;
}

} // namespace vadok
