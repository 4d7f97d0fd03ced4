#include "apps/programfiles.h"

#include "platform/shellopen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace vadok {

namespace {

QByteArray firstBytes(const QString& path, qint64 count) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.read(count);
}

} // namespace

bool isWindowsProgramName(const QString& name) {
    return name.endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive);
}

bool isRunnableContent(const QString& path) {
    const QByteArray head = firstBytes(path, 4);
    return head.startsWith("#!") || head == QByteArray("\x7f" "ELF", 4);
}

bool isProgramFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || info.isHidden())
        return false;
    // Any execute bit, whoever may use it: what the file is meant to be, not whether this
    // user (root runs everything) may run it.
    constexpr QFileDevice::Permissions anyExecute =
        QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    if (isWindowsProgramName(info.fileName()) || (info.permissions() & anyExecute))
        return true;
    return isRunnableContent(path);
}

QStringList programsIn(const QString& folder) {
    QStringList names;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (isProgramFile(entry.filePath()))
            names.append(entry.fileName());
    }
    return names;
}

QString programPathOf(const QString& file, const QString& workingFolder) {
    const QString name = WithoutQuotes(file);
    if (name.isEmpty())
        return QString();
    const QString wanted = QDir::isRelativePath(name) && !workingFolder.isEmpty()
                               ? QDir(workingFolder).filePath(name)
                               : name;
    return ResolvePathIgnoringCase(wanted);
}

bool grantOwnerExecute(const QString& path, const QString& appFolder) {
    if (path.isEmpty() || appFolder.isEmpty() || isWindowsProgramName(path))
        return false;
    // Where the file really lies decides, so that a link cannot lead the change outside.
    const QString real = QFileInfo(path).canonicalFilePath();
    const QString folder = QFileInfo(appFolder).canonicalFilePath();
    if (real.isEmpty() || folder.isEmpty() || !real.startsWith(folder + u'/'))
        return false;
    const QByteArray native = QFile::encodeName(real);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & S_IXUSR))
        return false;
    if (!isRunnableContent(real))
        return false;
    return ::chmod(native.constData(), (st.st_mode & 07777) | S_IXUSR) == 0;
}

} // namespace vadok
