#include "util/folderutil.h"

#include "platform/programfolder.h"
#include "platform/prompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace vadok {

namespace {

QString withoutTrailingSlash(QString path) {
    if (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

fs::path toFs(const QString& path) { return fs::path(QFile::encodeName(path).toStdString()); }

} // namespace

bool DeleteFolder(const QString& path, QObject* /*owner*/, bool permanent) {
    const QString target = withoutTrailingSlash(path);
    if (target.isEmpty() || target == u"/")
        return false;
    const QFileInfo info(target);
    if (!info.exists() && !info.isSymLink())
        return false;
    if (!permanent)
        return QFile::moveToTrash(target);
    std::error_code ec;
    fs::remove_all(toFs(target), ec);
    return !ec;
}

bool CopyFolderContents(const QString& source, const QString& target) {
    if (QFileInfo::exists(target)) {
        DeleteFolder(target, nullptr, false);
        QThread::msleep(250);
        if (QFileInfo::exists(target)) {
            showMessage(target + QStringLiteral("\r\nを削除できません"), MsgIcon::Critical);
            return false;
        }
    }
    const QString from = withTrailingSlash(source);
    std::error_code ec;
    fs::create_directory(toFs(withoutTrailingSlash(target)), ec);
    if (!ec) {
        for (const fs::directory_entry& entry : fs::directory_iterator(toFs(from), ec)) {
            fs::copy(entry.path(), toFs(withTrailingSlash(target)) / entry.path().filename(),
                     fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
            if (ec)
                break;
        }
    }
    if (ec) {
        showMessage(QStringLiteral("ファイルのコピーに失敗しました"), MsgIcon::Critical);
        return false;
    }
    return true;
}

} // namespace vadok
