#include "util/folderutil.h"

#include "platform/programfolder.h"
#include "platform/prompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
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

std::function<void(const QString&)>& folderCopiedHook() {
    static std::function<void(const QString&)> hook;
    return hook;
}

} // namespace

void setFolderCopiedHook(std::function<void(const QString& target)> hook) {
    folderCopiedHook() = std::move(hook);
}

bool DeleteFolder(const QString& path, QObject* /*owner*/, bool permanent) {
    const QString target = withoutTrailingSlash(path);
    if (target.isEmpty() || target == u"/")
        return false;
    const QFileInfo info(target);
    if (!info.exists() && !info.isSymLink())
        return false;
    if (!permanent)
        return MoveToTrash(target);
    std::error_code ec;
    fs::remove_all(toFs(target), ec);
    return !ec;
}

bool MoveToTrash(const QString& path, QString* pathInTrash) {
    // Qt makes the trash folder one level below the user's data folder; without that
    // folder it puts the trashed folder into the current folder instead.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return QFile::moveToTrash(path, pathInTrash);
}

bool IsSameOrInside(const QString& inner, const QString& outer) {
    const QString in = QFileInfo(inner).canonicalFilePath();
    const QString out = QFileInfo(outer).canonicalFilePath();
    if (in.isEmpty() || out.isEmpty())
        return false;
    return in == out || in.startsWith(withTrailingSlash(out));
}

void folderCopied(const QString& target) {
    if (folderCopiedHook())
        folderCopiedHook()(target);
}

bool HoldsCopyOf(const QString& copy, const QString& source, bool linksListed) {
    const fs::path from = toFs(source);
    const fs::path to = toFs(copy);
    std::error_code walking;
    for (fs::recursive_directory_iterator it(from, walking), end; !walking && it != end;
         it.increment(walking)) {
        const fs::path there = to / it->path().lexically_relative(from);
        std::error_code a, b;
        const fs::file_type kind = fs::symlink_status(it->path(), a).type();
        if (kind == fs::file_type::symlink && linksListed)
            continue;
        if (fs::symlink_status(there, b).type() != kind || a || b)
            return false;
        if (kind == fs::file_type::regular &&
            (fs::file_size(it->path(), a) != fs::file_size(there, b) || a || b))
            return false;
        if (kind == fs::file_type::symlink &&
            (fs::read_symlink(it->path(), a) != fs::read_symlink(there, b) || a || b))
            return false;
    }
    return !walking;
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
    folderCopied(target);
    return true;
}

bool ReplaceFileWithCopy(const QString& source, const QString& target) {
    std::error_code error;
    // Copying a file onto itself would start by emptying it.
    if (fs::equivalent(toFs(source), toFs(target), error))
        return false;
    const QString partial = target + QStringLiteral(".part");
    QFile::remove(partial);
    if (!QFile::copy(source, partial))
        return false;
    fs::rename(toFs(partial), toFs(target), error);
    if (error) {
        QFile::remove(partial);
        return false;
    }
    return true;
}

} // namespace vadok
