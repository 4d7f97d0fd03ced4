#include "shell/runiconextractor.h"

#include "platform/filekind.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"
#include "platform/shellopen.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>

namespace vadok {

namespace {

IconExtractorWait g_wait;

void sleepFor(int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }

void pauseAndProcessEvents(int ms) {
    if (g_wait.pause)
        g_wait.pause(ms);
    else
        sleepFor(ms);
    QCoreApplication::processEvents();
}

QString folderForDisplay(QString folder) {
    if (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}

} // namespace

IconExtractorWait iconExtractorWait() { return g_wait; }

void setIconExtractorWait(const IconExtractorWait& wait) { g_wait = wait; }

QString temporaryIconPath() { return programFolder() + QStringLiteral("_temp.ico"); }

void RunIconExtractor(const QString& targetPath) {
    const QString temporary = temporaryIconPath();
    if (isNormalFile(temporary))
        QFile::remove(temporary);

    const QString program = binaryFolder() + QStringLiteral("glimtake");
    if (!isNormalFile(program)) {
        showMessage(QStringLiteral("glimtake.exeが見つかりません\r\n") +
                        folderForDisplay(binaryFolder()),
                    MsgIcon::Critical);
        return;
    }
    const QString resolved = ResolvePathIgnoringCase(targetPath);
    const QString target = resolved.isEmpty() ? targetPath : resolved;
    if (!isNormalFile(target)) {
        showMessage(targetPath + QStringLiteral("が見つかりません"), MsgIcon::Exclamation);
        return;
    }

    // One argument, however many spaces it holds; glimtake rebuilds the line from it.
    QProcess::startDetached(program, {target}, programFolder());

    for (int tests = 0;;) {
        pauseAndProcessEvents(g_wait.pauseMs);
        if (++tests > g_wait.maxTests)
            return;
        if (isNormalFile(temporary))
            break;
    }
    pauseAndProcessEvents(g_wait.settleMs);
}

} // namespace vadok
