// The stores held back while a program still works in the application's folder run here,
// once the programs have ended.
#include "mainwindow/frmmain.h"

#include "mainwindow/appstate.h"
#include "mainwindow/fulltextcommand.h"
#include "mainwindow/waitingstores.h"
#include "platform/folderusers.h"
#include "util/statustext.h"

#include <QApplication>

namespace vadok {

QStringList frmMain::waitingStores() const {
    return m_waitingStores->names();
}

void frmMain::storeWaitingApplications() {
    // Never inside a command, a dialog or the exit: the next poll comes soon enough.
    if (m_commands.running() || QApplication::activeModalWidget() || m_stage != WindowStage::Normal)
        return;
    const QStringList names = m_waitingStores->names();
    for (const QString& name : names) {
        int index = -1;
        for (size_t i = 1; i < m_apps.size(); ++i) {
            if (m_apps[i].AppName() == name)
                index = int(i);
        }
        if (index < 0) {
            // Renamed or deleted meanwhile: nothing left to store under that name.
            m_waitingStores->drop(name);
            continue;
        }
        if (!ProcessesUsingFolder(m_apps[size_t(index)].expandedFolder()).isEmpty())
            continue;
        const WaitingStores::How how = *m_waitingStores->take(name);
        const CommandScope scope(m_commands);
        PackApp& app = m_apps[size_t(index)];
        SetStatusText(u'[' + name + QStringLiteral("] のプログラムが終わったため、格納しています..."), 1);
        // A program started again in the meantime is asked about once more.
        const StoreOutcome outcome = app.Store(QString(), how.rebuild, WhenInUse::AskOrWait);
        if (outcome == StoreOutcome::Wait) {
            m_waitingStores->putBack(name, how);
            continue;
        }
        QString done;
        if (outcome == StoreOutcome::Stored) {
            done = u'[' + name + QStringLiteral("] を格納しました。");
            if (how.expandAgain) {
                quintptr owner = windowId();
                app.UnPack(owner);
                done = QStringLiteral("再圧縮が完了しました");
            }
        }
        m_fullText->refresh();
        if (SelectedAppIndex() == index)
            showAppState(*m_tree, m_apps, index);
        else
            refreshAppState(*m_tree, m_apps, index);
        SetStatusText(done, 1);
    }
    if (m_waitingStores->names().isEmpty())
        m_waitingStores->stopPolling();
}

} // namespace vadok
