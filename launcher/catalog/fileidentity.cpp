#include "catalog/fileidentity.h"

#include <QFile>

#include <sys/stat.h>

namespace vadok {

FileIdentity fileIdentity(const struct stat& status) {
    FileIdentity identity;
    identity.device = quint64(status.st_dev);
    identity.inode = quint64(status.st_ino);
    identity.size = qint64(status.st_size);
    identity.modifiedNs = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return identity;
}

std::optional<FileIdentity> fileIdentity(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return fileIdentity(status);
}

} // namespace vadok
