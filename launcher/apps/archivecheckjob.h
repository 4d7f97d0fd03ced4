#pragma once

#include "apps/archivechecks.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace vadok {

// Checks archives one after another on a thread of its own, so the window stays responsive
// however many there are. The window reads the progress while it runs, may cancel it, and
// takes the outcomes once finished() has arrived (on the thread that owns the job).
class ArchiveCheckJob : public QObject {
    Q_OBJECT
public:
    struct Item {
        QString name;    // as the user knows the application
        QString archive; // its archive file
    };
    struct Outcome {
        QString name;
        ArchiveCheckResult result;
    };
    struct Progress {
        int done = 0;  // archives finished
        int count = 0; // archives in all
        QString current;
        double fraction = 0; // of the whole job, 0..1
    };

    explicit ArchiveCheckJob(QList<Item> items, QObject* parent = nullptr);
    // Cancels a job still running and waits for its thread.
    ~ArchiveCheckJob() override;

    // Called on the job's thread each time an archive has been checked, with the number done;
    // set before start().
    void setArchiveCheckedHook(std::function<void(int done)> hook) { m_checkedHook = std::move(hook); }

    void start();
    // Stops at the next progress report; the archive being checked counts as not checked.
    void cancel() { m_cancel = true; }
    Progress progress() const;

    // Valid once finished() has arrived: the archives checked, in order, and whether the
    // job was cancelled before the end.
    const QList<Outcome>& outcomes() const { return m_outcomes; }
    bool wasCancelled() const { return m_cancelled; }

signals:
    void finished();

private:
    void run();

    const QList<Item> m_items;
    std::function<void(int)> m_checkedHook;
    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_cancel{false};
    mutable QMutex m_mutex;
    Progress m_progress; // guarded by m_mutex
    // Written by the job's thread before finished() is queued, read after it arrives.
    QList<Outcome> m_outcomes;
    bool m_cancelled = false;
};

} // namespace vadok
