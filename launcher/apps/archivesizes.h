#pragma once

#include "catalog/fileidentity.h"

#include <QHash>
#include <QString>

#include <optional>

namespace vadok {

// What an archive holds, read from its member headers: the number of members and the sum of
// their original sizes.
struct ArchiveContent {
    quint64 members = 0;
    quint64 expandedBytes = 0;
    bool operator==(const ArchiveContent&) const = default;
};

// An archive's size on disk beside what it expands to.
struct StoredSizes {
    quint64 packedBytes = 0;
    quint64 expandedBytes = 0;
};

// The contents of the archives, remembered per version of each archive file (device, inode,
// size, modification time), so that showing sizes never reads an unchanged archive again,
// in this run or the next: the answers are kept in a file beside the data file.
class ArchiveSizeCache {
public:
    // storeFile holds the answers between runs; it is read now and written by save().
    explicit ArchiveSizeCache(const QString& storeFile);

    // The sizes of the archive as it is on disk now, when its content is known for exactly
    // this version of the file. Costs one stat; never reads the archive.
    std::optional<StoredSizes> lookup(const QString& archive) const;
    // Keeps what reading the headers of the version identity names found.
    void remember(const QString& archive, const FileIdentity& identity, const ArchiveContent& content);
    // Writes the answers when something changed since the last save; false when it failed.
    bool save();

private:
    struct Entry {
        FileIdentity identity;
        ArchiveContent content;
    };
    QString m_storeFile;
    QHash<QString, Entry> m_entries;
    bool m_changed = false;
};

} // namespace vadok
