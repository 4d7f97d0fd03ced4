#include "apps/programfiles.h"

#include "platform/programfolder.h"
#include "platform/shellopen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

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

namespace {

// Folders looked into below the top, and the most entries looked at: a folder of thousands
// of files must not keep the editor from opening.
constexpr int kProgramLevels = 2;
constexpr int kMostEntriesSeen = 5000;
// Deep enough for any archive's wrapping folders, short of a loop.
constexpr int kMostWrappingFolders = 8;

struct Candidate {
    QString path;
    int named = 2;
    bool script = false;
    int depth = 0;
};

// 0 when the file is called as the application (less its ending), 1 when one of the names
// begins with the other, else 2.
int nameMatch(const QFileInfo& file, const QString& appName) {
    if (appName.isEmpty())
        return 2;
    const QString base = file.baseName();
    const QString complete = file.completeBaseName();
    if (base.compare(appName, Qt::CaseInsensitive) == 0 ||
        complete.compare(appName, Qt::CaseInsensitive) == 0)
        return 0;
    const QString& shorter = base.size() < appName.size() ? base : appName;
    const QString& longer = base.size() < appName.size() ? appName : base;
    return shorter.size() >= 2 && longer.startsWith(shorter, Qt::CaseInsensitive) ? 1 : 2;
}

bool isSharedLibraryName(const QString& name) {
    static const QRegularExpression library(QStringLiteral("\\.so(\\.[0-9]+)*$"));
    return library.match(name).hasMatch();
}

// What a store keeps of a link: one that leads to a place inside the folder whose real path
// is inside, named without the archive format's link separator.
bool linkStaysInside(const QFileInfo& link, const QString& inside) {
    if (link.fileName().contains(u'|'))
        return false;
    const QString target = link.canonicalFilePath();
    return !target.isEmpty() && target.startsWith(inside);
}

// The folder a downloaded archive wraps its content in: folder itself unless it holds
// nothing visible but one folder, then that one, and so on. Relative to folder, ending in
// "/", empty for folder itself.
QString wrappingFolders(const QString& folder) {
    QString relative;
    for (int i = 0; i < kMostWrappingFolders; ++i) {
        const QFileInfoList entries =
            QDir(folder + relative).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot);
        if (entries.size() != 1 || !entries.first().isDir() || entries.first().isSymLink())
            break;
        relative += entries.first().fileName() + u'/';
    }
    return relative;
}

} // namespace

QStringList ProgramCandidates(const QString& folder, const QString& name) {
    const QString top = withTrailingSlash(folder);
    const QString real = QFileInfo(top).canonicalFilePath();
    if (real.isEmpty())
        return {};
    const QString inside = real + u'/';
    QList<Candidate> found;
    int seen = 0;
    // Breadth first: every level is seen before the next, whatever the limit cuts.
    QStringList level{wrappingFolders(top)};
    for (int depth = 0; depth <= kProgramLevels && !level.isEmpty(); ++depth) {
        QStringList below;
        for (const QString& relative : level) {
            const QFileInfoList entries =
                QDir(top + relative)
                    .entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
            for (const QFileInfo& entry : entries) {
                if (++seen > kMostEntriesSeen)
                    break;
                if (entry.isSymLink() && !linkStaysInside(entry, inside))
                    continue;
                const QString path = relative + entry.fileName();
                if (entry.isDir()) {
                    // A folder behind a link is looked into where it lies, not twice.
                    if (!entry.isSymLink())
                        below.append(path + u'/');
                    continue;
                }
                if (isSharedLibraryName(entry.fileName()) || !isProgramFile(entry.filePath()))
                    continue;
                const bool windows = isWindowsProgramName(entry.fileName());
                found.append({path, nameMatch(entry, name),
                              !windows && firstBytes(entry.filePath(), 2) == "#!", depth});
            }
        }
        level = below;
    }
    std::stable_sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
        if (a.named != b.named)
            return a.named < b.named;
        if (a.script != b.script)
            return !a.script;
        if (a.depth != b.depth)
            return a.depth < b.depth;
        return a.path.compare(b.path, Qt::CaseInsensitive) < 0;
    });
    QStringList paths;
    for (const Candidate& c : found)
        paths.append(c.path);
    return paths;
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
