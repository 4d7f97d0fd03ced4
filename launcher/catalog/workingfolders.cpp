#include "catalog/workingfolders.h"

#include "catalog/valueconv.h"
#include "catalog/xmlelement.h"
#include "platform/programfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <array>

namespace vadok {

namespace {

struct FolderKind {
    const char16_t* key;    // in the data file and the record
    const char16_t* label;  // as the settings dialog names it
    const char16_t* folder; // the default, below the program folder
    QString WorkingFolders::*member;
};

const std::array<FolderKind, 3> kKinds{{
    {u"pack", u"圧縮ファイル保存フォルダ", u"Pack/", &WorkingFolders::pack},
    {u"exec", u"実行フォルダ", u"Exec/", &WorkingFolders::exec},
    {u"icon", u"アイコンファイル保存フォルダ", u"Icon/", &WorkingFolders::icon},
}};

QString recordFile() { return machineConfigFile(QStringLiteral("folders.ini")); }

// path as it really is: links followed where it exists, "." and ".." resolved.
QString realPath(const QString& path) {
    const QFileInfo info(path);
    const QString real = info.exists() ? info.canonicalFilePath() : QString();
    return real.isEmpty() ? QDir::cleanPath(path) : real;
}

bool isAtOrBelow(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder == u"/" ? folder : folder + u'/');
}

QStringList usersOwnFolders() {
    QStringList folders;
    for (const auto location :
         {QStandardPaths::DesktopLocation, QStandardPaths::DocumentsLocation,
          QStandardPaths::DownloadLocation, QStandardPaths::MusicLocation,
          QStandardPaths::PicturesLocation, QStandardPaths::MoviesLocation,
          QStandardPaths::PublicShareLocation, QStandardPaths::TemplatesLocation}) {
        for (const QString& folder : QStandardPaths::standardLocations(location))
            folders << realPath(folder);
    }
    return folders;
}

} // namespace

QString workingFolderRefusal(const QString& folder, const QString& program) {
    const QString real = realPath(folder);
    const QString programReal = realPath(program);
    if (real != programReal && isAtOrBelow(real, programReal))
        return QString();
    if (isAtOrBelow(programReal, real))
        return QStringLiteral("プログラムフォルダかその上のフォルダです");
    const QFileInfo info(real);
    if (!info.exists())
        return QStringLiteral("見つかりません");
    if (!info.isDir())
        return QStringLiteral("フォルダではありません");
    if (!info.isWritable())
        return QStringLiteral("書き込めません");
    if (isAtOrBelow(realPath(QDir::homePath()), real))
        return QStringLiteral("ホームフォルダかその上のフォルダです");
    if (usersOwnFolders().contains(real))
        return QStringLiteral("ユーザーの文書やデスクトップなどのフォルダです");
    return QString();
}

WorkingFolders resolveWorkingFolders(const XmlElement& dataFileFolders, const QString& program,
                                     QStringList* refused) {
    WorkingFolders result;
    QSettings record(recordFile(), QSettings::IniFormat);
    const bool recorded = record.contains(QStringLiteral("exec"));
    QStringList taken;
    for (const FolderKind& kind : kKinds) {
        const QString key = QString::fromUtf16(kind.key);
        const QString fallback = program + QString::fromUtf16(kind.folder);
        QString& target = result.*kind.member;
        if (recorded) {
            target = fromStoredFolderPath(record.value(key, fallback).toString(), program);
            continue;
        }
        target = fallback;
        if (!dataFileFolders.hasAttribute(key))
            continue;
        const QString wanted = fromStoredFolderPath(dataFileFolders.attribute(key), program);
        QString refusal = workingFolderRefusal(wanted, program);
        // Two kinds in one folder would store into and sweep each other's files.
        bool shared = taken.contains(realPath(wanted));
        for (const FolderKind& other : kKinds) {
            if (&other != &kind && realPath(program + QString::fromUtf16(other.folder)) == realPath(wanted))
                shared = true;
        }
        if (refusal.isEmpty() && shared)
            refusal = QStringLiteral("ほかの作業フォルダと同じです");
        if (refusal.isEmpty()) {
            target = wanted;
            taken << realPath(wanted);
        } else if (refused) {
            *refused << QStringLiteral("・%1: %2（%3）")
                            .arg(QString::fromUtf16(kind.label),
                                 withTrailingSlash(QDir::cleanPath(wanted)), refusal);
        }
    }
    if (!recorded)
        recordWorkingFolders(result, program);
    return result;
}

bool recordWorkingFolders(const WorkingFolders& folders, const QString& program) {
    QSettings record(recordFile(), QSettings::IniFormat);
    for (const FolderKind& kind : kKinds)
        record.setValue(QString::fromUtf16(kind.key), toStoredFolderPath(folders.*kind.member, program));
    record.sync();
    return record.status() == QSettings::NoError;
}

} // namespace vadok
