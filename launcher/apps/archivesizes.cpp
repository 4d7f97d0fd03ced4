#include "apps/archivesizes.h"

#include "catalog/atomicfile.h"

#include <QFile>

#include <algorithm>
#include <limits>

namespace vadok {

namespace {

constexpr qint64 kLargestExpansion = std::numeric_limits<qint64>::max();

// One archive a line: device inode size modified-ns members expanded-bytes, then a tab and
// the archive's path (which may hold spaces, never a line break).
QByteArray entryLine(const QString& archive, const FileIdentity& id, const ArchiveContent& c) {
    return QByteArray::number(id.device) + ' ' + QByteArray::number(id.inode) + ' ' +
           QByteArray::number(id.size) + ' ' + QByteArray::number(id.modifiedNs) + ' ' +
           QByteArray::number(c.members) + ' ' + QByteArray::number(c.expandedBytes) + '\t' +
           archive.toUtf8() + '\n';
}

} // namespace

ArchiveSizeCache::ArchiveSizeCache(const QString& storeFile) : m_storeFile(storeFile) {
    QFile file(storeFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // A line that does not read back whole is skipped: its archive is read again when asked.
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().chopped(1);
        const qsizetype tab = line.indexOf('\t');
        const QList<QByteArray> numbers = line.left(tab).split(' ');
        if (tab <= 0 || numbers.size() != 6)
            continue;
        bool ok[6] = {};
        Entry entry;
        entry.identity.device = numbers[0].toULongLong(&ok[0]);
        entry.identity.inode = numbers[1].toULongLong(&ok[1]);
        entry.identity.size = numbers[2].toLongLong(&ok[2]);
        entry.identity.modifiedNs = numbers[3].toLongLong(&ok[3]);
        entry.content.members = numbers[4].toULongLong(&ok[4]);
        entry.content.expandedBytes = numbers[5].toULongLong(&ok[5]);
        // No archive expands to more than a file can hold (the archiver refuses such totals),
        // so a larger figure is a damaged or planted line, and would wrap the panel's sums.
        const bool plausible = entry.content.expandedBytes <= quint64(kLargestExpansion);
        if (plausible && std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; }))
            m_entries.insert(QString::fromUtf8(line.mid(tab + 1)), entry);
    }
}

std::optional<StoredSizes> ArchiveSizeCache::lookup(const QString& archive) const {
    const auto found = m_entries.constFind(archive);
    if (found == m_entries.cend())
        return std::nullopt;
    const std::optional<FileIdentity> now = fileIdentity(archive);
    if (!now || !(*now == found->identity))
        return std::nullopt;
    return StoredSizes{quint64(now->size), found->content.expandedBytes};
}

void ArchiveSizeCache::remember(const QString& archive, const FileIdentity& identity,
                                const ArchiveContent& content) {
    const auto found = m_entries.constFind(archive);
    if (found != m_entries.cend() && found->identity == identity && found->content == content)
        return;
    m_entries.insert(archive, Entry{identity, content});
    m_changed = true;
}

bool ArchiveSizeCache::save() {
    if (!m_changed)
        return true;
    QByteArray bytes;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        // Archives gone from the disk are not worth keeping; a path that would break its line
        // is asked again next time.
        if (!it.key().contains(u'\n') && fileIdentity(it.key()))
            bytes += entryLine(it.key(), it->identity, it->content);
    }
    QString error;
    if (!writeFileAtomically(m_storeFile, bytes, &error))
        return false;
    m_changed = false;
    return true;
}

} // namespace vadok
