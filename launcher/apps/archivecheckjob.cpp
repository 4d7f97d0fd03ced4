#include "apps/archivecheckjob.h"

#include <QMutexLocker>
#include <QThread>

namespace vadok {

ArchiveCheckJob::ArchiveCheckJob(QList<Item> items, QObject* parent)
    : QObject(parent), m_items(std::move(items)) {
    m_progress.count = int(m_items.size());
}

ArchiveCheckJob::~ArchiveCheckJob() {
    if (m_thread) {
        m_cancel = true;
        m_thread->wait();
    }
}

void ArchiveCheckJob::start() {
    if (m_thread)
        return;
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->start();
}

ArchiveCheckJob::Progress ArchiveCheckJob::progress() const {
    QMutexLocker lock(&m_mutex);
    return m_progress;
}

void ArchiveCheckJob::run() {
    const int count = int(m_items.size());
    QList<Outcome> outcomes;
    bool cancelled = false;
    for (int i = 0; i < count && !cancelled; ++i) {
        const Item& item = m_items[i];
        {
            QMutexLocker lock(&m_mutex);
            m_progress.current = item.name;
            m_progress.fraction = double(i) / count;
        }
        const ArchiveCheckResult result =
            CheckArchiveFile(item.archive, [this, i, count](quint64 done, quint64 total) {
                QMutexLocker lock(&m_mutex);
                m_progress.fraction = (i + (total ? double(done) / double(total) : 0.0)) / count;
                return !m_cancel.load();
            });
        if (result.cancelled || m_cancel) {
            cancelled = true;
            break;
        }
        outcomes.append({item.name, result});
        {
            QMutexLocker lock(&m_mutex);
            m_progress.done = i + 1;
        }
        if (m_checkedHook)
            m_checkedHook(i + 1);
        cancelled = m_cancel && i + 1 < count;
    }
    m_outcomes = std::move(outcomes);
    m_cancelled = cancelled;
    {
        QMutexLocker lock(&m_mutex);
        m_progress.fraction = 1.0;
        m_progress.current.clear();
    }
    QMetaObject::invokeMethod(this, &ArchiveCheckJob::finished, Qt::QueuedConnection);
}

} // namespace vadok
