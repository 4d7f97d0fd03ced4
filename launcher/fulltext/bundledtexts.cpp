#include "fulltext/bundledtexts.h"

#include "apps/referencetexts.h"
#include "fulltext/pagetext.h"

#ifdef VADOK_WITH_ARCHIVER
#include "archiver/archiver.h"
#endif

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <optional>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vadok {

namespace {


// The bundled texts below folder by relative name, in name order; links are left out, so a
// link can lead nowhere outside the application.
QList<QFileInfo> textFilesBelow(const QString& folder) {
    QList<QFileInfo> found;
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        if (info.isSymLink() || !isBundledTextName(info.fileName()) ||
            info.size() > kBundledTextLimit)
            continue;
        found.append(info);
    }
    std::sort(found.begin(), found.end(), [](const QFileInfo& a, const QFileInfo& b) {
        return a.filePath() < b.filePath();
    });
    return found;
}

// The file's bytes, up to limit + 1 so that a larger one shows; nothing when it is not a
// regular file by now (a link or a FIFO put in its place since the folder was listed would
// lead elsewhere or wait for a writer).
std::optional<QByteArray> readRegularFile(const QString& path, qint64 limit) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    QFile file;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    return file.read(limit + 1);
}

} // namespace

bool isBundledTextName(const QString& name) {
    return IsReferenceText(name) || IsReferencePage(name);
}

QString bundledText(const QString& name, const QByteArray& bytes) {
    if (IsReferencePage(name))
        return textOfPage(ReferencePage(bytes));
    return DecodeReferenceBytes(bytes);
}

TextsRead readArchiveTexts(const QString& archivePath, qint64 budget, const BundledTextSink& sink) {
    TextsRead read;
#ifdef VADOK_WITH_ARCHIVER
    std::vector<std::pair<QString, QByteArray>> taken;
    const bool zip = archivePath.endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive);
    ReadArchiveMembers(
        QFile::encodeName(archivePath).toStdString(), zip,
        static_cast<std::uint64_t>(kBundledTextLimit),
        [](const std::string& name) { return isBundledTextName(QString::fromStdString(name)); },
        [&](const std::string& name, std::string&& bytes) {
            const auto size = static_cast<qint64>(bytes.size());
            if (read.bytes + size > budget) {
                read.cut = true;
                return false;
            }
            read.bytes += size;
            taken.emplace_back(QString::fromStdString(name), QByteArray::fromStdString(bytes));
            return true;
        });
    // A store of the archive waits for the read only, not for the pages read.
    for (auto& [name, bytes] : taken) {
        if (!sink(name, bundledText(name, bytes)))
            break;
        bytes = QByteArray();
    }
#else
    Q_UNUSED(budget);
    Q_UNUSED(sink);
#endif
    return read;
}

TextsRead readFolderTexts(const QString& folder, qint64 budget, const BundledTextSink& sink) {
    TextsRead taken;
    const QDir root(folder);
    for (const QFileInfo& info : textFilesBelow(folder)) {
        const std::optional<QByteArray> read = readRegularFile(info.filePath(), kBundledTextLimit);
        if (!read || read->size() > kBundledTextLimit)
            continue;
        const QByteArray& bytes = *read;
        if (taken.bytes + bytes.size() > budget) {
            taken.cut = true;
            break;
        }
        taken.bytes += bytes.size();
        const QString name = root.relativeFilePath(info.filePath());
        if (!sink(name, bundledText(name, bytes)))
            break;
    }
    return taken;
}

QString folderTextsStamp(const QString& folder) {
    const QFileInfo top(folder);
    if (!top.isDir() || top.isSymLink())
        return {};
    // Relative names: a renamed application keeps its stamp.
    const QDir root(folder);
    QCryptographicHash digest(QCryptographicHash::Sha1);
    for (const QFileInfo& info : textFilesBelow(folder)) {
        digest.addData(root.relativeFilePath(info.filePath()).toUtf8());
        // To the nanosecond, and the inode too: a text replaced or rewritten in place shows.
        struct stat st {};
        if (::lstat(QFile::encodeName(info.filePath()).constData(), &st) != 0)
            continue;
        const qint64 facts[] = {static_cast<qint64>(st.st_ino), static_cast<qint64>(st.st_size),
                                static_cast<qint64>(st.st_mtim.tv_sec), st.st_mtim.tv_nsec,
                                static_cast<qint64>(st.st_ctim.tv_sec), st.st_ctim.tv_nsec};
        digest.addData(QByteArrayView(reinterpret_cast<const char*>(facts), sizeof facts));
    }
    return QString::fromLatin1(digest.result().toHex());
}


} // namespace vadok
