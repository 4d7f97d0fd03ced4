// What a close request does: refuse or minimise, or write the settings, clear leftovers from
// the execution folder and store the applications that have not been used for a while.
#include "mainwindow/frmmain.h"

#include "apps/execsweep.h"
#include "apps/idlestoring.h"
#include "apps/madebyvadok.h"
#include "catalog/apprecords.h"
#include "catalog/backups.h"
#include "catalog/settings.h"
#include "mainwindow/catalogtree.h"
#include "mainwindow/infopanel.h"
#include "mainwindow/stoprequest.h"
#include "mainwindow/trayresidence.h"
#include "mainwindow/waitingstores.h"
#include "platform/clock.h"
#include "platform/programfolder.h"
#include "platform/prompter.h"
#include "util/statustext.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QTimer>
#include <QtDebug>

#include <exception>

namespace vadok {

void frmMain::closeEvent(QCloseEvent* event) {
    // The exit stores applications and empties the list a running command still holds one
    // of: it comes once the command is over.
    if (m_commands.running()) {
        event->ignore();
        m_commands.whenIdle([this, ending = m_sessionEnding] {
            if (ending)
                sessionEnding();
            else
                close();
        });
        return;
    }
    if (Form_QueryUnload(m_sessionEnding)) {
        event->ignore();
    } else {
        event->accept();
        emit exited();
    }
}

void frmMain::sessionEnding() {
    m_sessionEnding = true;
    close();
    m_sessionEnding = false;
}

bool frmMain::Form_QueryUnload(bool sessionEnding) {
    if (m_stage == WindowStage::Boot) {
        if (showMessage(QStringLiteral("データロード中です。強制終了しますか？"), MsgIcon::Question,
                        MsgButtons::YesNo) != MsgAnswer::Yes)
            return true;
        StopRequested = true;
    }
    if (m_stage == WindowStage::Fin || StopRequested) {
        exitFinalSteps();
        return false;
    }
    if (settings().Config.IntoTaskTray == 2 && !sessionEnding) {
        if (m_stage != WindowStage::TrayFin) {
            // Straight into the tray: a minimise request to the window manager followed by a
            // hide races with it, and some leave the frame on the screen.
            m_tray->sendToTray();
            return true;
        }
        if (isMinimized())
            hide();
    } else if (m_stage == WindowStage::Fining) {
        return true;
    }

    setStage(WindowStage::Fining);
    SetStatusText(QStringLiteral("終了処理中です □□□"), 1);
    if (!WriteDAT())
        qWarning() << "exit: the data file or its backups were not written";
    SetStatusText(QStringLiteral("終了処理中です ■□□"), 1);
    if (settings().Config.PackDate != -1)
        storeIdleApplications();
    exitFinalSteps();
    return false;
}

bool frmMain::WriteDAT() {
    m_tree->setEnabled(false);
    m_info->disableCommands();
    // A failed save has said why already; the backups are this run's last word, so their
    // failure is told here.
    const bool saved = SaveSettings();
    QString generation;
    if (!RotateBackups(&generation)) {
        showMessage(QStringLiteral("データファイルのバックアップ ") + generation +
                        QStringLiteral(" を書き込めませんでした。\r\n"
                                       "これまでのバックアップはそのまま残っています。"),
                    MsgIcon::Exclamation);
        return false;
    }
    return saved;
}

void frmMain::storeIdleApplications() {
    const Settings& s = settings();
    const QString execFolder = s.ExecDir;
    const QString refusal =
        sweepRefusalReason(execFolder, {programFolder(), QDir::homePath(), s.PackDir, s.IconDir});
    if (!refusal.isEmpty()) {
        // Clearing leftovers deletes everything no application claims; in a folder like this
        // that would be the user's own files.
        showMessage(
            QStringLiteral("実行フォルダ ") + execFolder + QStringLiteral(" は") + refusal +
                QStringLiteral("。\r\n終了時の不要ファイルの削除と自動格納は行いませんでした。"
                               "\r\n設定で実行フォルダを確かめてください。"),
            MsgIcon::Exclamation);
        return;
    }

    const QStringList names = execFolderEntries(execFolder);
    SetStatusText(QStringLiteral("終了処理中です ■■□"), 1);
    const qint16 packDate = s.Config.PackDate;
    for (const QString& name : names) {
        try {
            // A catalog that could not be read, or was not read to its end, claims nothing
            // for sure: every expanded application would look like a leftover.
            PackApp recorded;
            PackApp* app = appInTree(name);
            if (!app && m_catalogComplete && appWithRecord(name, recorded))
                app = &recorded;
            if (!app) {
                // Only what vadok expanded there itself: the folder may be one the user
                // keeps other things in, or the settings may name another machine's.
                if (m_catalogComplete && !isLinkEntry(execFolder, name) &&
                    IsMadeByVadok(execFolder + name) && deleteExecEntry(execFolder, name))
                    ForgetMadeByVadok(execFolder + name);
                continue;
            }
            // Storing reads the folder and deletes it; through a link both would reach
            // outside the execution folder.
            if (isLinkEntry(execFolder, name))
                continue;
            // A store the user asked for while the program ran is due now.
            if (!m_waitingStores->contains(name) && !isDueForStoring(*app, currentDateTime(), packDate))
                continue;
            SetStatusText(name + QStringLiteral(" はしばらく実行されていないため格納します..."), 1);
            // Lets the window repaint; a second close arriving now finds the exit running.
            QCoreApplication::processEvents();
            // Left expanded under a running program; the next exit tries again.
            if (app->Store(QString(), false, WhenInUse::Skip) == StoreOutcome::InUse) {
                SetStatusText(name + QStringLiteral(" はプログラムが実行中のため格納しませんでした。"
                                                    "次の終了時に格納します。"),
                              1);
                QCoreApplication::processEvents();
            }
        } catch (const std::exception& e) {
            // One application that cannot be stored must not keep the others from it.
            qWarning() << "exit: storing or clearing" << name
                       << "in the execution folder skipped:" << e.what();
        }
    }
}

PackApp* frmMain::appInTree(const QString& name) {
    const int index = CatalogTree::appIndex(m_tree->node(name), m_apps.size());
    return index < 0 ? nullptr : &m_apps[size_t(index)];
}

bool frmMain::appWithRecord(const QString& name, PackApp& app) {
    // An application the tree does not show (its record has no place in a folder, or is
    // named like a folder) still owns its expanded folder: what the user changed in it
    // while it ran must not be cleared away as a leftover.
    AppRecord record;
    if (!FindAppByName(name, record))
        return false;
    app = PackApp(record);
    return true;
}

void frmMain::exitFinalSteps() {
    SetStatusText(QStringLiteral("終了処理中です ■■■"), 1);
    setStage(WindowStage::Fin);
    StopRequested = true;
    m_gcTimer->stop();
    m_waitingStores->stopPolling();
    m_apps.clear();
    m_apps.resize(1);
    m_tray->hideIcon();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this && window->isVisible())
            window->close();
    }
}

} // namespace vadok
