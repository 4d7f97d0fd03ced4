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

#include <sys/stat.h>

namespace vadok {

namespace {

std::atomic<quint64> g_archiveReads{0};

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

} // namespace

bool isBundledTextName(const QString& name) {
    return IsReferenceText(name) || IsReferencePage(name);
}

QString bundledText(const QString& name, const QByteArray& bytes) {
    if (IsReferencePage(name))
        return textOfPage(ReferencePage(bytes));
    return DecodeReferenceBytes(bytes);
}

bool readArchiveTexts(const QString& archivePath, const BundledTextSink& sink) {
    ++g_archiveReads;
#ifdef VADOK_WITH_ARCHIVER
    const bool zip = archivePath.endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive);
    const int code = ReadArchiveMembers(
        QFile::encodeName(archivePath).toStdString(), zip,
        static_cast<std::uint64_t>(kBundledTextLimit),
        [](const std::string& name) { return isBundledTextName(QString::fromStdString(name)); },
        [&](const std::string& name, std::string&& bytes) {
            const QString member = QString::fromStdString(name);
            return sink(member, bundledText(member, QByteArray::fromStdString(bytes)));
        });
    return code == ArchiverOk;
#else
    Q_UNUSED(sink);
    return false;
#endif
}

bool readFolderTexts(const QString& folder, const BundledTextSink& sink) {
    const QDir root(folder);
    for (const QFileInfo& info : textFilesBelow(folder)) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.read(kBundledTextLimit + 1);
        if (bytes.size() > kBundledTextLimit)
            continue;
        const QString name = root.relativeFilePath(info.filePath());
        if (!sink(name, bundledText(name, bytes)))
            return false;
    }
    return true;
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

quint64 archiveTextReads() { return g_archiveReads.load(); }

} // namespace vadok
