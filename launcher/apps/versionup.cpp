#include "apps/versionup.h"

#include "apps/archivercalls.h"
#include "apps/commandparts.h"
#include "apps/packapp.h"
#include "apps/registration.h"
#include "catalog/settings.h"
#include "platform/shellopen.h"
#include "util/folderutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#ifdef VADOK_WITH_ARCHIVER
#include "archiver/archiver.h"
#endif

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace vadok {

namespace {

fs::path toFs(const QString& path) { return fs::path(QFile::encodeName(path).toStdString()); }

bool isPresent(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// A rename, or a copy and delete where the two places lie on different file systems.
bool moveEntry(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec)
        return true;
    if (ec != std::errc::cross_device_link)
        return false;
    fs::copy(from, to, fs::copy_options::copy_symlinks | fs::copy_options::overwrite_existing, ec);
    if (ec)
        return false;
    fs::remove(from, ec);
    return !ec;
}

// One file moved into the target, and the file it replaced, kept aside until all have moved.
struct Move {
    fs::path from;
    fs::path to;
    fs::path replaced; // empty when nothing was replaced
};

void undo(const std::vector<Move>& moves) {
    for (auto it = moves.rbegin(); it != moves.rend(); ++it) {
        if (isPresent(it->to))
            moveEntry(it->to, it->from);
        if (!it->replaced.empty())
            moveEntry(it->replaced, it->to);
    }
}

} // namespace

QString VersionUpRefusal(const QString& path) {
    const QString conflict = WorkingFolderConflict(path);
    if (conflict.isEmpty())
        return QString();
    return u'[' + path + QStringLiteral("] はバージョンアップに使えません。\r\nVadokの") + conflict;
}

int ExtractDroppedLzh(const QString& path) {
    RemoveWorkFolder();
    const int code = RunUnlha(ExpandCommand(path, WorkFolder() + u'/', false));
    if (code != 0)
        ShowExpandFailure(code, path);
    return code;
}

void RemoveWorkFolder() {
    const QFileInfo work(WorkFolder());
    if (work.exists() || work.isSymLink())
        DeleteFolder(WorkFolder(), nullptr, true);
}

namespace {

// Deep enough for any archive's wrapping folders, short of a loop.
constexpr int kMostWrappingFolders = 8;

// The visible entries of folder, hidden ones left out.
QFileInfoList visibleEntries(const QString& folder) {
    return QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
}

// The entry of folder called name, the exact name before one in other letter case; a null
// QFileInfo when there is none.
QFileInfo entryIgnoringCase(const QString& folder, const QString& name) {
    QFileInfo other;
    for (const QFileInfo& entry : visibleEntries(folder)) {
        if (entry.fileName() == name)
            return entry;
        if (other.filePath().isEmpty() && entry.fileName().compare(name, Qt::CaseInsensitive) == 0)
            other = entry;
    }
    return other;
}

// The folder below top that the folders parts lead to, each a real folder (no link); empty
// when one is missing.
QString folderAlong(const QString& top, const QStringList& parts) {
    QString folder = top;
    for (const QString& part : parts) {
        const QFileInfo entry = entryIgnoringCase(folder, part);
        if (entry.filePath().isEmpty() || !entry.isDir() || entry.isSymLink())
            return QString();
        folder += entry.fileName() + u'/';
    }
    return folder;
}

// The program's path inside the application's folder, split at "/"; just its file name when
// the command names a program elsewhere.
QStringList programParts(const QString& program, const QString& appFolder) {
    QString relative = QDir::cleanPath(program);
    const QString folder = QDir::cleanPath(appFolder) + u'/';
    if (QDir::isAbsolutePath(relative))
        relative = relative.startsWith(folder) ? relative.mid(folder.size())
                                               : relative.mid(relative.lastIndexOf(u'/') + 1);
    QStringList parts = relative.split(u'/', Qt::SkipEmptyParts);
    if (parts.contains(QStringLiteral("..")))
        parts = parts.mid(parts.size() - 1);
    return parts;
}

// The work folder, then the one folder it holds when it holds nothing else, and so on down.
QStringList wrappingFolders(const QString& work) {
    QStringList tops{work};
    for (int i = 0; i < kMostWrappingFolders; ++i) {
        const QFileInfoList entries = visibleEntries(tops.last());
        if (entries.size() != 1 || !entries.first().isDir() || entries.first().isSymLink())
            break;
        tops.append(tops.last() + entries.first().fileName() + u'/');
    }
    return tops;
}

} // namespace

VersionUpMatch FindVersionUpSource(const QString& name, const PackApp& app) {
    QString command = app.ExecCmd();
    command.replace(u'\\', u'/');
    const QString appFolder = settings().ExecDir + name + u'/';
    const QStringList parts = programParts(
        WithoutQuotes(SplitCommand(command, QString(), appFolder, appFolder).file), appFolder);
    if (parts.isEmpty())
        return {};
    const QString fileName = parts.last();
    const QStringList folders = parts.mid(0, parts.size() - 1);
    // The application's own folder as it lies on disk, for a command in other letter case.
    QString target = folderAlong(appFolder, folders);
    if (target.isEmpty())
        target = appFolder + (folders.isEmpty() ? QString() : folders.join(u'/') + u'/');

    const QStringList tops = wrappingFolders(WorkFolder() + u'/');
    for (qsizetype skipped = 0; skipped <= folders.size(); ++skipped) {
        for (const QString& top : tops) {
            const QString source = folderAlong(top, folders.mid(skipped));
            if (source.isEmpty())
                continue;
            // A folder of the program's name is not the program; a link may stand for it.
            const QFileInfo program = entryIgnoringCase(source, fileName);
            if (!program.filePath().isEmpty() && (!program.isDir() || program.isSymLink()))
                return {source, target};
        }
    }
    return {};
}

bool MoveTopLevelFiles(const QString& source, const QString& target, const QString& listFolder,
                       const QString& targetTop) {
    const fs::path from = toFs(source);
    const fs::path to = toFs(target);
    std::error_code ec;
    fs::create_directories(to, ec);
    if (ec)
        return false;

    // Replaced files wait in a folder of the source, which lies beside the target's folder
    // on the same file system and goes away with the work folder.
    const fs::path aside =
        from / toFs(QStringLiteral(".vadok-replaced-") + QUuid::createUuid().toString(QUuid::Id128));
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(from, ec)) {
        std::error_code kind;
#ifdef VADOK_WITH_ARCHIVER
        // The list of the copy speaks of the copy; the target keeps its own.
        if (IsStandInListName(entry.path().filename().string()))
            continue;
#endif
        if (!entry.is_directory(kind) || entry.is_symlink(kind))
            files.push_back(entry.path());
    }
    if (ec)
        return false;
    // In the order of their names, so that what happens does not depend on the file system.
    std::sort(files.begin(), files.end());

    std::vector<Move> moves;
    bool failed = false;
    for (const fs::path& file : files) {
        Move move{file, to / file.filename(), {}};
        if (isPresent(move.to)) {
            std::error_code kind;
            // A folder is not replaced by a file.
            if (fs::is_directory(fs::symlink_status(move.to, kind))) {
                failed = true;
                break;
            }
            fs::create_directory(aside, kind);
            move.replaced = aside / file.filename();
            if (kind || !moveEntry(move.to, move.replaced)) {
                failed = true;
                break;
            }
        }
        if (!moveEntry(move.from, move.to)) {
            if (!move.replaced.empty())
                moveEntry(move.replaced, move.to);
            failed = true;
            break;
        }
        moves.push_back(move);
    }
#ifdef VADOK_WITH_ARCHIVER
    // Where the new version stands on a file system without links or modes, its list says
    // what the moved files were; the application's list must say it now, or the next store
    // would keep the stand-ins as files and every mode as that file system shows it.
    if (!failed) {
        std::vector<std::string> names;
        for (const Move& move : moves)
            names.push_back(move.to.filename().string());
        const auto slashed = [](const QString& path) {
            return QFile::encodeName(path.endsWith(u'/') ? path : path + u'/').toStdString();
        };
        failed = CarryStandIns(slashed(listFolder.isEmpty() ? source : listFolder),
                               slashed(source), slashed(targetTop.isEmpty() ? target : targetTop),
                               slashed(target), names) != 0;
    }
#endif
    if (failed) {
        undo(moves);
        // Only once empty: whatever could not go back stays where the user can find it.
        fs::remove(aside, ec);
        return false;
    }
    fs::remove_all(aside, ec);
    return true;
}

} // namespace vadok
