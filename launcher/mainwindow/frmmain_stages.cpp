// The window's timer: build the tree once the window is up, load the remaining icons, then
// act on the requests of later starts.
#include "mainwindow/frmmain.h"

#include "apps/setaside.h"
#include "catalog/settings.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/fulltextcommand.h"
#include "mainwindow/iconloader.h"
#include "mainwindow/laterstarts.h"
#include "mainwindow/stoprequest.h"
#include "mainwindow/trayresidence.h"
#include "platform/prompter.h"
#include "util/statustext.h"

#include <QApplication>
#include <QCoreApplication>
#include <QScopedValueRollback>
#include <QTimer>
#include <QtDebug>

#include <exception>

namespace vadok {

void frmMain::GCTimer_Timer() {
    // A tick that arrives while a tick lets messages through (a message box of a started
    // application, say) is dropped rather than run inside the first.
    if (m_tickRunning)
        return;
    QScopedValueRollback<bool> running(m_tickRunning, true);
    try {
        QCoreApplication::processEvents();
        if (m_stage == WindowStage::Fin || StopRequested) {
            close();
            return;
        }
        if (m_stage == WindowStage::Init) {
            m_gcTimer->stop();
            // Resident mode starts in the task tray, before the catalog is read.
            if (settings().Config.IntoTaskTray == 2)
                m_tray->sendToTray();
            // Another machine's changes kept beside the data file join it before it is shown.
            m_syncMerge.merge(false);
            putBackReExpansions();
            LoadTree();
            if (StopRequested)
                close();
        } else if (m_stage == WindowStage::IconLoad) {
            m_gcTimer->stop();
            // The icons load on a thread of their own; iconsLoaded() follows.
            LoadIcons();
        } else if (m_stage == WindowStage::Normal && !QApplication::activeModalWidget() &&
                   !m_commands.running()) {
            // A request waits while a dialog is open or a command runs: registering it would
            // rebuild the tree and the list of applications under their feet.
            m_laterStarts->processRequests(*this);
            followDataFileChanges();
        }
    } catch (const std::exception& e) {
        // The timer keeps running: the next tick tries again.
        qWarning() << "timer tick in stage" << windowStageName(m_stage) << "cut short:" << e.what();
    }
}

void frmMain::iconsLoaded() {
    if (m_stage != WindowStage::IconLoading)
        return;
    // What follows may let messages through (a message box, the archive offers): a tick
    // arriving meanwhile is dropped, as it is inside a tick.
    QScopedValueRollback<bool> running(m_tickRunning, true);
    try {
        // A close while the icons loaded has run the exit already.
        if (StopRequested) {
            close();
            return;
        }
        setStage(WindowStage::Normal);
        // Said once the loading texts are over, where it stays to be read.
        m_tray->noteWhenSettled();
        m_syncMerge.show();
        m_laterStarts->reportFailureOnce();
        // After every build of the tree, once its icons are in: the index follows what the
        // build read (registrations, edits, a data file that changed behind us) on its own
        // thread, and the start does not wait for it.
        m_fullText->refresh();
        m_gcTimer->setInterval(500);
        m_gcTimer->start();
        // After every build of the tree (at start, and when another machine's data file
        // arrived), so archive copies that came with it are offered too; each once a run.
        offerArchiveConflicts();
    } catch (const std::exception& e) {
        // The steady state begins all the same: the timer polls the requests of later starts.
        qWarning() << "the steady state began with an error:" << e.what();
        m_gcTimer->setInterval(500);
        m_gcTimer->start();
    }
}

void frmMain::putBackReExpansions() {
    // A run that ended between the two steps of a re-expansion left the user's folder under a
    // hidden name, which nothing else would ever bring back.
    const QString execFolder = settings().ExecDir;
    const PutBack putBack = putBackSetAsideFolders(execFolder);
    if (putBack.keptBeside.isEmpty())
        return;
    QStringList asides;
    for (const QString& name : putBack.keptBeside)
        asides << reExpansionAside(execFolder, name);
    showMessage(QStringLiteral("途中で終わった再展開の前の展開フォルダを元の名前に戻せませんでした。"
                               "\r\n中身を確かめてください。\r\n") +
                    asides.join(QStringLiteral("\r\n")),
                MsgIcon::Exclamation);
}

void frmMain::LoadIcons() {
    setStage(WindowStage::IconLoading);
    m_icons->start();
}

const QStringList& frmMain::IconQueue() const { return m_icons->queue(); }

} // namespace vadok
