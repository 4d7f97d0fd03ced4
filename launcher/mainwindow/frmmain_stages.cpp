// The window's timer: build the tree once the window is up, load the remaining icons, then
// act on the requests of later starts.
#include "mainwindow/frmmain.h"

#include "apps/setaside.h"
#include "catalog/settings.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/fulltextcommand.h"
#include "mainwindow/laterstarts.h"
#include "mainwindow/stoprequest.h"
#include "mainwindow/trayresidence.h"
#include "platform/prompter.h"
#include "util/statustext.h"

#include <QApplication>
#include <QCoreApplication>
#include <QScopedValueRollback>
#include <QThread>
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
            LoadIcons();
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
            // After every build of the tree, once its icons are in: the index follows what
            // the build read (registrations, edits, a data file that changed behind us) on
            // its own thread, and the start does not wait for it.
            m_fullText->refresh();
            m_gcTimer->setInterval(500);
            m_gcTimer->start();
            // After every build of the tree (at start, and when another machine's data file
            // arrived), so archive copies that came with it are offered too; each once a run.
            offerArchiveConflicts();
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
    const QString loaded = QStringLiteral("読み込み完了しました。");
    SetStatusText(loaded + QStringLiteral("(アイコン読込中...)"), 1);
    const int last = int(m_iconQueue.size()) - 1;
    for (int i = 0; i <= last; ++i) {
        if (StopRequested)
            return;
        const QString name = m_iconQueue.value(i);
        if (!name.isEmpty()) {
            const QIcon icon = loadAppIcon(name);
            if (!icon.isNull()) {
                m_tree->addImage(name, icon);
                m_tree->setImage(m_tree->node(name), name);
            }
        }
        if (i % 10 == 0) {
            SetStatusText(loaded + QStringLiteral("(アイコン読込中... %1/%2)").arg(i).arg(last), 1);
            QCoreApplication::processEvents();
            if (m_pauses.iconGroupMs > 0)
                QThread::msleep(ulong(m_pauses.iconGroupMs));
        }
    }
    m_iconQueue = QStringList{QString()};
    SetStatusText(loaded, 1);
}

} // namespace vadok
