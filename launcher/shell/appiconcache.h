#pragma once

#include "catalog/fileidentity.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QString>

namespace vadok {

// The applications' icons as the tree draws them, decoded and scaled already, kept by this
// machine between runs so that a start reads one file instead of every icon file. Each picture
// belongs to one version of its icon file (FileIdentity): a file written since is read again.
//
// The store file lies in the machine's cache folder, where other programs write too, so it is
// read as a stranger's: anything but a regular file of at most kMaxFileBytes, read without
// following a link, or bytes that do not read back whole, leave the cache empty; the next save
// writes it anew. Its paths are only ever compared with the paths asked for, never opened.
class AppIconCache {
public:
    // Pictures are kSide pixels square.
    static constexpr int kSide = 32;
    static constexpr qint64 kMaxFileBytes = 64 << 20;

    // Replaces the pictures with those of storeFile. False, with why, when the file was there
    // but unusable: the cache is empty then.
    bool load(const QString& storeFile, QString* why = nullptr);
    // Replaces the pictures with those bytes hold. False, with why, when they do not read back
    // whole: the cache is empty then.
    bool parse(const QByteArray& bytes, QString* why = nullptr);
    QByteArray serialized() const;
    // Writes the pictures to storeFile in one step, replacing a link there rather than writing
    // where it points. Pictures beyond kMaxFileBytes are left out, for the next run to read.
    bool save(const QString& storeFile) const;

    // The picture of the icon file at path when it was kept for exactly this version of it;
    // a null image otherwise.
    QImage lookup(const QString& path, const FileIdentity& identity) const;
    // picture must be kSide square; others are not kept.
    void put(const QString& path, const FileIdentity& identity, const QImage& picture);
    int size() const { return int(m_entries.size()); }
    void clear() { m_entries.clear(); }

private:
    struct Entry {
        FileIdentity identity;
        QImage picture;
    };
    QHash<QString, Entry> m_entries;
};

} // namespace vadok
