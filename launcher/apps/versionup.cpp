#include "apps/versionup.h"

#include "apps/archivercalls.h"
#include "apps/commandparts.h"
#include "apps/packapp.h"
#include "apps/registration.h"
#include "catalog/settings.h"
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

QString FindVersionUpSource(const QString& name, const PackApp& app) {
    QString command = app.ExecCmd();
    command.replace(u'\\', u'/');
    const QString appFolder = settings().ExecDir + name + u'/';
    const QString program = SplitCommand(command, QString(), appFolder, appFolder).file;
    const QString fileName = program.mid(program.lastIndexOf(u'/') + 1);
    if (fileName.isEmpty())
        return QString();

    QString folder = WorkFolder() + u'/';
    for (;;) {
        const QFileInfoList entries =
            QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        bool holdsFile = false;
        for (const QFileInfo& entry : entries) {
            // A link to a folder is no folder to go down into: it may lead anywhere.
            if (entry.isDir() && !entry.isSymLink())
                continue;
            if (entry.fileName().compare(fileName, Qt::CaseInsensitive) == 0)
                return folder;
            holdsFile = true;
        }
        if (holdsFile || entries.size() != 1)
            return QString();
        folder += entries.first().fileName() + u'/';
    }
}

bool MoveTopLevelFiles(const QString& source, const QString& target, const QString& listFolder) {
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
    // what the moved files were; the target's list must say it now, or the next store would
    // keep the stand-ins as files and every mode as that file system shows it.
    if (!failed) {
        std::vector<std::string> names;
        for (const Move& move : moves)
            names.push_back(move.to.filename().string());
        const auto slashed = [](const QString& path) {
            return QFile::encodeName(path.endsWith(u'/') ? path : path + u'/').toStdString();
        };
        failed = CarryStandIns(slashed(listFolder.isEmpty() ? source : listFolder),
                               slashed(source), slashed(target), names) != 0;
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
