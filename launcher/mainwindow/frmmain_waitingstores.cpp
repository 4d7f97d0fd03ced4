// Stores held back while a program still works in the application's folder: each runs once
// the programs have ended, and the window stays usable meanwhile.
#include "mainwindow/frmmain.h"

#include "platform/folderusers.h"
#include "util/statustext.h"

#include <QApplication>
#include <QTimer>

namespace vadok {

void frmMain::storeWhenProgramsEnd(const QString& name, WaitingStore how) {
    m_waitingStores.insert(name, how);
    if (!m_waitingStoreTimer) {
        m_waitingStoreTimer = new QTimer(this);
        m_waitingStoreTimer->setInterval(1000);
        connect(m_waitingStoreTimer, &QTimer::timeout, this, &frmMain::storeWaitingApplications);
    }
    m_waitingStoreTimer->start();
    SetStatusText(u'[' + name + QStringLiteral("] のプログラムが終わるのを待っています。終わったら格納します。"), 1);
}

void frmMain::dropWaitingStore(const QString& name) {
    m_waitingStores.remove(name);
}

void frmMain::storeWaitingApplications() {
    // Never inside a command, a dialog or the exit: the next poll comes soon enough.
    if (m_commandsRunning > 0 || QApplication::activeModalWidget() || m_stage != WindowStage::Normal)
        return;
    const QStringList names = m_waitingStores.keys();
    for (const QString& name : names) {
        int index = -1;
        for (size_t i = 1; i < m_apps.size(); ++i) {
            if (m_apps[i].AppName() == name)
                index = int(i);
        }
        if (index < 0) {
            // Renamed or deleted meanwhile: nothing left to store under that name.
            m_waitingStores.remove(name);
            continue;
        }
        if (!ProcessesUsingFolder(m_apps[size_t(index)].expandedFolder()).isEmpty())
            continue;
        const WaitingStore how = m_waitingStores.take(name);
        const CommandScope scope(*this);
        PackApp& app = m_apps[size_t(index)];
        SetStatusText(u'[' + name + QStringLiteral("] のプログラムが終わったため、格納しています..."), 1);
        // A program started again in the meantime is asked about once more.
        const StoreOutcome outcome = app.Store(QString(), how.rebuild, WhenInUse::AskOrWait);
        if (outcome == StoreOutcome::Wait) {
            m_waitingStores.insert(name, how);
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
        refreshFullTextIndex();
        if (SelectedAppIndex() == index)
            showAppState(index);
        else
            refreshAppState(index);
        SetStatusText(done, 1);
    }
    if (m_waitingStores.isEmpty() && m_waitingStoreTimer)
        m_waitingStoreTimer->stop();
}

} // namespace vadok
