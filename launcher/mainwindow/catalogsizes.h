#pragma once

#include "apps/archivesizes.h"

#include <QObject>
#include <QSet>
#include <QStringList>

#include <memory>

class QThread;

namespace vadok {

// The sizes the status bar shows: what the archives take on disk and what they expand to.
// An archive's content comes from the cache while the archive is unchanged; the headers of
// the others are read on a thread of their own, and updated() says when their answers are in.
class CatalogSizes : public QObject {
    Q_OBJECT
public:
    // storeFile keeps the answers between runs.
    explicit CatalogSizes(const QString& storeFile, QObject* parent = nullptr);
    // Waits for a read still running.
    ~CatalogSizes() override;

    struct Totals {
        int archives = 0; // archives counted
        quint64 packedBytes = 0;
        quint64 expandedBytes = 0;
        bool complete = true; // false while some archives are still being read
    };
    // The totals over the archives that exist, as far as they are known now. Archives whose
    // content is not known are read in the background; updated() follows.
    Totals totals(const QStringList& archives);
    // Writes what was learned, for the next run.
    bool save() { return m_cache.save(); }

signals:
    void updated();

private:
    struct Read {
        QString archive;
        FileIdentity identity;
        std::optional<ArchiveContent> content;
    };
    void startReading();
    void takeResults();

    ArchiveSizeCache m_cache;
    QSet<QString> m_waiting;  // asked for, not read yet
    QStringList m_reading;    // being read by the thread now
    QList<Read> m_results;    // the thread's answers, taken once it has finished
    std::unique_ptr<QThread> m_thread;
};

} // namespace vadok
