#include "mainwindow/catalogsizes.h"

#include "apps/archivechecks.h"

#include <QThread>

#include <limits>

namespace vadok {

namespace {

quint64 addSaturating(quint64 a, quint64 b) {
    quint64 sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? std::numeric_limits<quint64>::max() : sum;
}

} // namespace

CatalogSizes::CatalogSizes(const QString& storeFile, QObject* parent)
    : QObject(parent), m_cache(storeFile) {}

CatalogSizes::~CatalogSizes() {
    if (m_thread)
        m_thread->wait();
}

CatalogSizes::Totals CatalogSizes::totals(const QStringList& archives) {
    Totals totals;
    bool asked = false;
    for (const QString& archive : archives) {
        if (const std::optional<StoredSizes> sizes = m_cache.lookup(archive)) {
            ++totals.archives;
            // Saturating: a catalog's total may not wrap round to a small figure.
            totals.packedBytes = addSaturating(totals.packedBytes, sizes->packedBytes);
            totals.expandedBytes = addSaturating(totals.expandedBytes, sizes->expandedBytes);
            continue;
        }
        // No archive (a never-stored or lost one) adds nothing; an unreadable one neither,
        // once it has been tried.
        if (!fileIdentity(archive))
            continue;
        if (m_reading.contains(archive) || m_waiting.contains(archive)) {
            totals.complete = false;
            continue;
        }
        m_waiting.insert(archive);
        totals.complete = false;
        asked = true;
    }
    if (asked)
        startReading();
    return totals;
}

void CatalogSizes::startReading() {
    if (m_thread || m_waiting.isEmpty())
        return;
    m_reading = QStringList(m_waiting.cbegin(), m_waiting.cend());
    m_waiting.clear();
    m_thread.reset(QThread::create([this] {
        QList<Read> results;
        for (const QString& archive : std::as_const(m_reading)) {
            // The identity before the read: a store replacing the archive meanwhile makes
            // the answer belong to the old version, and the new one is read next time.
            const std::optional<FileIdentity> identity = fileIdentity(archive);
            if (!identity)
                continue;
            results.append({archive, *identity, ReadArchiveContent(archive)});
        }
        m_results = std::move(results);
    }));
    connect(m_thread.get(), &QThread::finished, this, &CatalogSizes::takeResults,
            Qt::QueuedConnection);
    m_thread->start();
}

void CatalogSizes::takeResults() {
    m_thread->wait();
    m_thread.reset();
    for (const Read& read : std::as_const(m_results)) {
        // An archive whose headers cannot be read counts as holding nothing, so that it is
        // not read again and again; a new version of it is.
        m_cache.remember(read.archive, read.identity, read.content.value_or(ArchiveContent{}));
    }
    m_results.clear();
    m_reading.clear();
    m_cache.save();
    emit updated();
    startReading();
}

} // namespace vadok
