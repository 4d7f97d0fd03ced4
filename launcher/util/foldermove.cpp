#include "util/foldermove.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace vadok {

namespace {

fs::path toFs(const QString& path) {
    return fs::path(QFile::encodeName(path).toStdString());
}

QString fromFs(const fs::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

// The folder as the file system knows it: links and "." or ".." resolved, no trailing "/".
QString canonicalFolder(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(path).absolutePath()) : canonical;
}

// "name (n).ext" for files, "name (n)" for folders and names without an extension.
QString numberedName(const QString& name, bool isFolder, int n) {
    const qsizetype dot = isFolder ? -1 : name.lastIndexOf(u'.');
    if (dot <= 0)
        return QStringLiteral("%1 (%2)").arg(name).arg(n);
    return QStringLiteral("%1 (%2)%3").arg(name.left(dot)).arg(n).arg(name.mid(dot));
}

// The archiver's update mode compares times: a copy keeps its original's.
void keepModificationTime(const fs::path& source, const fs::path& target) {
    std::error_code ec;
    const fs::file_time_type time = fs::last_write_time(source, ec);
    if (!ec)
        fs::last_write_time(target, time, ec);
}

struct Failure {
    fs::path path;
    QString reason;
};

// Copies one entry of any depth; the first failure stops it.
std::optional<Failure> copyEntry(const fs::path& source, const fs::path& target) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(source, ec);
    if (ec)
        return Failure{source, QString::fromStdString(ec.message())};
    auto failure = [&] { return Failure{source, QString::fromStdString(ec.message())}; };
    if (fs::is_symlink(status)) {
        const fs::path link = fs::read_symlink(source, ec);
        if (!ec)
            fs::create_symlink(link, target, ec);
        return ec ? std::optional(failure()) : std::nullopt;
    }
    if (fs::is_directory(status)) {
        fs::create_directory(target, source, ec);
        if (ec)
            return failure();
        for (const fs::directory_entry& entry : fs::directory_iterator(source, ec)) {
            if (std::optional<Failure> failed =
                    copyEntry(entry.path(), target / entry.path().filename()))
                return failed;
        }
        if (ec)
            return failure();
        keepModificationTime(source, target);
        return std::nullopt;
    }
    if (!fs::is_regular_file(status))
        return Failure{source, QStringLiteral("通常のファイルではありません")};
    // A name that is taken by now is an error, never an overwrite.
    fs::copy_file(source, target, fs::copy_options::none, ec);
    if (ec)
        return failure();
    const std::uintmax_t original = fs::file_size(source, ec);
    const std::uintmax_t copied = ec ? 0 : fs::file_size(target, ec);
    if (ec || copied != original)
        return Failure{source, QStringLiteral("コピーした大きさが元のファイルと違います")};
    keepModificationTime(source, target);
    return std::nullopt;
}

} // namespace

bool IsSameFolder(const QString& a, const QString& b) {
    return canonicalFolder(a) == canonicalFolder(b);
}

bool IsFolderInside(const QString& inner, const QString& outer) {
    const QString in = canonicalFolder(inner);
    const QString out = canonicalFolder(outer);
    return in != out && in.startsWith(out == u"/" ? out : out + u'/');
}

FolderMoveResult CopyFolderContentsVerified(const QString& from, const QString& to,
                                            const FolderMoveProgress& progress) {
    FolderMoveResult result;
    if (IsSameFolder(from, to) || IsFolderInside(to, from)) {
        // Copied into itself it would never end, and removing the source would take the
        // copies along.
        result.failedPath = to;
        result.reason = QStringLiteral("移動先が移動元のフォルダの中にあります");
        return result;
    }
    if (!QFileInfo(from).isDir()) {
        result.ok = true;
        return result;
    }
    const fs::path source = toFs(from);
    const fs::path target = toFs(to);
    std::error_code ec;
    std::vector<fs::path> entries;
    for (const fs::directory_entry& entry : fs::directory_iterator(source, ec))
        entries.push_back(entry.path().filename());
    if (ec) {
        result.failedPath = from;
        result.reason = QString::fromStdString(ec.message());
        return result;
    }
    std::sort(entries.begin(), entries.end());

    QSet<QString> taken;
    for (const fs::directory_entry& entry : fs::directory_iterator(target, ec))
        taken.insert(fromFs(entry.path().filename()));
    std::vector<fs::path> made;
    for (size_t i = 0; i < entries.size(); ++i) {
        const QString name = fromFs(entries[i]);
        if (progress)
            progress(int(i), int(entries.size()), name);
        QString newName = name;
        const bool isFolder = fs::is_directory(fs::symlink_status(source / entries[i], ec));
        for (int n = 2; taken.contains(newName) || QFileInfo::exists(to + u'/' + newName); ++n)
            newName = numberedName(name, isFolder, n);
        taken.insert(newName);
        if (newName != name)
            result.renamed.append({name, newName});
        made.push_back(target / toFs(newName));
        if (std::optional<Failure> failed = copyEntry(source / entries[i], made.back())) {
            // Only what this move created goes: every name in made was free before.
            for (const fs::path& copy : made)
                fs::remove_all(copy, ec);
            result.renamed.clear();
            result.failedPath = fromFs(failed->path);
            result.reason = failed->reason;
            return result;
        }
    }
    result.ok = true;
    return result;
}

} // namespace vadok
