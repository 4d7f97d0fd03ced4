#include "apps/packapp.h"

#include "apps/archivercalls.h"
#include "apps/madebyvadok.h"

#include "catalog/apprecords.h"
#include "catalog/settings.h"
#include "platform/clock.h"
#include "util/folderutil.h"
#include "util/mainwindowlink.h"
#include "util/statustext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vadok {

QString WorkFolder() { return settings().ExecDir + QStringLiteral("_work"); }

QString PackApp::archivePath() const { return settings().PackDir + AppName() + QStringLiteral(".lzh"); }

QString PackApp::expandedFolder() const { return settings().ExecDir + AppName() + u'/'; }

QString PackApp::iconPath() const { return settings().IconDir + AppName() + QStringLiteral(".ico"); }

QString PackApp::workingFolder() const {
    return OverRideBasePath().isEmpty() ? expandedFolder() : OverRideBasePath();
}

QDateTime PackApp::LastOpenDateTime() {
    if (!m_record.LastOpenDateTime.isValid())
        m_record.LastOpenDateTime = currentDateTime();
    return m_record.LastOpenDateTime;
}

bool PackApp::SetShortCut(const QString& basePath) {
    m_record.ShortCut = true;
    m_record.OverRideBasePath = basePath;
    m_record.LastOpenDateTime = currentDateTime();
    return true;
}

bool PackApp::isPack() {
    if (ShortCut())
        return false;
    const QString folder = settings().ExecDir + AppName();
    const QFileInfo info(folder);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isDir() && !info.isSymLink() &&
        QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        DeleteFolder(folder, nullptr, true);
        return true;
    }
    return false;
}

bool PackApp::isExpandedOnDisk() const {
    if (ShortCut())
        return false;
    const QString folder = settings().ExecDir + AppName();
    const QFileInfo info(folder);
    if (!info.exists())
        return info.isSymLink();
    return !info.isDir() ||
           !QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

bool PackApp::SaveConfig(const QString& keyTitle) {
    if (!SaveAppRecord(m_record, keyTitle, &m_asRead))
        return false;
    m_asRead = m_record;
    return true;
}

void PackApp::Delete() {
    SetStatusText(QStringLiteral("プログラムを削除しています..."), 1);
    const QString folder = settings().ExecDir + AppName();
    if (QFileInfo::exists(folder) && DeleteFolder(folder, nullptr, false))
        ForgetMadeByVadok(folder);
    SetStatusText(QStringLiteral("圧縮ファイルを削除しています..."), 1);
    if (QFileInfo::exists(archivePath()))
        QFile::remove(archivePath());
    RemoveArchiveLock(archivePath());
    SetStatusText(QStringLiteral("アイコンファイルを削除しています..."), 1);
    if (QFileInfo::exists(iconPath()))
        QFile::remove(iconPath());
    if (MainWindowLink* window = mainWindowLink()) {
        window->removeTreeNode(AppName());
        window->treeFoldersChanged();
    }
    SetStatusText(QStringLiteral("情報を更新しています..."), 1);
    // A record left behind would hand its notes, commands and folder to the next
    // application registered under this name.
    DeleteAppRecord(m_record);
}

} // namespace vadok
