#include "instances/instancelock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QStandardPaths>
#include <unistd.h>

namespace vadok {

QString instanceRuntimeFile(const QString& programFolder, const QString& suffix) {
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    const QByteArray folderHash =
        QCryptographicHash::hash(QDir::cleanPath(programFolder).toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return base + QStringLiteral("/vadok-%1-%2").arg(::getuid()).arg(QString::fromLatin1(folderHash)) +
           suffix;
}

QString InstanceLock::lockPathFor(const QString& programFolder) {
    return instanceRuntimeFile(programFolder, QStringLiteral(".lock"));
}

InstanceLock::InstanceLock(const QString& programFolder)
    : m_lock(std::make_unique<QLockFile>(lockPathFor(programFolder))) {
    // Only a dead owner makes a lock stale; a live one is never timed out.
    m_lock->setStaleLockTime(0);
}

bool InstanceLock::acquire() {
    if (!m_held)
        m_held = m_lock->tryLock(0);
    return m_held;
}

} // namespace vadok
