#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

struct stat;

namespace vadok {

// What tells one version of a file from another without reading it: the same device, inode,
// size and modification time (to the nanosecond) mean nobody has written it since. A file
// replaced by a rename has another inode; one rewritten in place has another time or size.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;

    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file path names (links followed); nullopt when it cannot be had.
std::optional<FileIdentity> fileIdentity(const QString& path);
FileIdentity fileIdentity(const struct stat& status);

} // namespace vadok
